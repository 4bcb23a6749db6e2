#include "tools/render/DemoSignal.h"

#include <algorithm>
#include <cmath>

namespace render {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kPlayedBars = 4, kTailBars = 2;

// A band-limited sawtooth of a few harmonics: bright enough for the filters
// to have something to work on.
double Saw(double phase, double frequency, double rate) {
  double sum = 0.0;
  for (int h = 1; h <= 12 && h * frequency < rate * 0.45; ++h) sum += std::sin(2.0 * kPi * h * phase) / h;
  return sum * 0.6;
}

}  // namespace

Demo::Demo(double rate, double tempo)
    : rate_(rate),
      beat_(60.0 / tempo),
      played_(static_cast<std::size_t>(kPlayedBars * 4 * beat_ * rate)),
      total_(static_cast<std::size_t>((kPlayedBars + kTailBars) * 4 * beat_ * rate)) {}

std::size_t Demo::read(float* left, float* right, std::size_t count) {
  count = std::min(count, total_ - at_);
  // A minor seventh: A2, E3, G3, C4; each voice a little to one side.
  static constexpr double kChord[] = {110.0, 164.81, 196.0, 261.63};
  static constexpr double kSide[] = {0.5, 0.35, 0.65, 0.45};
  for (std::size_t k = 0; k < count; ++k, ++at_) {
    const std::size_t n = at_;
    if (n >= played_) {
      left[k] = right[k] = 0.0f;
      continue;
    }
    const double t = n / rate_;
    const double fade = std::fmin(1.0, std::fmin(t / 0.02, (played_ - n) / rate_ / 0.05));
    double l = 0.0, r = 0.0;
    for (int v = 0; v < 4; ++v) {
      const double detune = 1.0 + 0.002 * (v - 1.5);
      const double s = Saw(std::fmod(t * kChord[v] * detune, 1.0), kChord[v], rate_) * 0.045 * fade;
      l += s * (1.0 - kSide[v]) * 2.0;
      r += s * kSide[v] * 2.0;
    }
    // Kick on every beat: a falling sine with a quick decay.
    const double inBeat = std::fmod(t, beat_);
    const double kickPhase = 2.0 * kPi * (45.0 * inBeat + 75.0 * 0.04 * (1.0 - std::exp(-inBeat / 0.04)));
    const double kick = std::sin(kickPhase) * std::exp(-inBeat / 0.12) * 0.3;
    // Hi-hat on the off-beats: a short burst of differenced noise.
    const double offBeat = std::fmod(t + beat_ * 0.5, beat_);
    noise_ = noise_ * 1664525u + 1013904223u;
    const double white = static_cast<double>(noise_ >> 8) / 8388608.0 - 1.0;
    const double hat = (white - previous_) * 0.5 * std::exp(-offBeat / 0.02) * 0.12;
    previous_ = white;
    left[k] = static_cast<float>(l + kick + hat);
    right[k] = static_cast<float>(r + kick + hat * 0.8);
  }
  return count;
}

}  // namespace render
