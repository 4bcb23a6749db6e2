#include "lv2/HostTime.h"

#include <cmath>

namespace lv2plugin {

namespace {

bool Finite(const std::optional<double>& x) {
  return x && std::isfinite(*x);
}

}  // namespace

double HostTime::BeatsNow() const {
  if (!tempoValid_) return beats_;
  // Multiplying out from the position (rather than adding block by block)
  // keeps the same rounding however the host splits its blocks.
  return beats_ + static_cast<double>(since_) * speed_ * tempo_ / 60.0 / rate_;
}

double HostTime::FrameNow() const {
  return frame_ + static_cast<double>(since_) * speed_;
}

void HostTime::Take(const PositionFields& f) {
  const double predictedBeats = BeatsNow(), predictedFrame = FrameNow();
  const bool wasPlaying = known_ && speed_ != 0.0;

  // Beats and tempo count the host's beat unit (a quarter note in 4/4); the
  // engine counts quarter notes.
  const double unit = Finite(f.beatUnit) && *f.beatUnit > 0.0 ? *f.beatUnit : 4.0;
  const double toQuarters = 4.0 / unit;
  const double perBar = Finite(f.beatsPerBar) && *f.beatsPerBar > 0.0 ? *f.beatsPerBar : 4.0;
  if (f.beat) {
    beats_ = *f.beat * toQuarters;
    beatsValid_ = true;
  } else if (f.bar && f.barBeat) {
    beats_ = (*f.bar * perBar + *f.barBeat) * toQuarters;
    beatsValid_ = true;
  } else if (f.bar || f.barBeat) {
    beatsValid_ = false;
  }
  if (f.beatsPerMinute) {
    tempo_ = *f.beatsPerMinute * toQuarters;
    tempoValid_ = std::isfinite(tempo_) && tempo_ > 0.0;
  }
  // The meter itself is only recorded: the engine's bar is four quarter
  // notes whatever the host's meter.
  if (Finite(f.beatsPerBar) && *f.beatsPerBar > 0.0) {
    beatsPerBar_ = *f.beatsPerBar;
    meterValid_ = true;
  }
  if (Finite(f.beatUnit) && *f.beatUnit > 0.0) {
    beatUnit_ = *f.beatUnit;
    meterValid_ = true;
  }
  if (f.frame) frame_ = *f.frame;
  if (f.speed) speed_ = std::isfinite(*f.speed) ? *f.speed : 0.0;
  // Fields the host did not repeat run on from where they were.
  if (!f.beat && !(f.bar && f.barBeat) && beatsValid_) beats_ = predictedBeats;
  if (!f.frame) frame_ = predictedFrame;
  since_ = 0;

  // A start, a stop or a jump of more than a frame is a transport change.
  const bool playing = speed_ != 0.0;
  const double frameBeats = tempoValid_ ? tempo_ / 60.0 / rate_ : 0.0;
  const bool jumped = beatsValid_ ? !(std::fabs(beats_ - predictedBeats) <= frameBeats)
                                  : !(std::fabs(frame_ - predictedFrame) <= 1.0);
  if (!known_ || playing != wasPlaying || jumped) changed_ = true;
  known_ = true;
}

engine::TimeRecord HostTime::Record() {
  engine::TimeRecord time;
  time.Beats = BeatsNow();
  time.SamplePosition = FrameNow();
  time.Tempo = tempo_;
  time.BeatsValid = beatsValid_;
  time.TempoValid = tempoValid_;
  time.Playing = speed_ != 0.0;
  time.TransportChanged = changed_;
  time.BeatsPerBar = beatsPerBar_;
  time.BeatUnit = beatUnit_;
  time.MeterValid = meterValid_;
  changed_ = false;
  return time;
}

}  // namespace lv2plugin
