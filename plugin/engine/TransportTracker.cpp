#include "plugin/engine/TransportTracker.h"

#include <algorithm>
#include <cmath>

#include "plugin/engine/Rounding.h"

namespace engine {

namespace {

// x within 0..bar (a bar position), for any finite x.
double InBar(double x, double bar) {
  x = std::fmod(x, bar);
  if (x < 0.0) x += bar;
  return x < bar ? x : 0.0;
}

// x within -bar/2..bar/2: the shorter way round the bar.
double Nearer(double x, double bar) {
  x = std::fmod(x, bar);
  if (x > bar * 0.5) x -= bar;
  if (x < -bar * 0.5) x += bar;
  return x;
}

// A host that rounds its position to ticks is off by at most half a tick;
// one whose position is not on ticks may be off by this many samples.
constexpr double kTicksPerBeat = 1920.0;
constexpr double kHalfTickSlack = 1e-9;
constexpr double kJitterSamples = 16.0;

}  // namespace

void TransportTracker::DeriveLengths(const TimeRecord& time, double sampleRate) {
  // A tempo the host does not vouch for, or one that is no tempo at all,
  // leaves the last valid one in force.
  if (time.TempoValid && std::isfinite(time.Tempo) && time.Tempo > 0.0) validTempo_ = time.Tempo;
  Tempo = validTempo_;

  double ppq = time.Beats;
  const bool songPosition = time.BeatsValid;
  // Without a song position the host still counts samples.
  if (!songPosition) ppq = time.SamplePosition / sampleRate * Tempo / 60.0;
  hostPositionOk_ = std::isfinite(ppq);
  if (!hostPositionOk_) ppq = 0.0;
  // Only the position within the bar matters. Reducing by whole bars first
  // (exactly: fmod is exact) keeps the beat numbers in range for negative
  // and huge positions and changes nothing for the others, since WholePart
  // commutes with subtracting a multiple of four.
  ppq = std::fmod(ppq, 4.0);
  if (ppq < 0.0) ppq += 4.0;
  if (ppq >= 4.0) ppq -= 4.0;
  hostBeats_ = ppq;
  const double ticks = ppq * kTicksPerBeat;
  hostOnTicks_ = songPosition && std::fabs(ticks - std::nearbyint(ticks)) <= 1e-6;

  WholeBeats = static_cast<std::int32_t>(WholePart(ppq));
  BeatFraction = static_cast<float>(ppq - WholeBeats);
  BeatInBar = WholeBeats % BeatsPerBar;

  exactBar_ = 240.0 / Tempo * sampleRate;
  if (exactBar_ >= kMaxBarSamples)
    BarSamples = kMaxBarSamples;
  else if (exactBar_ >= kMinBarSamples)
    BarSamples = static_cast<std::int32_t>(Nearest(exactBar_));
  else
    BarSamples = kMinBarSamples;
  StepSamples = static_cast<float>(Nearest(BarSamples / 16.0));
  HalfStep = static_cast<std::int32_t>(WholePart(static_cast<double>(StepSamples) * 0.5));
}

double TransportTracker::ContinuationTolerance() const {
  const double tolerance = BarSamples * 0.25 / 480.0;
  return tolerance > 32.0 ? tolerance : 32.0;
}

void TransportTracker::Anchor(double position, double slope) {
  anchor_ = position;
  sinceAnchor_ = 0;
  anchorSlope_ = slope;
  anchorBar_ = BarSamples;
  correction_ = 0.0;
  // The host's own report at the clock's start, measured in double (the
  // clock starts from the position as a float fraction of a beat).
  driftLow_ = driftHigh_ = Nearer(hostBeats_ - position / (BarSamples * 0.25), 4.0);
  ticksSinceAnchor_ = hostOnTicks_;
}

void TransportTracker::LearnHostRounding(double drift, double clock, float shuffle) {
  driftLow_ = std::min(driftLow_, drift);
  driftHigh_ = std::max(driftHigh_, drift);
  ticksSinceAnchor_ = ticksSinceAnchor_ && hostOnTicks_;
  const double quarter = BarSamples * 0.25;
  // Every report lies within the bound of the true position, so the
  // clock's error lies within each report's bound; the correction moves
  // only as far as all of them demand. An exact host never moves it.
  const double bound =
      ticksSinceAnchor_ ? 0.5 / kTicksPerBeat + kHalfTickSlack : kJitterSamples * slope_ / quarter;
  const double low = driftHigh_ - bound, high = driftLow_ + bound;
  // Within what they allow the correction stays; once it is ruled out it
  // moves to the middle of what is left (the middle of the reports, if
  // they spread wider than the bound).
  double target = correction_;
  if (low > high)
    target = (driftLow_ + driftHigh_) * 0.5;
  else if (correction_ < low || correction_ > high)
    target = (low + high) * 0.5;
  if (target == correction_) return;
  // Moving back across a step boundary would play the step again.
  const double bar = BarSamples;
  if (target < correction_ && Read(InBar(clock + target * quarter, bar), shuffle).Step !=
                                  Read(InBar(clock + correction_ * quarter, bar), shuffle).Step)
    return;
  correction_ = target;
}

void TransportTracker::DeriveTransport(const TimeRecord& time, std::int32_t frames, float shuffle) {
  Playing = time.Playing;
  TransportChanged = time.TransportChanged;
  ShuffleShift = shuffle > 0.0f ? static_cast<double>(HalfStep) * static_cast<double>(shuffle) : 0.0;

  const double bar = BarSamples;
  const double quarter = bar * 0.25;
  const double host = (static_cast<double>(BeatInBar) + static_cast<double>(BeatFraction)) * quarter;
  // One sample moves the host's position by tempo / (60 x rate) beats: in
  // bar positions, BarSamples over the bar's exact length.
  slope_ = bar / exactBar_;
  if (!(slope_ > 0.0 && slope_ < 1e300)) slope_ = 1.0;

  bool continuing = false;
  double start = host;
  if (Playing && wasPlaying_) {
    // Where the clock stands, in this block's bar length.
    double clock = anchor_ + static_cast<double>(sinceAnchor_) * anchorSlope_;
    if (anchorBar_ != BarSamples) clock = clock / anchorBar_ * bar;
    clock = InBar(clock, bar);
    // From here on it runs at this block's tempo and rate.
    if (anchorBar_ != BarSamples || anchorSlope_ != slope_) {
      anchor_ = clock;
      sinceAnchor_ = 0;
      anchorSlope_ = slope_;
      anchorBar_ = BarSamples;
    }
    const double drift = Nearer(hostBeats_ * quarter - clock, bar);
    if (!hostPositionOk_ || std::fabs(drift - correction_ * quarter) <= ContinuationTolerance()) {
      continuing = true;
      if (hostPositionOk_) LearnHostRounding(drift / quarter, clock, shuffle);
      start = InBar(clock + correction_ * quarter, bar);
    }
  }
  if (!continuing) Anchor(host, slope_);
  blockStart_ = start;

  // Playback starts, or the host jumps: the step under the play position
  // begins as if it had just been reached (it triggers if it is on). A
  // host that sets the changed bit on every block only jumps when the
  // position does.
  if (Playing && !continuing && (TransportChanged || !wasPlaying_)) {
    // The step is read after an odd step, so a position that the shuffle
    // still counts to the odd step before reads as that step.
    const std::int32_t step = StepOfShifted(static_cast<float>(start));
    CurrentStep = (step & 1) != 0 ? step : step - 1;
    PreviousStep = 0;
  }

  wasPlaying_ = Playing;
  sinceAnchor_ += frames > 0 ? frames : 0;
}

}  // namespace engine
