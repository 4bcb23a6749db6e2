#pragma once

// Audio for driving the engine: stereo buffers and noise.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace enginetest {

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

}  // namespace enginetest
