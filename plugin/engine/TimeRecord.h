#pragma once

namespace engine {

// The host's time information for one block, in the engine's own terms. Each
// plug-in format translates its host's record into it.
struct TimeRecord {
  double beats = 0.0;           // song position of the block's first sample, in quarter notes
  double samplePosition = 0.0;  // the same in samples, for hosts without a beat position
  double tempo = 0.0;           // quarter notes per minute
  bool beatsValid = false;
  bool tempoValid = false;
  bool playing = false;
  bool transportChanged = false;  // playback started or the position jumped
};

}  // namespace engine
