#pragma once

namespace engine {

// The host's time information for one block, in the engine's own terms. Each
// plug-in format translates its host's record into it.
struct TimeRecord {
  double Beats = 0.0;           // song position of the block's first sample, in quarter notes
  double SamplePosition = 0.0;  // the same in samples, for hosts without a beat position
  double Tempo = 0.0;           // quarter notes per minute
  bool BeatsValid = false;
  bool TempoValid = false;
  bool Playing = false;
  bool TransportChanged = false;  // playback started or the position jumped
  // The host's time signature, where it sends one: BeatsPerBar notes of
  // 1/BeatUnit each. The engine's bar is four quarter notes whatever the
  // host's meter; this is kept for following it.
  double BeatsPerBar = 4.0;
  double BeatUnit = 4.0;
  bool MeterValid = false;
};

}  // namespace engine
