#pragma once

namespace engine {

// The parameter values one block plays with, by name, each 0..1 as the
// effect stores it. Each plug-in format fills it from its own slots once a
// block (FromSlots for the effect's slot numbering).
struct Settings {
  struct Unit {
    float Volume, Enable, Cutoff, Reso, FilterType, DelayTime, Feedback, Pan, LfoCutoff, LfoPan;
  };
  float Step[16], Tie[16];
  float GateEnable, GateAttack, GateDecay, GateShuffle, GateVolume;
  Unit Fd[2];
  float LfoPeriod[2];

  // From the effect's slots 1..61 (slots[1] is "Step1").
  static Settings FromSlots(const float* slots);
  // Every slot at its default.
  static Settings Defaults();
};

}  // namespace engine
