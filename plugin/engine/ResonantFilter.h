#pragma once

#include "plugin/engine/Real.h"

namespace engine {

// Two integrators with resonance feedback, for both units side by side: the
// second is the low-pass output, the input minus it the high-pass output.
// Both stages run in either mode. Each stage holds a float value.
class ResonantFilter {
 public:
  // A stage beyond this is no longer sound but a filter run away at full
  // resonance; it restarts from rest rather than poisoning the unit.
  static constexpr double kRunawayLimit = 1.0e15f;

  // The cutoff is the integrators' coefficient itself, limited to 0.1..0.9.
  static Pair Coefficient(Pair cutoff) {
    return AtLeast(AtMost(cutoff, static_cast<double>(0.9f)), static_cast<double>(0.1f));
  }
  // From 0 at resonance 0 to about 11 at resonance 1 and f = 0.9.
  static Pair FeedbackAmount(Pair resonance, Pair f) {
    return RoundToFloat(resonance + resonance / (1.0 - f));
  }

  // One sample of the lanes in `run` (a lane outside it keeps its stages);
  // answers each lane's output for its mode (highPass all ones: the
  // high-pass).
  // kAllRun: both lanes run (run is all ones).
  template <bool kAllRun = false>
  Pair FilterTick(Pair run, Pair highPass, Pair resonance, Pair cutoff, Pair input) {
    const Pair f = Coefficient(cutoff);
    const Pair fb = FeedbackAmount(resonance, f);
    Pair one = RoundToFloat(FilterStage1 + f * ((input - FilterStage1) + (FilterStage1 - FilterStage2) * fb));
    Pair two = RoundToFloat(FilterStage2 + f * (one - FilterStage2));
    // The second stage follows the first within the sample, so it alone
    // shows a runaway (or a NaN) of either.
    const Pair sane = Below(two, kRunawayLimit);
    one = Select(sane, one);
    two = Select(sane, two);
    FilterStage1 = kAllRun ? one : Choose(run, one, FilterStage1);
    FilterStage2 = kAllRun ? two : Choose(run, two, FilterStage2);
    return Choose(highPass, RoundToFloat(input - FilterStage2), FilterStage2);
  }

  Pair FilterStage1 = Both(0.0);
  Pair FilterStage2 = Both(0.0);
};

}  // namespace engine
