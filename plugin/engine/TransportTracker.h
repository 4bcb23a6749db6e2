#pragma once

#include <cmath>
#include <cstdint>

#include "plugin/engine/Rounding.h"
#include "plugin/engine/TimeRecord.h"

namespace engine {

// Turns the host's time information into bar and step lengths once per block,
// and those into the position within the bar, the shuffle shift and the
// current step for every sample. A bar is always four beats.
//
// While the host plays, the position runs on a clock of its own that
// advances exactly as the host's song position does (frames x tempo / (60 x
// rate)). Hosts round or jitter the position they report; a block whose
// position agrees with the clock within the tolerance continues it, so steps
// neither drift from the host's grid nor move backwards, and the clock learns
// the host's rounding. A larger disagreement is a jump: the clock restarts
// at the host's position.
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
  void DeriveLengths(const TimeRecord& time, double sampleRate);
  // Block derivation, second part: the transport state, where the block
  // starts and the step reset at a start or jump. frames is the number of
  // samples this block will run; shuffle is the block's "Gate Shuffle".
  void DeriveTransport(const TimeRecord& time, std::int32_t frames, float shuffle);

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
  bool Playing = false;
  bool TransportChanged = false;
  double BarPosition = 0.0;
  double ShuffleShift = 0.0;
  float ShiftedPosition = 0.0f;
  std::int32_t CurrentStep = 0;
  std::int32_t PreviousStep = 0;

 private:
  // How far a block's position may stray from the clock and still count as
  // its continuation (hosts round the position, e.g. to 1/1920 beat, or
  // jitter it by a few samples): 1/480 beat, at least 32 samples.
  double ContinuationTolerance() const;
  // How a bar position reads after the current step: the position the
  // shuffle pulls it back to and the step found there.
  struct Reading {
    float Shifted;
    std::int32_t Step;
  };
  // ShuffleShift must be the block's.
  Reading Read(double position, float shuffle) const;
  std::int32_t StepOfShifted(float shifted) const;
  // Restarts the clock at a bar position.
  void Anchor(double position, double slope);
  // Learns from the host's disagreement with the clock (in beats) how it
  // rounds, and moves the clock's correction within what all its reports
  // allow.
  void LearnHostRounding(double drift, double clock, float shuffle);

  double validTempo_ = kStartTempo;
  bool hostPositionOk_ = false;
  // The host's position within the bar, in beats (double: the block's
  // float fraction of a beat is too coarse to compare with the clock).
  double hostBeats_ = 0.0;
  // The host's position lies on a grid of 1/1920 beat (a host that rounds
  // to ticks).
  bool hostOnTicks_ = false;
  // The bar length in samples before rounding: the host's own.
  double exactBar_ = 0.0;

  // Bar position of sample 0 of this block while playing, and how far one
  // sample moves it (BarSamples / the exact bar: 1 for a whole-sample bar).
  double blockStart_ = 0.0;
  double slope_ = 1.0;

  // The clock: a bar position (in anchorBar_'s units), the samples played
  // since, and the slope they advance it by. Counting whole samples from a
  // fixed point keeps the position independent of how blocks split the take.
  bool wasPlaying_ = false;
  double anchor_ = 0.0;
  std::int64_t sinceAnchor_ = 0;
  double anchorSlope_ = 1.0;
  std::int32_t anchorBar_ = 0;
  // What the clock adds for the host's rounding, in beats, and the range of
  // disagreements (host - clock, beats) seen since the clock was set.
  double correction_ = 0.0;
  double driftLow_ = 0.0, driftHigh_ = 0.0;
  bool ticksSinceAnchor_ = true;
};

// Per sample: inline, it runs once for every frame.
inline std::int32_t TransportTracker::StepOfShifted(float shifted) const {
  const std::int64_t s = WholePart(static_cast<double>(shifted) / BarSamples * 16.0);
  // Sixteen steps to the bar whatever the position: s is 0..16 for any
  // position within the bar (16 is the next bar's first step); the
  // remainder (two's complement, so never negative) keeps it there otherwise.
  return static_cast<std::int32_t>(s & 15) + 1;
}

inline TransportTracker::Reading TransportTracker::Read(double position, float shuffle) const {
  if (shuffle > 0.0f && (CurrentStep & 1) != 0 &&
      position > static_cast<double>(CurrentStep - 1) * static_cast<double>(StepSamples) + HalfStep) {
    const float shifted = static_cast<float>(position - ShuffleShift);
    const std::int32_t step = StepOfShifted(shifted);
    // The step length is rounded, so the middle of a late odd step is
    // reckoned a little early, and a large shift can pull the position back
    // into the step before: the odd step goes on instead of playing twice.
    return {shifted, step == CurrentStep - 1 ? CurrentStep : step};
  }
  // Not pulled back (or no shift): the position as it is.
  const float shifted = static_cast<float>(position);
  return {shifted, StepOfShifted(shifted)};
}

inline void TransportTracker::PositionTick(std::int32_t k, float shuffle) {
  const double bar = BarSamples;
  if (Playing) {
    BarPosition = blockStart_ + static_cast<double>(k) * slope_;
    // A block may run past the bar line (or be longer than a bar): the
    // position stays within the bar so the step and the shuffle read it as
    // the next bar's.
    if (BarPosition >= bar) BarPosition = std::fmod(BarPosition, bar);
  } else {
    BarPosition = BarPosition + 1.0;
    if (BarPosition > bar) BarPosition = 0.0;
  }
  const Reading reading = Read(BarPosition, shuffle);
  ShiftedPosition = reading.Shifted;
  CurrentStep = reading.Step;
}

}  // namespace engine
