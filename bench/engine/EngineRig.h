#pragma once

// The audio engine with the default program, played from bar 1 at 120 BPM
// with exact positions: what the benchmarks and the instruction count drive.

#include <memory>
#include <random>
#include <vector>

#include "plugin/engine/AudioEngine.h"

namespace enginebench {

struct Rig {
  std::unique_ptr<engine::AudioEngine> engine = std::make_unique<engine::AudioEngine>();
  engine::Settings settings = engine::Settings::Defaults();
  double rate;
  int block;
  std::vector<float> inL, inR, outL, outR;
  long long played = 0;

  Rig(double rate, int block) : rate(rate), block(block), inL(block), inR(block), outL(block), outR(block) {
    fill(0.5f, 1);
  }
  void fill(float amplitude, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-amplitude, amplitude);
    for (int i = 0; i < block; ++i) inL[i] = value(random), inR[i] = value(random);
  }
  void run() {
    engine::TimeRecord time;
    time.Beats = static_cast<double>(played) * 2.0 / rate;
    time.Tempo = 120.0;
    time.BeatsValid = time.TempoValid = time.Playing = true;
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    engine->ProcessBlock(settings, time, static_cast<float>(rate), in, out, block, false);
    played += block;
  }
};

}  // namespace enginebench
