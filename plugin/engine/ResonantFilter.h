#pragma once

#include <cmath>

namespace engine {

// Two integrators with resonance feedback; the second is the low-pass
// output, the input minus it the high-pass output. Both run in either mode.
class ResonantFilter {
 public:
  // A stage beyond this is no longer sound but a filter run away at full
  // resonance; it restarts from rest rather than poisoning the unit.
  static constexpr float kRunawayLimit = 1.0e15f;

  // The cutoff is the integrators' coefficient itself, limited to 0.1..0.9.
  static float Coefficient(float cutoff) {
    float f = cutoff;
    if (f > 0.9f) f = 0.9f;
    if (f < 0.1f) f = 0.1f;
    return f;
  }
  // From 0 at resonance 0 to about 11 at resonance 1 and f = 0.9.
  static float FeedbackAmount(float resonance, float f) {
    return static_cast<float>(resonance + resonance / (1.0 - f));
  }

  float FilterTick(float mode, float resonance, float cutoff, float input) {
    const float f = Coefficient(cutoff);
    const float fb = FeedbackAmount(resonance, f);
    FilterStage1 = static_cast<float>(
        FilterStage1 + f * ((static_cast<double>(input) - FilterStage1) + (static_cast<double>(FilterStage1) - FilterStage2) * fb));
    FilterStage2 = static_cast<float>(FilterStage2 + f * (static_cast<double>(FilterStage1) - FilterStage2));
    if (!(std::fabs(FilterStage1) < kRunawayLimit && std::fabs(FilterStage2) < kRunawayLimit)) {
      FilterStage1 = 0.0f;
      FilterStage2 = 0.0f;
    }
    return mode >= 0.5f ? static_cast<float>(static_cast<double>(input) - FilterStage2) : FilterStage2;
  }

  float FilterStage1 = 0.0f;
  float FilterStage2 = 0.0f;
};

}  // namespace engine
