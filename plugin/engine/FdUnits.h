#pragma once

#include <cstdint>
#include <limits>

#include "plugin/engine/DelayLine.h"
#include "plugin/engine/Real.h"
#include "plugin/engine/ResonantFilter.h"

namespace engine {

// The two filter-and-delay units, one lane each, run side by side: a
// feedback delay line, then the filter, then the volume (the pan is applied
// in the mix). A unit that is off keeps its delay line, write position and
// filter as they stand and puts out 0.
class FdUnits {
 public:
  // What one block's samples read, per unit.
  struct Settings {
    bool Enabled[2];
    float Delay[2];  // samples, within the ring
    Pair Feedback, Resonance, Volume;
    Pair HighPass;  // all ones for a unit whose mode is at least 0.5
  };

  // Block derivation: the settings.
  void DeriveBlock(const Settings& settings) {
    s_ = settings;
    run_ = Mask(settings.Enabled[0], settings.Enabled[1]);
    for (DelayLine& l : Line) l.Normalize();
  }

  // Plans the reads of the next frames (at most maxFrames): how each line's
  // read position will follow its write index. Answers how many frames the
  // plans hold (at least 1); Tick may run that many times.
  std::int32_t PlanSpan(std::int32_t maxFrames) {
    std::int32_t span = maxFrames;
    for (int u = 0; u < 2; ++u) {
      Line[u].Normalize();
      plan_[u] = Line[u].PlanRun(s_.Delay[u], maxFrames);
      // A unit that is off does not move: its plan holds however long.
      if (s_.Enabled[u] && plan_[u].End - Line[u].WriteIndex < span) span = plan_[u].End - Line[u].WriteIndex;
    }
    return span;
  }

  // Both units on: Tick<true> needs no test per unit and sample.
  bool BothOn() const { return s_.Enabled[0] && s_.Enabled[1]; }

  // One sample of both units: FdOut for each (0 for a unit that is off).
  // Runs within a span of PlanSpan; kAll only when BothOn.
  template <bool kAll>
  __attribute__((always_inline)) Pair Tick(double input, Pair cutoffs) {
    const Pair d = DelayTick<kAll>(input);
    const Pair filtered = Filter.FilterTick<kAll>(run_, s_.HighPass, s_.Resonance, cutoffs, d);
    const Pair out = RoundToFloat(filtered * s_.Volume);
    FdOut = kAll ? out : Select(run_, out);
    return FdOut;
  }

  // The delay lines alone, one sample (within a span of PlanSpan): each
  // enabled line reads its output and writes the input plus the fed-back
  // output.
  template <bool kAll>
  __attribute__((always_inline)) Pair DelayTick(double input) {
    const DelayLine::Spot a = Spot<kAll>(0), b = Spot<kAll>(1);
    // Both lines' four cells side by side: (y0, y0), (y1, y1), ...
    const __m128 first = Line[0].CellsAround(a.Cell), second = Line[1].CellsAround(b.Cell);
    const __m128 low = _mm_unpacklo_ps(first, second), high = _mm_unpackhi_ps(first, second);
    const Pair d =
        DelayLine::Interpolate<Pair>(Widen(low), Widen(_mm_movehl_ps(low, low)), Widen(high),
                                     Widen(_mm_movehl_ps(high, high)), MakePair(a.Fraction, b.Fraction));
    Pair written = DelayLine::Recirculated<Pair>(d, s_.Feedback, Both(input));
    // A sample too large for a float (rounded to infinity) never enters a ring.
    written = Select(Below(written, std::numeric_limits<double>::infinity()), written);
    for (int u = 0; u < 2; ++u) {
      if (kAll) {
        Line[u].WriteWithin(static_cast<float>(written[u]));
      } else if (s_.Enabled[u]) {
        Line[u].WriteWithin(static_cast<float>(written[u]));
      }
    }
    return d;
  }

  DelayLine Line[2];
  ResonantFilter Filter;
  float DelaySeconds[2] = {0.0f, 0.0f};
  Pair FdOut = Both(0.0);

 private:
  template <bool kAll>
  DelayLine::Spot Spot(int u) const {
    return Line[u].LocatePlanned(plan_[u]);
  }

  // The two lower floats as doubles.
  static Pair Widen(__m128 x) { return reinterpret_cast<Pair>(_mm_cvtps_pd(x)); }

  Settings s_{};
  Pair run_ = Both(0.0);
  DelayLine::Plan plan_[2];
};

}  // namespace engine
