// Image buffer drawing speed. Each benchmark times a plain memcpy of the
// bytes it writes in the same run and reports its time as a ratio to that
// baseline (ratio_to_memcpy), besides Mpixel/s.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "image/cDIB.h"

using namespace image;

namespace {

using Clock = std::chrono::steady_clock;

void RandomFill(TAbstractSuperDIB& d, unsigned seed) {
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < std::size_t{d.Width()} * d.Height(); ++i) d.Pixels()[i] = rng();
}

// Seconds per memcpy of `bytes`, the best of several rounds.
double BaselineSeconds(std::size_t bytes) {
  std::vector<std::uint8_t> a(bytes, 1), b(bytes, 2);
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const int reps = 50;
    const auto t0 = Clock::now();
    for (int i = 0; i < reps; ++i) {
      std::memcpy(b.data(), a.data(), bytes);
      benchmark::DoNotOptimize(b.data());
      benchmark::ClobberMemory();
    }
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count() / reps);
  }
  return best;
}

// Runs `body` under the benchmark loop and reports Mpixel/s and the ratio.
template <class Body>
void Measure(benchmark::State& state, std::size_t pixelsPerRun, Body body) {
  const double baseline = BaselineSeconds(pixelsPerRun * 4);
  const auto t0 = Clock::now();
  std::int64_t runs = 0;
  for (auto _ : state) {
    body();
    benchmark::ClobberMemory();
    ++runs;
  }
  const double perRun = std::chrono::duration<double>(Clock::now() - t0).count() / runs;
  state.counters["Mpixel/s"] = pixelsPerRun / perRun / 1e6;
  state.counters["us/run"] = perRun * 1e6;
  state.counters["ratio_to_memcpy"] = perRun / baseline;
}

const struct {
  const char* name;
  TAbstractSuperDIB::TRowRoutine routine;
} kRoutines[] = {
    {"AlphaToGreyRows", &TAbstractSuperDIB::AlphaToGreyRows},
    {"CopyAlphaRows", &TAbstractSuperDIB::CopyAlphaRows},
    {"CopyRows", &TAbstractSuperDIB::CopyRows},
    {"BlendRows", &TAbstractSuperDIB::BlendRows},
    {"MaskRows", &TAbstractSuperDIB::MaskRows},
    {"MaskBlendRows", &TAbstractSuperDIB::MaskBlendRows},
    {"KeyRows", &TAbstractSuperDIB::KeyRows},
    {"KeyBlendRows", &TAbstractSuperDIB::KeyBlendRows},
};

// A full-window draw of 720 x 512 through one row routine.
void BM_RowRoutine(benchmark::State& state) {
  const auto& r = kRoutines[state.range(0)];
  state.SetLabel(r.name);
  TMemoryDIB src(720, 512), dst(720, 512);
  RandomFill(src, 1);
  RandomFill(dst, 2);
  src.SetOpacity(180);
  src.SetTransparentColor(0x00808080);
  src.SetRowRoutine(r.routine, &src);
  Measure(state, 720 * 512, [&] { src.Draw(0, 0, 720, 512, dst, 0, 0); });
}
BENCHMARK(BM_RowRoutine)->DenseRange(0, 7)->Unit(benchmark::kMicrosecond);

// Scale 50: a 720 x 512 picture drawn into 360 x 256.
void BM_DrawScale50(benchmark::State& state) {
  TMemoryDIB src(720, 512), dst(720, 512);
  RandomFill(src, 3);
  src.SetMasked(true);
  src.SetScale(50);
  Measure(state, 360 * 256, [&] { src.Draw(10, 10, 360, 256, dst, 0, 0); });
}
BENCHMARK(BM_DrawScale50)->Unit(benchmark::kMicrosecond);

// Angle 30: a 256 x 256 picture turned, target sized to fit.
void BM_DrawAngle30(benchmark::State& state) {
  TMemoryDIB src(256, 256), dst(720, 512);
  RandomFill(src, 4);
  src.SetMasked(true);
  src.SetAutoSize(true);
  src.SetAngle(30);
  const TSize target = RotatedSize(256, 256, 30, 100, 100);
  trig::SinTable();  // the tables are built on first use, outside the timing
  Measure(state, static_cast<std::size_t>(target.Width) * target.Height,
          [&] { src.Draw(0, 0, 256, 256, dst, 0, 0); });
}
BENCHMARK(BM_DrawAngle30)->Unit(benchmark::kMicrosecond);

// One frame of a 100-frame 5900 x 59 knob strip, masked, as a knob paints it.
void BM_DrawGlyph(benchmark::State& state) {
  TMemoryDIB strip(5900, 59), dst(720, 512);
  RandomFill(strip, 5);
  strip.SetMasked(true);
  int frame = 0;
  Measure(state, 59 * 59, [&] {
    strip.DrawGlyph(100, 100, frame, 100, dst);
    frame = (frame + 37) % 100;
  });
}
BENCHMARK(BM_DrawGlyph)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
