// The effect's state through the VST3 bundle: what one instance saves,
// another restores, with every program's values and the current program,
// whether the host's stream moves it whole or a few bytes a call.

#include <gtest/gtest.h>

#include "plugin/Parameters.h"
#include "tests/vst3/Vst3Render.h"

namespace vst3test {
namespace {

using namespace parameters;

// What the saving instance is given: program 3 edited through the
// processor's changes, then program 6 edited on the controller (and left
// current).
const Values kProgram3Values = {{kStep1 + 1, 1.0f}, {kFd1DelayTime, 0.5f}, {kGateVolume, 0.4f}};
const Values kProgram6Values = {{kStep1 + 5, 0.0f}, {kFd2Cutoff, 0.8f}, {kLfo1Period, periodOfBars(8)}};
// The song the restored instance plays: from program 6, and back to
// program 3 at frame 200000.
constexpr std::int64_t kBackTo3 = 200000;

void Edit(hostkit::Vst3Plugin& plugin) {
  const ProgramParameter programs = FindProgramParameter(plugin);
  ASSERT_TRUE(plugin.setup(44100.0, 256));
  ASSERT_TRUE(plugin.start());
  // A flush: changes without audio.
  hostkit::Vst3ParameterChanges changes;
  changes.add(programs.id, 0, programs.valueOf(3));
  for (const auto& [slot, value] : kProgram3Values) changes.add(static_cast<vst3::ParamID>(slot), 0, value);
  float left[1] = {}, right[1] = {};
  float* channels[2] = {left, right};
  ASSERT_EQ(plugin.process(channels, channels, 0, nullptr, &changes), vst3::kResultOk);
  vst3::IEditController* controller = plugin.controller();
  ASSERT_EQ(controller->setParamNormalized(programs.id, programs.valueOf(6)), vst3::kResultOk);
  for (const auto& [slot, value] : kProgram6Values)
    ASSERT_EQ(controller->setParamNormalized(static_cast<vst3::ParamID>(slot), value), vst3::kResultOk);
  ASSERT_TRUE(plugin.stop());
}

// The same edits and song as the VST 2 host makes them.
Song RestoredSong() {
  Song song;
  song.segments = {{0, 0.0, 120.0, true}};
  song.changes = {{kBackTo3, kProgram, 3.0f}};
  return song;
}

Stereo ExpectedRender() {
  Song song = RestoredSong();
  std::vector<Change> edits = {{0, kProgram, 3.0f}};
  for (const auto& [slot, value] : kProgram3Values) edits.push_back({0, slot, value});
  edits.push_back({0, kProgram, 6.0f});
  for (const auto& [slot, value] : kProgram6Values) edits.push_back({0, slot, value});
  song.changes.insert(song.changes.begin(), edits.begin(), edits.end());
  return RenderVst(song, 256, {});
}

TEST(Vst3State, ANewInstanceRestoresEveryProgramWhateverPiecesTheStreamMoves) {
  const auto saving = NewPlugin();
  ASSERT_TRUE(saving->ok()) << saving->faultText();
  ASSERT_NO_FATAL_FAILURE(Edit(*saving));
  hostkit::Vst3Stream whole;
  ASSERT_EQ(saving->getState(whole), vst3::kResultOk);
  // A stream that takes three bytes a call gets the same bytes.
  hostkit::Vst3Stream pieces;
  pieces.setWritePieces({3});
  ASSERT_EQ(saving->getState(pieces), vst3::kResultOk);
  EXPECT_EQ(pieces.bytes(), whole.bytes());
  EXPECT_GE(pieces.writes(), static_cast<int>(whole.bytes().size() / 3));
  EXPECT_TRUE(saving->close()) << saving->faultText();

  const Stereo expected = ExpectedRender();
  // A fresh instance plays otherwise: the restored one has something to show.
  std::string faults;
  ASSERT_NE(Difference(expected, RenderVst3(RestoredSong(), {}, {}, -1, faults)), "");

  struct Load {
    const char* what;
    std::vector<std::int32_t> pieces;
  };
  for (const Load& load : {Load{"whole", {}}, Load{"one to seven bytes a call", {1, 2, 3, 4, 5, 6, 7}}}) {
    SCOPED_TRACE(load.what);
    const auto restored = NewPlugin();
    ASSERT_TRUE(restored->ok()) << restored->faultText();
    hostkit::Vst3Stream from(whole.bytes());
    from.setReadPieces(load.pieces);
    ASSERT_EQ(restored->setState(from), vst3::kResultOk);
    EXPECT_EQ(from.position(), static_cast<std::int64_t>(whole.bytes().size()));
    if (!load.pieces.empty()) {
      EXPECT_GE(from.reads(), static_cast<int>(whole.bytes().size() / 7));
    }
    // The controller shows what was restored, and it saves the same again.
    const ProgramParameter programs = FindProgramParameter(*restored);
    EXPECT_EQ(restored->controller()->getParamNormalized(programs.id), programs.valueOf(6));
    EXPECT_EQ(restored->controller()->getParamNormalized(kFd2Cutoff), 0.8f);
    hostkit::Vst3Stream again;
    ASSERT_EQ(restored->getState(again), vst3::kResultOk);
    EXPECT_EQ(again.bytes(), whole.bytes());
    EXPECT_EQ(Difference(expected, Play(*restored, RestoredSong(), {})), "");
    EXPECT_TRUE(restored->close()) << restored->faultText();
  }
}

}  // namespace
}  // namespace vst3test
