#pragma once

#include <cmath>

#include "plugin/engine/Real.h"

namespace engine {

// Two integrators with resonance feedback; the second is the low-pass
// output, the input minus it the high-pass output. Both run in either mode.
class ResonantFilter {
 public:
  // A stage beyond this is no longer sound but a filter run away at full
  // resonance; it restarts from rest rather than poisoning the unit.
  static constexpr float kRunawayLimit = 1.0e15f;

  // The cutoff is the integrators' coefficient itself, limited to 0.1..0.9.
  template <class Real>
  static Real Coefficient(Real cutoff) {
    return AtLeast(AtMost(cutoff, static_cast<double>(0.9f)), static_cast<double>(0.1f));
  }
  // From 0 at resonance 0 to about 11 at resonance 1 and f = 0.9.
  template <class Real>
  static Real FeedbackAmount(Real resonance, Real f) {
    return RoundToFloat(resonance + resonance / (1.0 - f));
  }
  // Both stages of one sample (stage1 and stage2 hold float values).
  template <class Real>
  static void Integrate(Real cutoff, Real resonance, Real input, Real& stage1, Real& stage2) {
    const Real f = Coefficient(cutoff);
    const Real fb = FeedbackAmount(resonance, f);
    stage1 = RoundToFloat(stage1 + f * ((input - stage1) + (stage1 - stage2) * fb));
    stage2 = RoundToFloat(stage2 + f * (stage1 - stage2));
  }

  // Stores the stages after Integrate, and answers the output for the mode.
  float Output(float mode, float input, float stage1, float stage2) {
    FilterStage1 = stage1;
    FilterStage2 = stage2;
    // The second stage follows the first within the same sample, so it alone
    // shows a runaway (or a NaN) of either.
    if (!(std::fabs(FilterStage2) < kRunawayLimit)) {
      FilterStage1 = 0.0f;
      FilterStage2 = 0.0f;
    }
    // mode 1 - "Filter Type": at least 0.5 is the high-pass.
    return mode >= 0.5f ? input - FilterStage2 : FilterStage2;
  }

  float FilterTick(float mode, float resonance, float cutoff, float input) {
    double stage1 = FilterStage1, stage2 = FilterStage2;
    Integrate<double>(cutoff, resonance, input, stage1, stage2);
    return Output(mode, input, static_cast<float>(stage1), static_cast<float>(stage2));
  }

  float FilterStage1 = 0.0f;
  float FilterStage2 = 0.0f;
};

}  // namespace engine
