#include "tests/lv2/Reference.h"

#include <algorithm>

namespace lv2test {

Stereo RenderLv2(const Song& song, const Lv2Playing& playing, const Values& values,
                 const std::string& preset) {
  Stereo out;
  Instance plugin(song.rate);
  if (!plugin.ok()) return out;
  if (!preset.empty() && !plugin.applyPreset(preset)) return out;
  for (const auto& [slot, value] : values) plugin.slots[slot] = value;
  plugin.activate();

  const std::int64_t total = reference::Frames(song);
  out.left.resize(total);
  out.right.resize(total);
  reference::DemoInput input(song);
  std::vector<float> inL, inR;
  for (std::int64_t at = 0, n = 0; at < total; ++n) {
    const std::int64_t end = std::min<std::int64_t>(total, at + playing.blocks[n % playing.blocks.size()]);
    inL.resize(end - at);
    inR.resize(end - at);
    input.read(inL.data(), inR.data(), inL.size());
    if (playing.positionEveryBlock) {
      const Segment& s = reference::SegmentAt(song, at);
      Position p;
      p.frame = at;
      p.speed = s.playing ? 1.0f : 0.0f;
      p.beat = reference::BeatsAt(song, at);
      p.beatUnit = 4;
      p.beatsPerBar = 4.0f;
      p.beatsPerMinute = static_cast<float>(s.tempo);
      plugin.send(0, p);
    }
    for (const Segment& s : song.segments)
      if (s.start >= at && s.start < end && !(playing.positionEveryBlock && s.start == at))
        plugin.send(static_cast<std::uint32_t>(s.start - at),
                    Position::At(s.beats, s.tempo, s.playing, s.start));
    plugin.run(inL.data(), inR.data(), out.left.data() + at, out.right.data() + at,
               static_cast<std::uint32_t>(end - at));
    at = end;
  }
  plugin.deactivate();
  return out;
}

}  // namespace lv2test
