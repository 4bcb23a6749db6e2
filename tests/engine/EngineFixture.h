#pragma once

// Helpers for driving the engine: a working set with the default values, and
// a host that plays the song with exact positions.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "host/AEffectX.h"
#include "host/RelaxedFloat.h"
#include "plugin/Parameters.h"

namespace enginetest {

constexpr std::int32_t kPlayingFlags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;

// Stereo audio, one vector per channel.
struct Stereo {
  std::vector<float> left, right;
  explicit Stereo(std::size_t frames = 0) : left(frames), right(frames) {}
  std::size_t size() const { return left.size(); }
};

inline Stereo Noise(std::size_t frames, unsigned seed = 1, float amplitude = 0.5f) {
  Stereo s(frames);
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> value(-amplitude, amplitude);
  for (std::size_t i = 0; i < frames; ++i) {
    s.left[i] = value(random);
    s.right[i] = value(random);
  }
  return s;
}

inline bool AllFinite(const Stereo& s) {
  for (std::size_t i = 0; i < s.size(); ++i)
    if (!std::isfinite(s.left[i]) || !std::isfinite(s.right[i])) return false;
  return true;
}

// A working set as the effect holds it after construction.
struct Params {
  RelaxedFloat slots[parameters::kMidiValue + 1];
  Params() {
    for (int i = parameters::kFirst; i <= parameters::kLast; ++i) slots[i].store(parameters::defaultValue(i));
  }
  void set(int index, float value) { slots[index].store(value); }
  const RelaxedFloat* data() const { return slots; }
};

}  // namespace enginetest
