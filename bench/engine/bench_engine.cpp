// ns per stereo frame of the default program (gate and both units on) at
// 44.1 and 48 kHz in blocks of 64, 256 and 4096, against a plain copy of the
// same buffers measured in the same run; and silence after loud input, which
// must cost no more than loud input (no denormal slowdown).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "bench/engine/EngineRig.h"

namespace {

void BM_Engine(benchmark::State& state) {
  enginebench::Rig rig(static_cast<double>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    rig.run();
    benchmark::DoNotOptimize(rig.outL.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(1));
}
BENCHMARK(BM_Engine)->ArgsProduct({{44100, 48000}, {64, 256, 4096}})->ArgNames({"rate", "block"});

void BM_Copy(benchmark::State& state) {
  enginebench::Rig rig(44100.0, static_cast<int>(state.range(0)));
  const std::size_t bytes = sizeof(float) * rig.block;
  for (auto _ : state) {
    std::memcpy(rig.outL.data(), rig.inL.data(), bytes);
    std::memcpy(rig.outR.data(), rig.inR.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Copy)->Arg(64)->Arg(256)->Arg(4096)->ArgNames({"block"});

// After five seconds of loud noise, silence: the echoes and filters decay
// towards denormal range.
void BM_SilenceAfterLoud(benchmark::State& state) {
  enginebench::Rig rig(44100.0, 256);
  rig.fill(1.0f, 2);
  for (int i = 0; i < 5 * 44100 / 256; ++i) rig.run();
  if (state.range(0) == 0) rig.fill(0.0f, 0);
  for (int i = 0; i < 30 * 44100 / 256; ++i) rig.run();  // thirty seconds of decay first
  for (auto _ : state) {
    rig.run();
    benchmark::DoNotOptimize(rig.outL.data());
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_SilenceAfterLoud)->Arg(1)->Arg(0)->ArgNames({"silent"});

// Silence after a quarter second of awkward input (with the defaults, and
// with long resonant tails that fade towards the subnormal range): what the
// slowest stretch of it costs against noise, reported as a ratio.
struct InputKind {
  const char* name;
  float (*sample)(int i);
};
const InputKind kInputs[] = {
    {"impulse", [](int i) { return i == 0 ? 1.0f : 0.0f; }},
    {"DC", [](int) { return 1.0f; }},
    {"square", [](int i) { return (i / 50) % 2 == 0 ? 1.0f : -1.0f; }},
    {"1e-38", [](int i) { return i % 2 == 0 ? 1e-38f : -1e-38f; }},
    {"FLT_MIN", [](int i) { return i % 3 == 0 ? -1.17549435e-38f : 1.17549435e-38f; }},
    {"NaN burst", [](int i) { return i % 100 < 50 ? __builtin_nanf("") : 0.5f; }},
    {"infinity burst", [](int i) { return i % 2 == 0 ? __builtin_inff() : -__builtin_inff(); }},
};

void LongTails(engine::Settings& s) {
  s.Fd[0].Feedback = s.Fd[1].Feedback = 0.95f;
  s.Fd[0].Reso = s.Fd[1].Reso = 1.0f;
  s.Fd[0].DelayTime = 0.0f;
  s.GateEnable = 0.0f;  // the dry path passes everything
}

void BM_SilenceAfter(benchmark::State& state) {
  const InputKind& kind = kInputs[state.range(0)];
  enginebench::Rig rig(44100.0, 512);
  if (state.range(1) != 0) LongTails(rig.settings);
  for (int done = 0; done < 11025; done += 512) {
    for (int i = 0; i < 512; ++i) rig.inL[i] = rig.inR[i] = kind.sample(done + i);
    rig.run();
  }
  rig.fill(0.0f, 0);
  // The first 4.6 s of silence, over and over from the same state: the
  // slowest part of the fade counts as much as the rest.
  const auto start = std::make_unique<engine::AudioEngine>(*rig.engine);
  for (auto _ : state) {
    state.PauseTiming();
    *rig.engine = *start;
    state.ResumeTiming();
    for (int b = 0; b < 400; ++b) rig.run();
    benchmark::DoNotOptimize(rig.outL.data());
  }
  state.SetItemsProcessed(state.iterations() * 400 * 512);
  state.SetLabel(std::string(kind.name) + (state.range(1) != 0 ? ", long tails" : ""));
}
BENCHMARK(BM_SilenceAfter)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {0, 1}})
    ->ArgNames({"input", "tails"})
    ->Unit(benchmark::kMillisecond);

// Prints the usual table and then the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        const auto it = run.counters.find("items_per_second");
        if (it != run.counters.end() && it->second.value > 0)
          ns_[run.benchmark_name()] = 1e9 / it->second.value;
      }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nns per stereo frame, and the engine against a plain copy of the same buffers:\n");
    for (const char* rate : {"44100", "48000"})
      for (const char* block : {"64", "256", "4096"}) {
        const double engine = ns_["BM_Engine/rate:" + std::string(rate) + "/block:" + block];
        const double copy = ns_["BM_Copy/block:" + std::string(block)];
        if (engine > 0 && copy > 0)
          std::printf("  %s Hz, block %4s: engine %7.2f ns, copy %6.3f ns, ratio %7.1f\n", rate, block,
                      engine, copy, engine / copy);
      }
    const double small = ns_["BM_Engine/rate:44100/block:64"], large = ns_["BM_Engine/rate:44100/block:4096"];
    if (small > 0 && large > 0) std::printf("  block 64 against 4096 at 44.1 kHz: %.3f\n", small / large);
    const double loud = ns_["BM_SilenceAfterLoud/silent:1"], silent = ns_["BM_SilenceAfterLoud/silent:0"];
    if (loud > 0 && silent > 0)
      std::printf("  silence after loud input against loud input: %.3f\n", silent / loud);
    double worst = 0.0;
    std::string worstName;
    for (const auto& [name, ns] : ns_)
      if (name.rfind("BM_SilenceAfter/", 0) == 0 && ns / loud > worst) worst = ns / loud, worstName = name;
    if (loud > 0 && worst > 0)
      std::printf("  silence after awkward input against loud input, worst: %.3f (%s)\n", worst,
                  worstName.c_str());
  }

 private:
  std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
