#include "plugin/engine/TransportTracker.h"

#include <cmath>

#include "plugin/engine/Rounding.h"

namespace engine {

void TransportTracker::DeriveLengths(const HostTime& time, double sampleRate) {
  // A tempo the host does not vouch for, or one that is no tempo at all,
  // leaves the last valid one in force.
  if ((time.flags & kVstTempoValid) != 0 && std::isfinite(time.tempo) && time.tempo > 0.0) validTempo_ = time.tempo;
  Tempo = validTempo_;

  double ppq = time.ppqPos;
  // Without a song position the host still counts samples.
  if ((time.flags & kVstPpqPosValid) == 0) ppq = time.samplePos / sampleRate * Tempo / 60.0;
  hostPositionOk_ = std::isfinite(ppq);
  if (!hostPositionOk_) ppq = 0.0;
  // Only the position within the bar matters. Reducing by whole bars first
  // (exactly: fmod is exact) keeps the beat numbers in range for negative
  // and huge positions and changes nothing for the others, since WholePart
  // commutes with subtracting a multiple of four.
  ppq = std::fmod(ppq, 4.0);
  if (ppq < 0.0) ppq += 4.0;
  if (ppq >= 4.0) ppq -= 4.0;

  WholeBeats = static_cast<std::int32_t>(WholePart(ppq));
  BeatFraction = static_cast<float>(ppq - WholeBeats);
  BeatInBar = WholeBeats % BeatsPerBar;

  const double bar = 240.0 / Tempo * sampleRate;
  if (bar >= kMaxBarSamples)
    BarSamples = kMaxBarSamples;
  else if (bar >= kMinBarSamples)
    BarSamples = static_cast<std::int32_t>(Nearest(bar));
  else
    BarSamples = kMinBarSamples;
  StepSamples = static_cast<float>(Nearest(BarSamples / 16.0));
  HalfStep = static_cast<std::int32_t>(WholePart(static_cast<double>(StepSamples) * 0.5));
}

double TransportTracker::ContinuationTolerance() const {
  const double tolerance = BarSamples * 0.25 / 480.0;
  return tolerance > 16.0 ? tolerance : 16.0;
}

void TransportTracker::DeriveTransport(std::int32_t flags, std::int32_t frames) {
  Playing = flags & kVstTransportPlaying;
  TransportChanged = flags & kVstTransportChanged;

  const double bar = BarSamples;
  blockStart_ = (static_cast<double>(BeatInBar) + static_cast<double>(BeatFraction)) * bar * 0.25;

  bool continuing = false;
  if (Playing == 2 && wasPlaying_) {
    // Where the last block left off, in this block's bar length.
    double expected = lastBlockStart_ + lastFrames_;
    if (lastBarSamples_ != BarSamples) expected = expected / lastBarSamples_ * bar;
    expected = std::fmod(expected, bar);
    double drift = blockStart_ - expected;
    if (drift > bar * 0.5) drift -= bar;
    if (drift < -bar * 0.5) drift += bar;
    if (!hostPositionOk_ || std::fabs(drift) <= ContinuationTolerance()) {
      // Within the host's rounding of the position: keep counting samples
      // so the steps never move backwards and nothing retriggers.
      continuing = true;
      blockStart_ = expected;
    }
  }
  // Some hosts set the transport-changed bit on every block: it restarts the
  // step only when playback really starts or the position really jumps.
  if (TransportChanged == 1 && Playing == 2 && !continuing) {
    CurrentStep = 1;
    PreviousStep = 1;
  }

  wasPlaying_ = Playing == 2;
  lastBlockStart_ = blockStart_;
  lastFrames_ = frames > 0 ? frames : 0;
  lastBarSamples_ = BarSamples;
}

void TransportTracker::PositionTick(std::int32_t k, float shuffle) {
  const double bar = BarSamples;
  if (Playing == 2) {
    BarPosition = blockStart_ + k;
    // A block may run past the bar line (or be longer than a bar): the
    // position stays within the bar so the step and the shuffle read it as
    // the next bar's.
    if (BarPosition >= bar) BarPosition = std::fmod(BarPosition, bar);
  } else {
    BarPosition = BarPosition + 1.0;
    if (BarPosition > bar) BarPosition = 0.0;
  }

  if (shuffle > 0.0f) {
    ShuffleShift = static_cast<double>(HalfStep) * static_cast<double>(shuffle);
    if ((CurrentStep & 1) != 0 &&
        BarPosition > static_cast<double>(CurrentStep - 1) * static_cast<double>(StepSamples) + HalfStep)
      ShiftedPosition = static_cast<float>(BarPosition - ShuffleShift);
    else
      ShiftedPosition = static_cast<float>(BarPosition);
  } else {
    // No shift: pulled back or not, the position is the same.
    ShuffleShift = 0.0;
    ShiftedPosition = static_cast<float>(BarPosition);
  }

  const std::int64_t s = WholePart(static_cast<double>(ShiftedPosition) / bar * 16.0);
  // Sixteen steps to the bar whatever the position: s is 0..16 for any
  // position within the bar (16 is the next bar's first step); the
  // remainder (two's complement, so never negative) keeps it there otherwise.
  CurrentStep = static_cast<std::int32_t>(s & 15) + 1;
}

}  // namespace engine
