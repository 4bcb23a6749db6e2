#pragma once

#include <cmath>
#include <cstdint>

#include "plugin/engine/Rounding.h"

namespace engine {

// A feedback delay line read with four-point cubic interpolation at a
// fractional position. The ring is exactly kRing cells, indexed modulo kRing.
class DelayLine {
 public:
  static constexpr std::int32_t kRing = 192000;

  // delay in samples; longer delays than the ring (and NaN) read the oldest
  // cell, which is what a delay of 0 reads too.
  float DelayTick(float input, float feedback, float delay) {
    if (!(delay <= static_cast<float>(kRing))) delay = static_cast<float>(kRing);
    if (!(delay >= 0.0f)) delay = 0.0f;

    float R = static_cast<float>(static_cast<double>(WriteIndex) - delay);
    if (R < 0.0f) R = static_cast<float>(static_cast<double>(R) + kRing);
    std::int64_t i = WholePart(R);
    const float t = static_cast<float>(static_cast<double>(R) - static_cast<double>(i));
    // R just below 0 can round up to the ring length itself.
    if (i >= kRing) i -= kRing;

    std::int32_t b = static_cast<std::int32_t>(i), a = b - 1, c = b + 1, e = b + 2;
    if (c >= kRing) c -= kRing;
    if (e >= kRing) e -= kRing;
    if (a < 0) a += kRing;
    const double y0 = cells[a], y1 = cells[b], y2 = cells[c], y3 = cells[e];

    const float c0 = static_cast<float>(y1);
    const float c1 = static_cast<float>((y2 - y0) * 0.5);
    const float c2 = static_cast<float>(y0 - 2.5 * y1 + 2.0 * y2 - 0.5 * y3);
    const float c3 = static_cast<float>((y3 - y0) * 0.5 + (y1 - y2) * 1.5);
    const double td = t;
    const float output = static_cast<float>(((c3 * td + c2) * td + c1) * td + c0);

    // The two tiny offsets keep the recirculating signal off denormals.
    float written = static_cast<float>(((1e-25 + output) * feedback + input) + 1e-25);
    // A sample too large for a float never enters the ring.
    if (!std::isfinite(written)) written = 0.0f;
    cells[WriteIndex] = written;
    if (++WriteIndex >= kRing) WriteIndex = 0;
    return output;
  }

  std::int32_t WriteIndex = 0;
  float cells[kRing] = {};
};

}  // namespace engine
