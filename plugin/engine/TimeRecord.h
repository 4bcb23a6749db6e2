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
  // The host's time signature, where it sends one: beatsPerBar notes of
  // 1/beatUnit each. The engine's bar is four quarter notes whatever the
  // host's meter; this is kept for following it.
  double beatsPerBar = 4.0;
  double beatUnit = 4.0;
  bool meterValid = false;
};

}  // namespace engine
