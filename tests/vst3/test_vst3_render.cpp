// The VST3 bundle in our VST3 host against the VST 2 library in hostkit:
// the same demo, transport, programs and values give the same output bit for
// bit, however the VST3 host cuts its blocks and wherever in a block it
// changes a value.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "plugin/Parameters.h"
#include "plugin/PresetText.h"
#include "tests/support/PresetFiles.h"
#include "tests/vst3/Vst3Render.h"

namespace vst3test {
namespace {

using parameters::kFirst;
using parameters::kLast;

float Peak(const Stereo& s) {
  float peak = 0.0f;
  for (float x : s.left) peak = std::max(peak, std::fabs(x));
  for (float x : s.right) peak = std::max(peak, std::fabs(x));
  return peak;
}

struct DemoCase {
  const char* what;
  double rate, tempo, start;
  std::vector<std::int32_t> blocks;
  std::int64_t frames = 0;  // 0: the whole demo
};

const DemoCase kDemoCases[] = {
    {"120 BPM, 44.1 kHz, 256-frame blocks", 44100.0, 120.0, 0.0, {256}},
    {"93 BPM, 48 kHz, 512-frame blocks", 48000.0, 93.0, 0.0, {512}},
    {"140 BPM from beat 8.5 (mid-bar), odd blocks", 44100.0, 140.0, 8.5, {1, 100, 4096, 37, 999}},
    {"128 BPM, 96 kHz, from beat 2, one long block then single frames",
     96000.0,
     128.0,
     2.0,
     {65536, 1, 1, 3000}},
    {"75 BPM, 48 kHz, from bar 3 and a sixteenth, one frame a block for two bars",
     48000.0,
     75.0,
     8.25,
     {1},
     2 * 153600},
};

TEST(Vst3Render, DemoIsBitIdenticalToTheVst2Build) {
  for (const DemoCase& c : kDemoCases) {
    SCOPED_TRACE(c.what);
    Song song;
    song.rate = c.rate;
    song.frames = c.frames;
    song.segments = {{0, c.start, c.tempo, true}};
    std::string faults;
    const Stereo vst3 = RenderVst3(song, {c.blocks}, {}, -1, faults);
    EXPECT_EQ(faults, "");
    EXPECT_EQ(Difference(RenderVst(song, 256, {}), vst3), "");
    // A render that did nothing would match too: the gate and echoes sound.
    EXPECT_GT(Peak(vst3), 0.1f);
  }
}

struct TransportCase {
  const char* what;
  std::vector<Segment> segments;
  std::vector<std::int32_t> blocks;
};

// Where the transport changes the VST 2 host cuts its block and sets the
// transport-changed bit; a VST3 host starts a block there with the new
// position, and the plug-in must see the change for itself.
const TransportCase kTransportCases[] = {
    {"a loop back to the start after two bars",
     {{0, 0.0, 120.0, true}, {176400 + 77, 0.0, 120.0, true}, {352800 + 201, 0.0, 120.0, true}},
     {256}},
    {"stopped for a second, then rolling from bar 2",
     {{0, 4.0, 120.0, false}, {44100 + 13, 4.0, 120.0, true}},
     {512}},
    {"a tempo change at a bar line", {{0, 0.0, 120.0, true}, {88200, 4.0, 90.0, true}}, {256}},
    {"a jump forward by one and a half beats, a stop, a start again",
     {{0, 0.0, 120.0, true},
      {50000, 5.5, 120.0, true},
      {120000, 9.0, 120.0, false},
      {160000, 9.0, 120.0, true}},
     {128, 1000}},
    {"a jump back by less than a beat in odd blocks",
     {{0, 0.0, 120.0, true}, {70001, 2.25, 120.0, true}},
     {333, 17}},
};

TEST(Vst3Render, TransportChangesMatchTheVst2Build) {
  for (const TransportCase& c : kTransportCases) {
    SCOPED_TRACE(c.what);
    Song song;
    song.segments = c.segments;
    std::string faults;
    EXPECT_EQ(Difference(RenderVst(song, 256, {}), RenderVst3(song, {c.blocks}, {}, -1, faults)), "");
    EXPECT_EQ(faults, "");
  }
}

// Every slot away from its default.
Values AllSlotsMoved() {
  Values values;
  for (int slot = kFirst; slot <= kLast; ++slot)
    values.emplace_back(slot,
                        std::fmod(parameters::defaultValue(slot) + 0.37f * static_cast<float>(slot), 1.0f));
  return values;
}

TEST(Vst3Render, ProgramsAndValuesSetAsHostsSetThemMatchTheVst2Build) {
  struct Case {
    const char* what;
    int program;
    Values values;
  };
  const Case cases[] = {
      {"program 4", 3, {}},
      {"every slot moved", 0, AllSlotsMoved()},
      {"program 7, then a few values",
       6,
       {{parameters::kStep1 + 2, 1.0f}, {parameters::kFd1DelayTime, 0.5f}, {parameters::kGateShuffle, 0.3f}}},
  };
  Song song;
  song.rate = 48000.0;
  song.segments = {{0, 0.0, 105.0, true}};
  for (const Case& c : cases) {
    const Stereo vst2 = RenderVst(song, 256, c.values, c.program);
    for (const auto setBy : {Playing::SetBy::Changes, Playing::SetBy::Controller}) {
      SCOPED_TRACE(std::string(c.what) +
                   (setBy == Playing::SetBy::Changes ? ", as changes at offset 0" : ", on the controller"));
      Playing playing;
      playing.setBy = setBy;
      std::string faults;
      EXPECT_EQ(Difference(vst2, RenderVst3(song, playing, c.values, c.program, faults)), "");
      EXPECT_EQ(faults, "");
    }
  }
  // The cases are heard: a program and values change the render.
  EXPECT_NE(Difference(RenderVst(song, 256, {}), RenderVst(song, 256, AllSlotsMoved())), "");
}

struct ChangeCase {
  const char* what;
  std::vector<Change> changes;
  std::vector<std::int32_t> blocks;
};

// A cutoff swept every 37 frames through a stretch of the song.
std::vector<Change> Sweep() {
  std::vector<Change> changes;
  for (int i = 0; i < 400; ++i)
    changes.push_back({100000 + 37 * i, parameters::kFd1Cutoff, static_cast<float>(i % 100) / 100.0f});
  return changes;
}

const ChangeCase kChangeCases[] = {
    {"steps switched on and off at offsets 1, 100 and 255 of 256-frame blocks",
     {{400 * 256 + 1, parameters::kStep1 + 1, 1.0f},
      {400 * 256 + 100, parameters::kStep1 + 4, 0.0f},
      {400 * 256 + 255, parameters::kStep1 + 8, 1.0f}},
     {256}},
    {"two slots and a program at one frame, mid-block",
     {{60000 + 77, parameters::kFd2DelayTime, 0.25f},
      {60000 + 77, parameters::kGateVolume, 0.2f},
      {90000 + 3, kProgram, 5.0f},
      {90000 + 3, parameters::kFd1Feedback, 0.9f}},
     {1000}},
    {"a cutoff swept every 37 frames", Sweep(), {512}},
    // Blocks of 1000 and 13 frames in turn: 999 ends the first block, 1000
    // starts the second, 13 * 1013 - 1 ends the 26th.
    {"changes on a block's first and last frame, in odd blocks",
     {{999, parameters::kGateDecay, 0.1f},
      {1000, parameters::kGateAttack, 0.5f},
      {13 * 1013 - 1, parameters::kFd2Pan, 1.0f}},
     {1000, 13}},
};

TEST(Vst3Render, ChangesInsideABlockMatchTheVst2BuildSplitThere) {
  for (const ChangeCase& c : kChangeCases) {
    SCOPED_TRACE(c.what);
    Song song;
    song.segments = {{0, 0.0, 120.0, true}};
    song.changes = c.changes;
    std::string faults;
    const Stereo vst3 = RenderVst3(song, {c.blocks}, {}, -1, faults);
    EXPECT_EQ(faults, "");
    EXPECT_EQ(Difference(RenderVst(song, 256, {}), vst3), "");
    // The changes are heard.
    Song unchanged = song;
    unchanged.changes.clear();
    EXPECT_NE(Difference(RenderVst(unchanged, 256, {}), vst3), "");
  }
}

std::vector<std::filesystem::path> PresetFiles() {
  return plonktest::PresetFiles(PLONKRIFT_PRESET_DIR);
}

// A preset's label: its first comment's words before the colon.
std::string LabelOf(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const std::size_t colon = line.find(':');
  return line.size() > 2 && colon != std::string::npos ? line.substr(2, colon - 2) : "";
}

TEST(Vst3Render, EachShippedPresetInTheProgramListPlaysAsItsFile) {
  const auto files = PresetFiles();
  ASSERT_FALSE(files.empty());
  const auto plugin = NewPlugin();
  ASSERT_TRUE(plugin->ok()) << plugin->faultText();
  const ProgramParameter programs = FindProgramParameter(*plugin);
  ASSERT_EQ(programs.entries, 8 + static_cast<int>(files.size()));
  const parameters::ParameterNames names;
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].string());
    const int entry = 8 + static_cast<int>(i);
    EXPECT_EQ(plugin->text(programs.id, programs.valueOf(entry)), LabelOf(files[i]));
    Values values;
    std::string error;
    ASSERT_TRUE(parameters::ReadPreset(names, files[i].string(), values, error)) << error;
    Song song;
    song.segments = {{0, 0.0, 120.0, true}};
    std::string faults;
    EXPECT_EQ(Difference(RenderVst(song, 256, values), RenderVst3(song, {{256}}, {}, entry, faults)), "");
    EXPECT_EQ(faults, "");
  }
  EXPECT_TRUE(plugin->close()) << plugin->faultText();
}

}  // namespace
}  // namespace vst3test
