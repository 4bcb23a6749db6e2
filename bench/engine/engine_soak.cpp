// Every slot at 0, then every slot at 1, each for a long stretch of loud
// noise (ten minutes by default) through the built library: the output must
// stay finite throughout. engine_soak [seconds]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "tools/hostkit/PluginHost.h"

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  if (!library.ok()) {
    std::fprintf(stderr, "engine_soak: %s\n", library.error().c_str());
    return 1;
  }
  constexpr int kBlock = 4096;
  constexpr double kRate = 44100.0;
  int failures = 0;
  for (float value : {0.0f, 1.0f}) {
    hostkit::PluginHost host;
    VstTimeInfo time{};
    host.timeInfo = &time;
    host.create(library.entry());
    for (int i = 1; i <= 61; ++i) host.setParameter(i, value);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    const long blocks = static_cast<long>(seconds * kRate / kBlock);
    double peak = 0.0;
    long bad = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long b = 0; b < blocks; ++b) {
      for (int i = 0; i < kBlock; ++i) inL[i] = noise(random), inR[i] = noise(random);
      time.ppqPos = b * kBlock * 2.0 / kRate;
      time.tempo = 120.0;
      time.flags =
          kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | (b == 0 ? kVstTransportChanged : 0);
      float* in[2] = {inL.data(), inR.data()};
      float* out[2] = {outL.data(), outR.data()};
      host.processReplacing(in, out, kBlock);
      // The host records every request; drop them so the job runs in constant memory.
      if (b % 1024 == 0) host.clearCalls();
      for (int i = 0; i < kBlock; ++i) {
        if (!std::isfinite(outL[i]) || !std::isfinite(outR[i])) ++bad;
        peak = std::fmax(peak, std::fmax(std::fabs(outL[i]), std::fabs(outR[i])));
      }
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("every slot at %.0f: %.0f s of noise in %.1f s, peak %.4g, non-finite samples %ld\n", value,
                blocks * kBlock / kRate, took, peak, bad);
    if (bad != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
