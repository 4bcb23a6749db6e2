#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "plugin/Parameters.h"
#include "plugin/engine/Real.h"

namespace engine {

// Both triangle LFOs, counted in samples: +1 at count 0, -1 at count
// LfoRamp. Their phases run freely for the life of the effect.
class TriangleLfo {
 public:
  // Block derivation: half a cycle is the period's bars over two (in double:
  // the product of a float period and a bar is not a float).
  void DeriveRamps(std::int32_t barSamples, float period1, float period2) {
    constexpr double kHalf = parameters::kLfoHalfCycleBars;
    LfoRamp[0] = static_cast<double>(barSamples) * static_cast<double>(period1) * kHalf;
    LfoRamp[1] = static_cast<double>(barSamples) * static_cast<double>(period2) * kHalf;
    ramps_ = MakePair(LfoRamp[0], LfoRamp[1]);
    // Samples from here on in which neither count can reach a turning point:
    // up to the first count above its ramp, or down to the first below 1.
    steady_ = 0;
    for (int i = 0; i < 2; ++i) {
      const double count = counts_[i];
      const double untilTurn = directions_[i] > 0.0 ? std::floor(LfoRamp[i] - count) : count - 1.0;
      const std::int32_t steady =
          untilTurn > 0.0 ? (untilTurn < 1e9 ? static_cast<std::int32_t>(untilTurn) : 1000000000) : 0;
      steady_ = i == 0 ? steady : std::min(steady_, steady);
    }
    // A ramp of 0 (period 0) has no slope: the value holds where it was.
    sloped_ = Mask(LfoRamp[0] > 0.0, LfoRamp[1] > 0.0);
  }

  // One sample: the counts move on, the directions turn at the ends (taking
  // effect at the next sample), and the values follow. Counts and
  // directions are whole numbers, exact in double.
  Pair Tick() {
    counts_ = counts_ + directions_;
    if (steady_ > 0) {
      --steady_;
    } else {
      directions_ = Choose(Greater(counts_, ramps_), Both(-1.0), directions_);
      directions_ = Choose(Less(counts_, Both(1.0)), Both(1.0), directions_);
    }
    LfoValue = Choose(sloped_, RoundToFloat(1.0 - (counts_ / ramps_) * 2.0), LfoValue);
    return LfoValue;
  }

  std::int32_t LfoCount(int i) const { return static_cast<std::int32_t>(counts_[i]); }
  std::int32_t LfoDirection(int i) const { return static_cast<std::int32_t>(directions_[i]); }

  double LfoRamp[2] = {0.0, 0.0};
  Pair LfoValue = Both(0.0);

 private:
  Pair counts_ = Both(0.0);
  Pair directions_ = Both(1.0);
  Pair ramps_ = Both(0.0);
  Pair sloped_ = Both(0.0);
  std::int32_t steady_ = 0;
};

}  // namespace engine
