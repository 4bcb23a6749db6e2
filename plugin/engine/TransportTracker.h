#pragma once

#include <cstdint>

#include "host/AEffectX.h"

namespace engine {

// The host's time information for one block, as the engine takes it.
struct HostTime {
  double samplePos = 0.0;
  double ppqPos = 0.0;
  double tempo = 0.0;
  std::int32_t flags = 0;
};

// Turns the host's time information into bar and step lengths once per block,
// and those into the position within the bar, the shuffle shift and the
// current step for every sample. A bar is always four beats.
class TransportTracker {
 public:
  static constexpr double kStartTempo = 120.0;
  // Bounds that keep the bar length a positive, finite count for any tempo
  // and rate; ordinary tempos never reach them (16 samples is a bar at
  // 660000 BPM at 44.1 kHz, 2^27 one at 0.08 BPM).
  static constexpr std::int32_t kMinBarSamples = 16;
  static constexpr std::int32_t kMaxBarSamples = 1 << 27;

  // Block derivation, first part: tempo, position split into beats, bar and
  // step lengths. sampleRate must be positive and finite.
  void DeriveLengths(const HostTime& time, double sampleRate);
  // Block derivation, second part: the transport flags and the step reset.
  // frames is the number of samples this block will run.
  void DeriveTransport(std::int32_t flags, std::int32_t frames);

  // Per sample, the first step of ProcessSample: bar position, shuffle
  // shift, shifted position and the current step (1..16).
  void PositionTick(std::int32_t k, float shuffle);

  double Tempo = 0.0;
  std::int32_t WholeBeats = 0;
  float BeatFraction = 0.0f;
  std::int32_t BeatsPerBar = 4;
  std::int32_t BeatInBar = 0;
  std::int32_t BarSamples = 0;
  float StepSamples = 0.0f;
  std::int32_t HalfStep = 0;
  std::int32_t Playing = 0;
  std::int32_t TransportChanged = 0;
  double BarPosition = 0.0;
  double ShuffleShift = 0.0;
  float ShiftedPosition = 0.0f;
  std::int32_t CurrentStep = 0;
  std::int32_t PreviousStep = 0;

 private:
  // How far a block's position may stray from where the last block left off
  // and still count as its continuation (hosts round the position, e.g. to
  // 1/1920 beat): 1/480 beat, at least 16 samples.
  double ContinuationTolerance() const;

  double validTempo_ = kStartTempo;
  bool hostPositionOk_ = false;
  // Bar position of sample 0 of this block while playing.
  double blockStart_ = 0.0;
  // Where the previous playing block left off, for the continuation test.
  bool wasPlaying_ = false;
  double lastBlockStart_ = 0.0;
  std::int32_t lastFrames_ = 0;
  std::int32_t lastBarSamples_ = 0;
};

}  // namespace engine
