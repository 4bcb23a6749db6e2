#pragma once

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "plugin/engine/Real.h"
#include "plugin/engine/Rounding.h"

namespace engine {

// One feedback delay line's memory: a ring of exactly kRing cells, indexed
// modulo kRing, read with four-point cubic interpolation at a fractional
// position (the interpolation and the write-back run for both units at once,
// in FdUnits).
class DelayLine {
 public:
  static constexpr std::int32_t kRing = 192000;

  // How the read position follows the write index through a run of
  // samples. The delay is the same for every sample of a block, so as long
  // as the read position stays within one binade of float it is the write
  // index less a fixed amount: the read cell moves
  // with the write index and the fraction stands still. A whole-number
  // position alternates between fraction 0 and fraction 1 with its parity,
  // as the rounding of the read position does.
  struct Plan {
    bool Whole = false;
    std::int32_t Back = 0;
    float Fraction = 0.0f;
    std::int32_t End = 0;  // the write index after the run (at most kRing)
  };

  // A delay the ring can hold: longer ones (and NaN) read the oldest cell,
  // which is what a delay of 0 reads too.
  static float Limit(float delay) {
    if (!(delay <= static_cast<float>(kRing))) delay = static_cast<float>(kRing);
    if (!(delay >= 0.0f)) delay = 0.0f;
    return delay;
  }

  // The read position for a write index, a float as stored: the write
  // index less the delay, plus the ring where that is negative.
  static float ReadPosition(std::int32_t writeIndex, float delay) {
    const float position = static_cast<float>(writeIndex) - delay;
    return position < 0.0f ? position + static_cast<float>(kRing) : position;
  }

  // Where the read for a delay within 0..kRing lands: the cell (0..kRing)
  // below the read position and the fraction above it. Each step is a
  // single operation on floats (and a write index that a float holds
  // exactly), so float arithmetic rounds as double arithmetic rounded to
  // float would.
  struct Spot {
    std::int32_t Cell;
    float Fraction;
  };
  Spot Locate(float delay) const {
    const float position = ReadPosition(WriteIndex, delay);
    const std::int32_t b = WholePart(position);
    return {b, position - static_cast<float>(b)};
  }

  // A plan for the longest run of reads at the given delay, one per write,
  // from the current write index, of at most maxFrames (at least 1): up to
  // the ring's end, and while the read position stays in its binade. (A
  // negative difference is exact before the ring is added: it is smaller
  // than the delay and a multiple of the delay's last place.)
  Plan PlanRun(float delay, std::int32_t maxFrames) const {
    const float first = ReadPosition(WriteIndex, delay);
    // The position grows with the write index, so the run ends where its
    // binade first changes: search for the last write index that keeps it.
    auto keeps = [&](std::int32_t writeIndex) { return SameBinade(first, ReadPosition(writeIndex, delay)); };
    std::int32_t good = WriteIndex;  // a single read always holds
    std::int32_t bad = WriteIndex + (maxFrames > 1 ? maxFrames : 1);
    if (bad > kRing) bad = kRing;
    if (keeps(bad - 1)) {
      good = bad - 1;
    } else {
      while (bad - good > 1) {
        const std::int32_t middle = good + (bad - good) / 2;
        (keeps(middle) ? good : bad) = middle;
      }
    }
    Plan plan;
    const std::int32_t b = WholePart(first);
    plan.End = good + 1;
    plan.Whole = static_cast<float>(static_cast<std::int32_t>(first)) == first;
    // For a whole position Back is the position's distance below the write
    // index; otherwise the read cell's.
    plan.Back = WriteIndex - (plan.Whole ? static_cast<std::int32_t>(first) : b);
    plan.Fraction = first - static_cast<float>(b);
    return plan;
  }

  // Locate with a plan that holds (the same spot as Locate).
  Spot LocatePlanned(const Plan& plan) const {
    const std::int32_t b = WriteIndex - plan.Back;
    if (!plan.Whole) return {b, plan.Fraction};
    // WholePart of an odd whole number is the number below it.
    const std::int32_t odd = b & 1;
    return {b - odd, static_cast<float>(odd)};
  }

  // The cells b - 1 .. b + 2 around cell b (0..kRing, where kRing itself is
  // cell 0: a read position just below 0 can round up to the ring length),
  // in one register.
  __m128 CellsAround(std::int32_t b) const {
    // Away from the ring's ends the neighbours need no wrapping.
    if (static_cast<std::uint32_t>(b - 1) < static_cast<std::uint32_t>(kRing - 3))
      return _mm_loadu_ps(Cells + b - 1);
    if (b >= kRing) b -= kRing;
    std::int32_t a = b - 1, c = b + 1, e = b + 2;
    if (c >= kRing) c -= kRing;
    if (e >= kRing) e -= kRing;
    if (a < 0) a += kRing;
    return _mm_setr_ps(Cells[a], Cells[b], Cells[c], Cells[e]);
  }

  // Four-point cubic Hermite, each coefficient rounded to float.
  template <class Real>
  static Real Interpolate(Real y0, Real y1, Real y2, Real y3, Real t) {
    const Real half = Real{} + 0.5, oneAndHalf = Real{} + 1.5, twoAndHalf = Real{} + 2.5;
    const Real c0 = y1;
    const Real c1 = RoundToFloat((y2 - y0) * half);
    const Real c2 = RoundToFloat(y0 - twoAndHalf * y1 + (y2 + y2) - half * y3);
    const Real c3 = RoundToFloat((y3 - y0) * half + (y1 - y2) * oneAndHalf);
    return RoundToFloat(((c3 * t + c2) * t + c1) * t + c0);
  }

  // What goes back into the line. The two tiny offsets keep the
  // recirculating signal off denormals.
  template <class Real>
  static Real Recirculated(Real output, Real feedback, Real input) {
    const Real tiny = Real{} + 1e-25;
    return RoundToFloat(((tiny + output) * feedback + input) + tiny);
  }

  // A finite value into the write cell; the write index moves on.
  void Write(float value) {
    Cells[WriteIndex] = value;
    if (++WriteIndex >= kRing) WriteIndex = 0;
  }
  // The same while a plan holds: its run never passes the ring's end, so
  // the index may stand at kRing afterwards, until Normalize.
  void WriteWithin(float value) { Cells[WriteIndex++] = value; }
  void Normalize() {
    if (WriteIndex >= kRing) WriteIndex = 0;
  }

  std::int32_t WriteIndex = 0;
  float Cells[kRing] = {};

 private:
  // Both nonzero, of one sign and one power of two.
  static bool SameBinade(float a, float b) {
    std::uint32_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return (x >> 23) == (y >> 23) && (x & 0x7FFFFFFFu) != 0 && (y & 0x7FFFFFFFu) != 0;
  }
};

}  // namespace engine
