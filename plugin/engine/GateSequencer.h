#pragma once

#include <cstdint>

#include "plugin/engine/Real.h"

namespace engine {

// The gate's envelope: on entering a step that is on, a linear attack and a
// linear decay restart; a tie holds the decay for its step. The level is not
// clamped. The two ramps run side by side: (decay, attack) counts over
// (decay, attack) lengths. Counts are floats counted down by whole samples,
// which is exact in float, so they run in double lanes.
class GateSequencer {
 public:
  // 0.005 s at the 44100 Hz an effect starts with, rounded half to even
  // (220.5 -> 220). Fixed at construction: it stays 220 at every rate.
  static constexpr std::int32_t kClickGuard = 220;

  // Block derivation: ramp lengths from the step length and the knobs.
  void DeriveLengths(float stepSamples, float attack, float decay) {
    DecayLength = static_cast<float>(2.0 * stepSamples * decay + ClickGuard);
    AttackLength = static_cast<float>(static_cast<double>(attack) * stepSamples + ClickGuard);
    lengths_ = MakePair(DecayLength, AttackLength);
    // A ramp that shrinks below what it still has to run (a shorter decay
    // turned in mid-ramp, a lower sample rate) continues from its full
    // length: a count above the length would lift the level above 1, and the
    // attack's depth (1 - level) would feed that back until it overflowed.
    counts_ = AtMostEach(counts_, lengths_);
  }

  // Entering a new step: stepOn restarts both ramps; the attack always starts
  // from the level of the sample before.
  void StepChange(bool stepOn, bool tied) {
    if (stepOn) counts_ = lengths_;
    TieActive = tied;
    // The decay stands still on a tied step.
    steps_ = MakePair(tied ? 0.0 : 1.0, 1.0);
    AttackDepth = static_cast<float>(1.0 - GateLevel);
  }

  void LevelTick() {
    const Pair parts = counts_ / lengths_;
    GateLevel = static_cast<float>(parts[0] - parts[1] * AttackDepth);
  }

  // After the output: both ramps move on by one sample, and stop at 0.
  void Countdown() { counts_ = AtLeastZero(counts_ - steps_); }

  float DecayCount() const { return static_cast<float>(counts_[0]); }
  float AttackCount() const { return static_cast<float>(counts_[1]); }

  std::int32_t ClickGuard = kClickGuard;
  float AttackLength = static_cast<float>(kClickGuard);
  float DecayLength = 0.0f;
  float AttackDepth = 0.0f;
  float GateLevel = 0.0f;
  bool TieActive = false;

 private:
  // "If the count is not greater than the length... " per lane.
  static Pair AtMostEach(Pair x, Pair limit) {
    return reinterpret_cast<Pair>(_mm_min_pd(reinterpret_cast<__m128d>(limit), reinterpret_cast<__m128d>(x)));
  }
  // "If the count is not greater than 0, it becomes 0."
  static Pair AtLeastZero(Pair x) {
    return reinterpret_cast<Pair>(_mm_max_pd(_mm_setzero_pd(), reinterpret_cast<__m128d>(x)));
  }

  Pair lengths_ = MakePair(0.0, kClickGuard);
  // DecayCount starts at the click guard, AttackCount at 0.
  Pair counts_ = MakePair(kClickGuard, 0.0);
  Pair steps_ = MakePair(1.0, 1.0);
};

}  // namespace engine
