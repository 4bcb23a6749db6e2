#pragma once

#include <cstdint>

namespace engine {

// The gate's envelope: on entering a step that is on, a linear attack and a
// linear decay restart; a tie holds the decay for its step. The level is not
// clamped.
class GateSequencer {
 public:
  // 0.005 s at the 44100 Hz an effect starts with, rounded half to even
  // (220.5 -> 220). Fixed at construction: it stays 220 at every rate.
  static constexpr std::int32_t kClickGuard = 220;

  // Block derivation: ramp lengths from the step length and the knobs.
  void DeriveLengths(float stepSamples, float attack, float decay) {
    DecayLength = static_cast<float>(2.0 * stepSamples * decay + ClickGuard);
    AttackLength = static_cast<float>(static_cast<double>(attack) * stepSamples + ClickGuard);
    // A ramp that shrinks below what it still has to run (a shorter decay
    // turned in mid-ramp, a lower sample rate) continues from its full
    // length: a count above the length would lift the level above 1, and the
    // attack's depth (1 - level) would feed that back until it overflowed.
    if (DecayCount > DecayLength) DecayCount = DecayLength;
    if (AttackCount > AttackLength) AttackCount = AttackLength;
  }

  // Entering a new step: stepOn restarts both ramps; the attack always starts
  // from the level of the sample before.
  void StepChange(bool stepOn, bool tied) {
    if (stepOn) {
      DecayCount = DecayLength;
      AttackCount = AttackLength;
    }
    TieActive = tied;
    AttackDepth = static_cast<float>(1.0 - GateLevel);
  }

  void LevelTick() {
    GateLevel = static_cast<float>(static_cast<double>(DecayCount) / DecayLength -
                                   static_cast<double>(AttackCount) / AttackLength * AttackDepth);
  }

  // After the output: both ramps move on by one sample (the decay stands
  // still on a tied step).
  void Countdown() {
    if (!TieActive) DecayCount = static_cast<float>(DecayCount - 1.0);
    if (!(DecayCount > 0.0f)) DecayCount = 0.0f;
    AttackCount = static_cast<float>(AttackCount - 1.0);
    if (!(AttackCount > 0.0f)) AttackCount = 0.0f;
  }

  std::int32_t ClickGuard = kClickGuard;
  float AttackLength = static_cast<float>(kClickGuard);
  float DecayLength = 0.0f;
  float AttackCount = 0.0f;
  float DecayCount = static_cast<float>(kClickGuard);
  float AttackDepth = 0.0f;
  float GateLevel = 0.0f;
  bool TieActive = false;
};

}  // namespace engine
