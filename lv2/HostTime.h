#pragma once

#include <cstdint>
#include <optional>

#include "plugin/engine/TimeRecord.h"

namespace lv2plugin {

// What one time:Position object said; a field the host left out (or sent as
// something other than a number) is empty.
struct PositionFields {
  std::optional<double> frame{}, speed{}, bar{}, barBeat{}, beat{}, beatUnit{}, beatsPerBar{},
      beatsPerMinute{};
};

// The host's transport as the plug-in knows it between time:Position
// objects. Hosts send one when something changes (start, stop, a jump, a new
// tempo), not every block, so the position runs on from the last one at the
// speed and tempo it gave.
class HostTime {
 public:
  explicit HostTime(double sampleRate) : rate_(sampleRate) {}

  // A time:Position takes effect at the next frame that is processed.
  void Take(const PositionFields& fields);
  // frames processed since.
  void Advance(std::int64_t frames) { since_ += frames; }
  // The engine re-anchors after the plug-in is activated again.
  void Restart() { changed_ = true; }

  // False until the host has sent a time:Position: then the plug-in has no
  // time information, like a VST 2 host that answers none.
  bool known() const { return known_; }
  // The record for a block that starts here. Reading it consumes the
  // "transport changed" of the last position.
  engine::TimeRecord Record();

 private:
  double BeatsNow() const;
  double FrameNow() const;

  double rate_;
  bool known_ = false;
  // The last position: song position in quarter notes, frames, tempo in
  // quarter notes per minute, the speed; and frames played since it.
  double beats_ = 0.0, frame_ = 0.0, tempo_ = 0.0, speed_ = 0.0;
  bool beatsValid_ = false, tempoValid_ = false;
  // The host's meter as last sent (each field runs on until sent again).
  double beatsPerBar_ = 4.0, beatUnit_ = 4.0;
  bool meterValid_ = false;
  std::int64_t since_ = 0;
  bool changed_ = false;
};

}  // namespace lv2plugin
