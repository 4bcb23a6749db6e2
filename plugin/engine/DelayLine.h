#pragma once

#include <cstdint>

#include "plugin/engine/Real.h"
#include "plugin/engine/Rounding.h"

namespace engine {

// A feedback delay line read with four-point cubic interpolation at a
// fractional position. The ring is exactly kRing cells, indexed modulo kRing.
class DelayLine {
 public:
  static constexpr std::int32_t kRing = 192000;

  // The four cells around the read position and the fraction between the
  // middle two.
  struct Taps {
    float y0, y1, y2, y3, t;
  };

  // A delay the ring can hold: longer ones (and NaN) read the oldest cell,
  // which is what a delay of 0 reads too.
  static float Limit(float delay) {
    if (!(delay <= static_cast<float>(kRing))) delay = static_cast<float>(kRing);
    if (!(delay >= 0.0f)) delay = 0.0f;
    return delay;
  }

  // delay in samples.
  float DelayTick(float input, float feedback, float delay) { return Tick(input, feedback, Limit(delay)); }

  // DelayTick for a delay already within 0..kRing.
  float Tick(float input, float feedback, float delay) {
    const Taps taps = Read(delay);
    const double output = Interpolate<double>(taps.y0, taps.y1, taps.y2, taps.y3, taps.t);
    Write(static_cast<float>(Recirculated<double>(output, feedback, input)));
    return static_cast<float>(output);
  }

  // The read, for a delay within 0..kRing. Each step is a single operation
  // on floats (and a write index that a float holds exactly), so float
  // arithmetic rounds as double arithmetic rounded to float would.
  Taps Read(float delay) const {
    float R = static_cast<float>(WriteIndex) - delay;
    if (R < 0.0f) R += static_cast<float>(kRing);
    std::int32_t b = WholePart(R);
    const float t = R - static_cast<float>(b);
    // R just below 0 can round up to the ring length itself.
    if (b >= kRing) b -= kRing;
    // Away from the ring's ends the neighbours need no wrapping.
    if (static_cast<std::uint32_t>(b - 1) < static_cast<std::uint32_t>(kRing - 3))
      return Taps{cells[b - 1], cells[b], cells[b + 1], cells[b + 2], t};
    std::int32_t a = b - 1, c = b + 1, e = b + 2;
    if (c >= kRing) c -= kRing;
    if (e >= kRing) e -= kRing;
    if (a < 0) a += kRing;
    return Taps{cells[a], cells[b], cells[c], cells[e], t};
  }

  // Four-point cubic Hermite, each coefficient rounded to float.
  template <class Real>
  static Real Interpolate(Real y0, Real y1, Real y2, Real y3, Real t) {
    const Real half = Real{} + 0.5, one_and_half = Real{} + 1.5, two_and_half = Real{} + 2.5;
    const Real c0 = y1;
    const Real c1 = RoundToFloat((y2 - y0) * half);
    const Real c2 = RoundToFloat(y0 - two_and_half * y1 + (y2 + y2) - half * y3);
    const Real c3 = RoundToFloat((y3 - y0) * half + (y1 - y2) * one_and_half);
    return RoundToFloat(((c3 * t + c2) * t + c1) * t + c0);
  }

  // What goes back into the line. The two tiny offsets keep the
  // recirculating signal off denormals.
  template <class Real>
  static Real Recirculated(Real output, Real feedback, Real input) {
    const Real tiny = Real{} + 1e-25;
    return RoundToFloat(((tiny + output) * feedback + input) + tiny);
  }


  void Write(float value) {
    // A sample too large for a float never enters the ring.
    if (!(value <= 3.402823466e38f && value >= -3.402823466e38f)) value = 0.0f;
    WriteFinite(value);
  }
  void WriteFinite(float value) {
    cells[WriteIndex] = value;
    if (++WriteIndex >= kRing) WriteIndex = 0;
  }

  std::int32_t WriteIndex = 0;
  float cells[kRing] = {};
};

}  // namespace engine
