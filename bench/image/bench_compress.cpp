// Throughput of the picture compressors on a 720 x 513 skin-sized picture,
// compress and expand, against a memcpy of the same bytes measured in the same
// run. MB/s count the raw picture stream (4 + 4 * 720 * 513 bytes) per pass.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "image/cDIBStandardCompressors.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 720;
constexpr int kHeight = 513;

// Raw picture stream of a skin-like picture: flat panels, vertical and
// horizontal gradients, a noisy texture strip and opaque alpha.
const Bytes& Picture() {
  static const Bytes raw = [] {
    Bytes b(4 + 4 * kWidth * kHeight);
    b[0] = kWidth & 0xFF;
    b[1] = kWidth >> 8;
    b[2] = kHeight & 0xFF;
    b[3] = kHeight >> 8;
    std::mt19937 rng(2024);
    for (int row = 0; row < kHeight; ++row) {
      for (int x = 0; x < kWidth; ++x) {
        std::uint8_t* p = &b[4 + 4 * (row * kWidth + x)];
        int r, g, bl;
        if (row < 120) {  // header: vertical gradient
          r = 30 + row / 2;
          g = 40 + row / 3;
          bl = 60 + row / 2;
        } else if (x < 360 && row < 400) {  // flat panel with a frame
          const bool frame = x % 90 < 2 || row % 70 < 2;
          r = frame ? 200 : 48;
          g = frame ? 200 : 52;
          bl = frame ? 210 : 58;
        } else if (row < 400) {  // knob area: radial shading
          const double dx = (x % 120) - 60.0, dy = (row % 120) - 60.0;
          const int shade = static_cast<int>(std::sqrt(dx * dx + dy * dy) * 2);
          r = g = bl = std::min(255, 60 + shade);
        } else {  // brushed-metal texture
          const int base = 120 + static_cast<int>(x * 40 / kWidth);
          const int noise = static_cast<int>(rng() % 24) - 12;
          r = g = bl = std::clamp(base + noise, 0, 255);
        }
        p[0] = static_cast<std::uint8_t>(bl);
        p[1] = static_cast<std::uint8_t>(g);
        p[2] = static_cast<std::uint8_t>(r);
        p[3] = 255;
      }
    }
    return b;
  }();
  return raw;
}

Bytes Packed(image::TAbstractDIBCompressor& c) {
  const Bytes& raw = Picture();
  Bytes out(raw.size());
  out.resize(c.Compress(nullptr, raw.data(), raw.size(), out.data()));
  return out;
}

void Memcpy(benchmark::State& state) {
  const Bytes& raw = Picture();
  Bytes dest(raw.size());
  for (auto _ : state) {
    std::memcpy(dest.data(), raw.data(), raw.size());
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
}

template <class Compressor>
void Compress(benchmark::State& state) {
  Compressor c;
  const Bytes& raw = Picture();
  Bytes dest(raw.size());
  std::size_t r = 0;
  for (auto _ : state) {
    r = c.Compress(nullptr, raw.data(), raw.size(), dest.data());
    benchmark::DoNotOptimize(r);
  }
  if (r == 0) state.SkipWithError("picture did not compress");
  state.counters["ratio"] = static_cast<double>(r) / raw.size();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
}

template <class Compressor>
void Expand(benchmark::State& state) {
  Compressor c;
  const Bytes& raw = Picture();
  const Bytes packed = Packed(c);
  if (packed.empty()) {
    state.SkipWithError("picture did not compress");
    return;
  }
  Bytes dest(raw.size());
  for (auto _ : state) {
    c.Decompress(nullptr, c.GetGUID(), raw.size(), packed.size(), dest.data(), packed.data());
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  if (dest != raw) state.SkipWithError("expansion differs from the picture");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
}

BENCHMARK(Memcpy)->Name("memcpy_720x513")->Unit(benchmark::kMicrosecond);
BENCHMARK(Compress<image::TRLEDIBCompressor>)->Name("rle_compress_720x513")->Unit(benchmark::kMicrosecond);
BENCHMARK(Expand<image::TRLEDIBCompressor>)->Name("rle_expand_720x513")->Unit(benchmark::kMicrosecond);
BENCHMARK(Compress<image::TLZHDIBCompressor>)->Name("lzh_compress_720x513")->Unit(benchmark::kMillisecond);
BENCHMARK(Expand<image::TLZHDIBCompressor>)->Name("lzh_expand_720x513")->Unit(benchmark::kMillisecond);

// Console output plus a closing table of each benchmark's CPU time against the
// memcpy baseline of the same run (CPU time: the machine may be shared).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      seconds_[run.benchmark_name()] =
          run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const auto base = seconds_.find("memcpy_720x513");
    if (base == seconds_.end()) return;
    const double bytes = static_cast<double>(Picture().size());
    std::printf("\n%-24s %12s %12s %14s\n", "benchmark", "MB/s (CPU)", "ms/pass", "x memcpy time");
    for (const auto& [name, s] : seconds_) {
      std::printf("%-24s %12.1f %12.3f %14.1f\n", name.c_str(), bytes / s / 1e6, s * 1e3, s / base->second);
    }
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
