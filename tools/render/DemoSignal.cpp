#include "tools/render/DemoSignal.h"

#include <cmath>
#include <cstdint>

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

Audio MakeDemo(double rate, double tempo) {
  Audio audio;
  audio.rate = rate;
  const double beat = 60.0 / tempo;
  const auto played = static_cast<std::size_t>(kPlayedBars * 4 * beat * rate);
  const auto total = static_cast<std::size_t>((kPlayedBars + kTailBars) * 4 * beat * rate);
  audio.left.assign(total, 0.0f);
  audio.right.assign(total, 0.0f);

  // A minor seventh: A2, E3, G3, C4; each voice a little to one side.
  const double chord[] = {110.0, 164.81, 196.0, 261.63};
  const double side[] = {0.5, 0.35, 0.65, 0.45};
  std::uint32_t noise = 12345;
  double previous = 0.0;
  for (std::size_t n = 0; n < played; ++n) {
    const double t = n / rate;
    const double fade = std::fmin(1.0, std::fmin(t / 0.02, (played - n) / rate / 0.05));
    double left = 0.0, right = 0.0;
    for (int v = 0; v < 4; ++v) {
      const double detune = 1.0 + 0.002 * (v - 1.5);
      const double s = Saw(std::fmod(t * chord[v] * detune, 1.0), chord[v], rate) * 0.045 * fade;
      left += s * (1.0 - side[v]) * 2.0;
      right += s * side[v] * 2.0;
    }
    // Kick on every beat: a falling sine with a quick decay.
    const double inBeat = std::fmod(t, beat);
    const double kickPhase = 2.0 * kPi * (45.0 * inBeat + 75.0 * 0.04 * (1.0 - std::exp(-inBeat / 0.04)));
    const double kick = std::sin(kickPhase) * std::exp(-inBeat / 0.12) * 0.3;
    // Hi-hat on the off-beats: a short burst of differenced noise.
    const double offBeat = std::fmod(t + beat * 0.5, beat);
    noise = noise * 1664525u + 1013904223u;
    const double white = static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
    const double hat = (white - previous) * 0.5 * std::exp(-offBeat / 0.02) * 0.12;
    previous = white;
    audio.left[n] = static_cast<float>(left + kick + hat);
    audio.right[n] = static_cast<float>(right + kick + hat * 0.8);
  }
  return audio;
}

}  // namespace render
