// What a host pays to bring the effect in: dlopen of the library, the entry
// creating an instance, effOpen, effClose and dlclose. The baseline in the
// same run is dlopen and dlclose of a small library every Linux system has
// (libz, not yet loaded by this program), so the ratio says how much more the
// plug-in costs than loading a library at all.
//
//   bench_load [--library PATH] [benchmark options]

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/AEffectX.h"

namespace {

std::string pluginPath = PLONKRIFT_PLUGIN_PATH;
const char* kBaselineLibrary = "libz.so.1";

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  switch (opcode) {
    case audioMasterVersion:
      return 2400;
    case audioMasterGetVendorString:
    case audioMasterGetProductString:
      if (ptr != nullptr) std::strcpy(static_cast<char*>(ptr), "bench");
      return 1;
    default:
      return 0;
  }
}

void BM_LoadSmallLibrary(benchmark::State& state) {
  for (auto _ : state) {
    void* handle = dlopen(kBaselineLibrary, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      state.SkipWithError("cannot load the baseline library");
      return;
    }
    benchmark::DoNotOptimize(dlsym(handle, "zlibVersion"));
    dlclose(handle);
  }
}

// The plug-in's heaviest dependency on its own, with everything it pulls in:
// how much of the plug-in's load is its libraries' rather than its own.
void BM_LoadCairo(benchmark::State& state) {
  for (auto _ : state) {
    void* handle = dlopen("libcairo.so.2", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      state.SkipWithError("cannot load libcairo");
      return;
    }
    benchmark::DoNotOptimize(dlsym(handle, "cairo_version"));
    dlclose(handle);
  }
}

// dlopen, entry, effOpen, effClose, dlclose: a host's scan of the effect.
void BM_LoadPluginAndInstance(benchmark::State& state) {
  for (auto _ : state) {
    void* handle = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      state.SkipWithError(dlerror());
      return;
    }
    auto entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(handle, "VSTPluginMain"));
    AEffect* effect = entry != nullptr ? entry(&hostCallback) : nullptr;
    if (effect == nullptr) {
      state.SkipWithError("the entry made no instance");
      dlclose(handle);
      return;
    }
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    dlclose(handle);
  }
}

// The instance alone, with the library already loaded: what adding a second
// copy of the effect to a song costs.
void BM_InstanceOnly(benchmark::State& state) {
  void* handle = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto entry = handle != nullptr
                   ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(handle, "VSTPluginMain"))
                   : nullptr;
  if (entry == nullptr) {
    state.SkipWithError("cannot load the plug-in");
    return;
  }
  for (auto _ : state) {
    AEffect* effect = entry(&hostCallback);
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  }
  dlclose(handle);
}

BENCHMARK(BM_LoadSmallLibrary)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadCairo)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadPluginAndInstance)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_InstanceOnly)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Prints the medians' ratio after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.aggregate_name != "median") continue;
      const double perIteration = run.GetAdjustedRealTime();  // in the run's unit (µs)
      if (run.run_name.function_name == "BM_LoadSmallLibrary") baseline_ = perIteration;
      if (run.run_name.function_name == "BM_LoadPluginAndInstance") plugin_ = perIteration;
      if (run.run_name.function_name == "BM_InstanceOnly") instance_ = perIteration;
      if (run.run_name.function_name == "BM_LoadCairo") cairo_ = perIteration;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (baseline_ > 0 && plugin_ > 0)
      std::printf(
          "\nload + instance + close: %.3f ms (median), %.1f x loading %s (%.1f us); target under 5 ms: %s\n",
          plugin_ / 1000.0, plugin_ / baseline_, kBaselineLibrary, baseline_,
          plugin_ < 5000.0 ? "met" : "NOT met");
    if (cairo_ > 0)
      std::printf("of which loading libcairo and its dependencies alone: %.3f ms\n", cairo_ / 1000.0);
    if (instance_ > 0) std::printf("instance alone (library loaded): %.3f ms\n", instance_ / 1000.0);
  }

 private:
  double baseline_ = 0, plugin_ = 0, instance_ = 0, cairo_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--library") == 0) {
      pluginPath = argv[i + 1];
      for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
      argc -= 2;
      break;
    }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
