#include "tests/vst3/Vst3Render.h"

#include <algorithm>
#include <cmath>

namespace vst3test {

namespace {

// The host's sample position where segment index starts: on from the
// segment before where the song position runs on (a tempo change), else
// the new position at the segment's tempo (a jump, a start).
std::int64_t SegmentSamples(const Song& song, std::size_t index) {
  const Segment& s = song.segments[index];
  if (index > 0) {
    const Segment& before = song.segments[index - 1];
    const double reached = before.playing ? before.beats + static_cast<double>(s.start - before.start) /
                                                               song.rate * before.tempo / 60.0
                                          : before.beats;
    if (std::fabs(reached - s.beats) < 1e-9)
      return SegmentSamples(song, index - 1) + (before.playing ? s.start - before.start : 0);
  }
  return std::llround(s.beats * 60.0 / s.tempo * song.rate);
}

}  // namespace

hostkit::Vst3Module& Module() {
  static hostkit::Vst3Module module(PLONKRIFT_VST3_BUNDLE);
  return module;
}

std::unique_ptr<hostkit::Vst3Plugin> NewPlugin() {
  const hostkit::Vst3ClassInfo* effect = Module().audioEffect();
  return std::make_unique<hostkit::Vst3Plugin>(Module().factory(),
                                               effect != nullptr ? effect->cid : vst3::Uid{});
}

ProgramParameter FindProgramParameter(hostkit::Vst3Plugin& plugin) {
  ProgramParameter program;
  for (const vst3::ParameterInfo& info : plugin.parameters())
    if ((info.flags & vst3::ParameterInfo::kIsProgramChange) != 0) {
      program.id = info.id;
      program.entries = info.stepCount + 1;
    }
  return program;
}

vst3::ProcessContext ContextAt(const Song& song, std::int64_t at) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < song.segments.size(); ++i)
    if (song.segments[i].start <= at) index = i;
  const Segment& s = song.segments[index];
  const std::int64_t samples = SegmentSamples(song, index) + (s.playing ? at - s.start : 0);
  return hostkit::Vst3SongContext(song.rate, samples, reference::BeatsAt(song, at), s.tempo, s.playing);
}

Stereo Play(hostkit::Vst3Plugin& plugin, const Song& song, const Playing& playing, const Values& values,
            int program) {
  Stereo out;
  if (!plugin.ok()) return out;
  const ProgramParameter programs = FindProgramParameter(plugin);
  plugin.expect(programs.entries > 1, "the controller has no program-change parameter");
  const std::int32_t most = *std::max_element(playing.blocks.begin(), playing.blocks.end());
  if (playing.setUp && !plugin.setup(song.rate, most)) return out;

  hostkit::Vst3ParameterChanges changes;
  if (playing.setBy == Playing::SetBy::Controller) {
    vst3::IEditController* controller = plugin.controller();
    if (program >= 0)
      plugin.expect(controller->setParamNormalized(programs.id, programs.valueOf(program)) == vst3::kResultOk,
                    "setParamNormalized(program) refused");
    for (const auto& [slot, value] : values)
      plugin.expect(
          controller->setParamNormalized(static_cast<vst3::ParamID>(slot), value) == vst3::kResultOk,
          "setParamNormalized refused");
  } else {
    if (program >= 0) changes.add(programs.id, 0, programs.valueOf(program));
    for (const auto& [slot, value] : values) changes.add(static_cast<vst3::ParamID>(slot), 0, value);
  }
  if (!plugin.start()) return out;

  const std::int64_t total = reference::Frames(song);
  out.left.resize(total);
  out.right.resize(total);
  reference::DemoInput input(song);
  std::vector<float> inL(most), inR(most);
  auto change = song.changes.begin();
  for (std::int64_t at = 0, n = 0; at < total; ++n) {
    const std::int64_t end =
        std::min<std::int64_t>(at + playing.blocks[static_cast<std::size_t>(n) % playing.blocks.size()],
                               reference::NextStart(song, at, total));
    const auto count = static_cast<std::int32_t>(end - at);
    input.read(inL.data(), inR.data(), static_cast<std::size_t>(count));
    for (; change != song.changes.end() && change->frame < end; ++change) {
      const auto offset = static_cast<vst3::int32>(std::max<std::int64_t>(0, change->frame - at));
      if (change->slot == kProgram)
        changes.add(programs.id, offset, programs.valueOf(static_cast<int>(change->value)));
      else
        changes.add(static_cast<vst3::ParamID>(change->slot), offset, change->value);
    }
    vst3::ProcessContext context = ContextAt(song, at);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {out.left.data() + at, out.right.data() + at};
    if (plugin.process(inputs, outputs, count, &context, changes.empty() ? nullptr : &changes) !=
        vst3::kResultOk)
      return Stereo{};
    plugin.expect(changes.queuesReleased() && changes.references() == 1,
                  "process kept a reference to the parameter changes");
    changes.clear();
    at = end;
  }
  plugin.stop();
  return out;
}

Stereo RenderVst3(const Song& song, const Playing& playing, const Values& values, int program,
                  std::string& faults) {
  const auto plugin = NewPlugin();
  Stereo out = Play(*plugin, song, playing, values, program);
  plugin->close();
  faults = plugin->faultText();
  return out;
}

}  // namespace vst3test
