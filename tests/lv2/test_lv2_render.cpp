// The LV2 plug-in in our lilv host against the VST 2 library in hostkit: the
// same demo, parameters and transport give the same output bit for bit,
// however the LV2 host splits its blocks and sends its positions.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include "plugin/PresetText.h"
#include "tests/lv2/Reference.h"
#include "tests/support/PresetFiles.h"
#include "tools/hostkit/PluginHost.h"
#include "tools/render/DemoSignal.h"

namespace lv2test {
namespace {

using parameters::kFirst;
using parameters::kLast;

// What lv2info does not show: the atom port takes time:Position, and the
// units a host may print beside a value.
TEST(Lv2Bundle, HostsSeeTimePositionSupportAndUnits) {
  const World& world = World::Get();
  ASSERT_NE(world.plugin(), nullptr) << world.error;
  LilvWorld* w = world.world();
  LilvNode* position = lilv_new_uri(w, "http://lv2plug.in/ns/ext/time#Position");
  const LilvPort* control = lilv_plugin_get_port_by_index(world.plugin(), lv2plugin::kControl);
  EXPECT_TRUE(lilv_port_supports_event(world.plugin(), control, position));
  lilv_node_free(position);

  LilvNode* unit = lilv_new_uri(w, "http://lv2plug.in/ns/extensions/units#unit");
  const std::map<int, std::string> units = {
      {parameters::kFd1DelayTime, "beat"}, {parameters::kFd2DelayTime, "beat"},
      {parameters::kGateVolume, "coef"},   {parameters::kFd1Volume, "coef"},
      {parameters::kFd2Volume, "coef"},    {parameters::kFd1Feedback, "coef"},
      {parameters::kFd2Feedback, "coef"}};
  for (int slot = kFirst; slot <= kLast; ++slot) {
    const LilvPort* port = lilv_plugin_get_port_by_index(world.plugin(), lv2plugin::portOfSlot(slot));
    LilvNodes* given = lilv_port_get_value(world.plugin(), port, unit);
    const std::string said =
        given != nullptr && lilv_nodes_size(given) == 1 ? lilv_node_as_uri(lilv_nodes_get_first(given)) : "";
    const auto expected = units.find(slot);
    EXPECT_EQ(said,
              expected == units.end() ? "" : "http://lv2plug.in/ns/extensions/units#" + expected->second)
        << parameters::name(slot);
    lilv_nodes_free(given);
  }
  lilv_node_free(unit);
}

struct DemoCase {
  const char* what;
  double rate, tempo, start;
  Lv2Playing playing;
};

// Hosts that send one position when the transport starts (Ardour) or one
// every block (with time:beat), in blocks of every size.
const DemoCase kDemoCases[] = {
    {"120 BPM, 44.1 kHz, 256-frame blocks, one position at the start", 44100.0, 120.0, 0.0, {{256}, false}},
    {"93 BPM, 48 kHz, 512-frame blocks", 48000.0, 93.0, 0.0, {{512}, false}},
    {"140 BPM from beat 8.5, odd blocks with a position in each",
     44100.0,
     140.0,
     8.5,
     {{1, 100, 4096, 37, 999}, true}},
    {"128 BPM, 96 kHz, one long block then single frames", 96000.0, 128.0, 2.0, {{65536, 1, 1, 3000}, false}},
};

TEST(Lv2Render, DemoIsBitIdenticalToTheVst2Build) {
  for (const DemoCase& c : kDemoCases) {
    SCOPED_TRACE(c.what);
    Song song;
    song.rate = c.rate;
    song.segments = {{0, c.start, c.tempo, true}};
    const Stereo vst = RenderVst(song, 256, {});
    const Stereo lv2 = RenderLv2(song, c.playing, {});
    EXPECT_EQ(Difference(vst, lv2), "");
    // A render that did nothing would match too: the gate and echoes sound.
    float peak = 0.0f;
    for (float x : lv2.left) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.1f);
  }
}

struct TransportCase {
  const char* what;
  std::vector<Segment> segments;
  Lv2Playing playing;
};

// Changes in the middle of a block: the LV2 plug-in splits its block at the
// event's frame; the VST 2 host splits its blocks there and sets the
// transport-changed bit.
const TransportCase kTransportCases[] = {
    {"a loop back to the start after two bars, mid-block",
     {{0, 0.0, 120.0, true}, {176400 + 77, 0.0, 120.0, true}, {352800 + 201, 0.0, 120.0, true}},
     {{256}, false}},
    {"stopped for a second, then rolling from bar 2, mid-block",
     {{0, 4.0, 120.0, false}, {44100 + 13, 4.0, 120.0, true}},
     {{512}, false}},
    {"a tempo change at a bar line, mid-block",
     {{0, 0.0, 120.0, true}, {88200, 4.0, 90.0, true}},
     {{256}, false}},
    {"a jump forward by one and a half beats, stop, start again",
     {{0, 0.0, 120.0, true},
      {50000, 5.5, 120.0, true},
      {120000, 9.0, 120.0, false},
      {160000, 9.0, 120.0, true}},
     {{128, 1000}, false}},
};

TEST(Lv2Render, TransportChangesMidBlockMatchTheVst2BuildSplitThere) {
  for (const TransportCase& c : kTransportCases) {
    SCOPED_TRACE(c.what);
    Song song;
    song.segments = c.segments;
    EXPECT_EQ(Difference(RenderVst(song, 256, {}), RenderLv2(song, c.playing, {})), "");
  }
}

// The demo at 120 BPM through the LV2 plug-in in 256-frame blocks, with the
// host's positions sent at their frames.
Stereo RenderWithPositions(const std::vector<std::pair<std::int64_t, Position>>& positions,
                           std::int64_t frames) {
  Stereo out;
  Instance plugin(44100.0);
  if (!plugin.ok()) return out;
  plugin.activate();
  out.left.resize(frames);
  out.right.resize(frames);
  render::Demo demo(44100.0, 120.0);
  std::vector<float> inL(256), inR(256);
  for (std::int64_t at = 0; at < frames; at += 256) {
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(256, frames - at));
    const std::size_t got = demo.read(inL.data(), inR.data(), count);
    std::fill(inL.begin() + static_cast<std::ptrdiff_t>(got), inL.end(), 0.0f);
    std::fill(inR.begin() + static_cast<std::ptrdiff_t>(got), inR.end(), 0.0f);
    for (const auto& [frame, position] : positions)
      if (frame >= at && frame < at + static_cast<std::int64_t>(count))
        plugin.send(static_cast<std::uint32_t>(frame - at), position);
    plugin.run(inL.data(), inR.data(), out.left.data() + at, out.right.data() + at,
               static_cast<std::uint32_t>(count));
  }
  plugin.deactivate();
  return out;
}

// A rolling position at 120 quarter notes a minute, in 4/4.
Position Rolling(double beat, float speed) {
  Position p;
  p.speed = speed;
  p.beat = beat;
  p.beatUnit = 4;
  p.beatsPerBar = 4.0f;
  p.beatsPerMinute = 120.0f;
  return p;
}

TEST(Lv2Render, PositionsInOtherBeatUnitsCountQuarterNotes) {
  // Beat 3 of a 6/8 bar at 240 eighths a minute is a quarter note and a
  // half into the bar at 120 BPM.
  Position eighths;
  eighths.frame = 0;
  eighths.speed = 1.0f;
  eighths.bar = 0;
  eighths.barBeat = 3.0f;
  eighths.beatUnit = 8;
  eighths.beatsPerBar = 6.0f;
  eighths.beatsPerMinute = 240.0f;
  const std::int64_t frames = 2 * 88200;
  const Stereo quarters = RenderWithPositions({{0, Position::At(1.5, 120.0, true, 0)}}, frames);
  EXPECT_EQ(Difference(RenderWithPositions({{0, eighths}}, frames), quarters), "");
  // Both are that moment as the VST 2 build plays it.
  Song song;
  song.frames = frames;
  song.segments = {{0, 1.5, 120.0, true}};
  EXPECT_EQ(Difference(RenderVst(song, 256, {}), quarters), "");
}

TEST(Lv2Render, ThePositionRunsOnAtTheHostsSpeed) {
  const std::int64_t second = 44100, frames = 3 * second;
  // Stopped at beat 0 for a second, then a position that only says the
  // transport rolls: it rolls from beat 0.
  Position rolls;
  rolls.speed = 1.0f;
  EXPECT_EQ(Difference(RenderWithPositions({{0, Rolling(0.0, 0.0f)}, {second, rolls}}, frames),
                       RenderWithPositions({{0, Rolling(0.0, 0.0f)}, {second, Rolling(0.0, 1.0f)}}, frames)),
            "");
  // At half speed the position runs on at half the rate: as from a host
  // that says where it is at every block.
  std::vector<std::pair<std::int64_t, Position>> everyBlock;
  for (std::int64_t at = 0; at < frames; at += 256)
    everyBlock.emplace_back(at, Rolling(static_cast<double>(at) * 0.5 * 120.0 / 60.0 / 44100.0, 0.5f));
  EXPECT_EQ(Difference(RenderWithPositions({{0, Rolling(0.0, 0.5f)}}, frames),
                       RenderWithPositions(everyBlock, frames)),
            "");
}

TEST(Lv2Render, ParametersSetOnPortsMatchTheVst2Build) {
  // Every slot away from its default, through the host's controls.
  Values values;
  for (int slot = kFirst; slot <= kLast; ++slot)
    values.emplace_back(slot,
                        std::fmod(parameters::defaultValue(slot) + 0.37f * static_cast<float>(slot), 1.0f));
  Song song;
  song.rate = 48000.0;
  song.segments = {{0, 0.0, 105.0, true}};
  EXPECT_EQ(Difference(RenderVst(song, 256, values), RenderLv2(song, {{256}, false}, values)), "");
}

std::vector<std::filesystem::path> PresetFiles() {
  return plonktest::PresetFiles(PLONKRIFT_PRESET_DIR);
}

TEST(Lv2Presets, HostsListTheEightProgramsAndEveryPresetFile) {
  std::map<std::string, std::string> listed;
  for (const auto& [uri, label] : Presets()) listed[uri] = label;
  // The VST 2 build's programs, by name, as its host sees them.
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost host;
  AEffect* effect = host.create(library.entry());
  ASSERT_NE(effect, nullptr);
  ASSERT_EQ(effect->numPrograms, 8);
  std::size_t expected = 0;
  for (int p = 0; p < effect->numPrograms; ++p, ++expected) {
    char name[64] = {};
    host.dispatch(effGetProgramNameIndexed, p, 0, name);
    char id[32];
    std::snprintf(id, sizeof id, "#program-%02d", p + 1);
    const std::string uri = std::string(lv2plugin::kUri) + id;
    ASSERT_TRUE(listed.count(uri)) << uri;
    EXPECT_EQ(listed[uri], name);
  }
  host.close();
  for (const auto& file : PresetFiles()) {
    EXPECT_TRUE(listed.count(std::string(lv2plugin::kUri) + "#preset-" + file.stem().string())) << file;
    ++expected;
  }
  EXPECT_EQ(listed.size(), expected);
}

TEST(Lv2Presets, ProgramsHoldTheVst2ProgramsValues) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost host;
  ASSERT_NE(host.create(library.entry()), nullptr);
  for (int p = 0; p < 8; ++p) {
    SCOPED_TRACE(p);
    host.dispatch(effSetProgram, 0, p);
    Instance plugin(44100.0);
    for (int slot = kFirst; slot <= kLast; ++slot) plugin.slots[slot] = -1.0f;
    char id[32];
    std::snprintf(id, sizeof id, "#program-%02d", p + 1);
    ASSERT_TRUE(plugin.applyPreset(std::string(lv2plugin::kUri) + id));
    for (int slot = kFirst; slot <= kLast; ++slot)
      EXPECT_EQ(plugin.slots[slot], host.getParameter(slot)) << parameters::name(slot);
  }
  host.close();
}

TEST(Lv2Presets, EachPresetFileRendersAsPlonkriftRenderPlaysIt) {
  const auto files = PresetFiles();
  ASSERT_FALSE(files.empty());
  const parameters::ParameterNames names;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    Values values;
    std::string error;
    ASSERT_TRUE(parameters::ReadPreset(names, file.string(), values, error)) << error;
    Song song;
    song.segments = {{0, 0.0, 120.0, true}};
    const Stereo vst = RenderVst(song, 256, values);
    // The LV2 instance gets the preset alone, from the bundle.
    const Stereo lv2 =
        RenderLv2(song, {{256}, false}, {}, std::string(lv2plugin::kUri) + "#preset-" + file.stem().string());
    EXPECT_EQ(Difference(vst, lv2), "");
  }
}

}  // namespace
}  // namespace lv2test
