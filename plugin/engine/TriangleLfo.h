#pragma once

#include <cstdint>

#include "plugin/engine/Real.h"

namespace engine {

// A triangle LFO counted in samples: +1 at count 0, -1 at count LfoRamp. Its
// phase runs freely for the life of the effect.
class TriangleLfo {
 public:
  // Block derivation: half a cycle is period x 5 bars (in double: the product
  // of a float period and a bar is not a float).
  void DeriveRamp(std::int32_t barSamples, float period) {
    LfoRamp = static_cast<double>(barSamples) * static_cast<double>(period) * 5.0;
  }

  void Tick() {
    Count();
    // A ramp of 0 (period 0) has no slope: the value holds where it was.
    if (LfoRamp > 0.0) LfoValue = static_cast<float>(Value(static_cast<double>(LfoCount), LfoRamp));
  }

  // The count moves on; the direction turns at the ends, taking effect at
  // the next sample.
  void Count() {
    LfoCount += LfoDirection;
    if (LfoCount > LfoRamp) LfoDirection = -1;
    if (LfoCount < 1) LfoDirection = 1;
  }
  // The value at a count (over double or a pair of LFOs), rounded to float.
  template <class Real>
  static Real Value(Real count, Real ramp) {
    return RoundToFloat(1.0 - (count / ramp) * 2.0);
  }

  std::int32_t LfoCount = 0;
  std::int32_t LfoDirection = 1;
  double LfoRamp = 0.0;
  float LfoValue = 0.0f;
};

}  // namespace engine
