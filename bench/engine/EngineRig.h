#pragma once

// An effect instance with a host that answers only the time request: what
// the benchmarks and the instruction count drive.

#include <memory>
#include <random>
#include <vector>

#include "plugin/APlugin.h"

namespace enginebench {

inline VstTimeInfo& Time() {
  static VstTimeInfo time{};
  return time;
}

inline VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&Time());
  return 0;
}

struct Rig {
  std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(Host);
  double rate;
  int block;
  std::vector<float> inL, inR, outL, outR;
  long long played = 0;

  Rig(double rate, int block) : rate(rate), block(block), inL(block), inR(block), outL(block), outR(block) {
    plugin->setSampleRate(static_cast<float>(rate));
    fill(0.5f, 1);
  }
  void fill(float amplitude, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-amplitude, amplitude);
    for (int i = 0; i < block; ++i) inL[i] = value(random), inR[i] = value(random);
  }
  void run() {
    VstTimeInfo& t = Time();
    t.ppqPos = static_cast<double>(played) * 2.0 / rate;
    t.tempo = 120.0;
    t.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    plugin->processReplacing(in, out, block);
    played += block;
  }
};

}  // namespace enginebench
