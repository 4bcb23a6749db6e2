#pragma once

// Time records for driving the engine directly, as a host's wrapper would
// make them.

#include "plugin/engine/TimeRecord.h"

namespace enginetest {

struct TimeState {
  bool playing = true;
  bool changed = false;
  bool beatsValid = true;
  bool tempoValid = true;
};
inline constexpr TimeState kPlaying{};
inline constexpr TimeState kStarting{true, true};
inline constexpr TimeState kStopped{false};

inline engine::TimeRecord Time(double beats, double tempo, TimeState state = kPlaying,
                               double samplePosition = 0.0) {
  engine::TimeRecord t;
  t.Beats = beats;
  t.SamplePosition = samplePosition;
  t.Tempo = tempo;
  t.BeatsValid = state.beatsValid;
  t.TempoValid = state.tempoValid;
  t.Playing = state.playing;
  t.TransportChanged = state.changed;
  return t;
}

}  // namespace enginetest
