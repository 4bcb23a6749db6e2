// The effect's core as a format's translation drives it: values in, programs
// switched, blocks with and without the host's time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "plugin/PresetText.h"
#include "plugin/core/EffectCore.h"
#include "plugin/core/FactoryPresets.h"

namespace {

using namespace parameters;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(Core, WritesAreClampedAndReservedSlotsHoldNothing) {
  auto core = std::make_unique<EffectCore>();
  const struct {
    float in, stored;
  } cases[] = {{0.25f, 0.25f}, {1.5f, 1.0f}, {-0.2f, 0.0f}, {kNaN, 0.0f}, {1e30f, 1.0f}, {-0.0f, 0.0f}};
  for (const auto& c : cases) {
    core->setParameter(kGateShuffle, c.in);
    EXPECT_EQ(core->getParameter(kGateShuffle), c.stored) << c.in;
    EXPECT_EQ(core->programs[0].values[kGateShuffle].load(), c.stored) << "the current program follows";
  }
  core->setParameter(kGateShuffle, -0.0f);
  EXPECT_FALSE(std::signbit(core->getParameter(kGateShuffle)));
  for (int slot : {-1, 0, kMidiValue, 69, 1000}) {
    core->setParameter(slot, 0.5f);
    EXPECT_EQ(core->getParameter(slot), 0.0f) << slot;
  }
  EXPECT_EQ(core->params[kMidiValue].load(), 0.0f) << "no parameter call reaches slot 62";
}

TEST(Core, ProgramsKeepTheirEditsAndNames) {
  auto core = std::make_unique<EffectCore>();
  EXPECT_EQ(core->currentProgram(), 0);
  for (int p = 0; p < EffectCore::kNumPrograms; ++p)
    EXPECT_STREQ(core->programName(p), ("Init Preset 0" + std::to_string(p + 1)).c_str());
  EXPECT_EQ(core->programName(8), nullptr);
  EXPECT_EQ(core->programName(-1), nullptr);

  ASSERT_TRUE(core->setProgram(2));
  core->setParameter(kGateEnable, 0.0f);
  core->setParameter(kStep1 + 4, 0.3f);
  core->setProgramName(std::string(80, 'n').c_str());
  ASSERT_TRUE(core->setProgram(5));
  EXPECT_EQ(core->getParameter(kGateEnable), 1.0f);
  EXPECT_EQ(core->getParameter(kStep1 + 4), 1.0f);
  ASSERT_TRUE(core->setProgram(2));
  EXPECT_EQ(core->getParameter(kGateEnable), 0.0f);
  EXPECT_EQ(core->getParameter(kStep1 + 4), 0.3f);
  EXPECT_EQ(std::string(core->programName(2)), std::string(51, 'n')) << "51 characters are kept";
  EXPECT_STREQ(core->programName(5), "Init Preset 06");

  for (int outside : {8, -1, 1000}) EXPECT_FALSE(core->setProgram(outside));
  EXPECT_EQ(core->currentProgram(), 2);
  EXPECT_EQ(core->getParameter(kStep1 + 4), 0.3f);
}

TEST(Core, SettingsAreTheWorkingSetAsOneBlockReadsIt) {
  auto core = std::make_unique<EffectCore>();
  core->setParameter(kFd2Cutoff, 0.625f);
  core->setParameter(kLfo1Period, 0.8f);
  core->setParameter(kStep1 + 15, 1.0f);
  const engine::Settings s = core->settings();
  EXPECT_EQ(s.Fd[1].Cutoff, 0.625f);
  EXPECT_EQ(s.LfoPeriod[0], 0.8f);
  EXPECT_EQ(s.Step[15], 1.0f);
  EXPECT_EQ(s.Fd[0].DelayTime, defaultValue(kFd1DelayTime));
}

// The presets the build compiled in are the files, read as plonkrift-render
// reads them, named after their first comment.
TEST(Core, ShippedPresetsAreThePresetFiles) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(PLONKRIFT_PRESET_DIR))
    if (entry.path().extension() == ".preset") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  const auto presets = FactoryPresets();
  ASSERT_EQ(presets.size(), files.size());
  const ParameterNames names;
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].string());
    EXPECT_EQ(presets[i].id, files[i].stem().string());
    float expected[kLast + 1];
    for (int slot = kFirst; slot <= kLast; ++slot) expected[slot] = defaultValue(slot);
    std::vector<std::pair<int, float>> values;
    std::string error;
    ASSERT_TRUE(ReadPreset(names, files[i].string(), values, error)) << error;
    for (const auto& [slot, value] : values) expected[slot] = value;
    for (int slot = kFirst; slot <= kLast; ++slot)
      EXPECT_EQ(presets[i].values[slot], expected[slot]) << name(slot);
    EXPECT_FALSE(presets[i].label.empty());
    EXPECT_EQ(presets[i].label.find(':'), std::string_view::npos);
  }
  const auto dub =
      std::find_if(presets.begin(), presets.end(), [](const FactoryPreset& p) { return p.id == "dub-echo"; });
  ASSERT_NE(dub, presets.end());
  EXPECT_EQ(dub->label, "Dub echo");
  EXPECT_EQ(dub->comment.substr(0, 33), "short chops on the off-beats feed");
}

struct Block {
  std::vector<float> inLeft, inRight, outLeft, outRight;
  explicit Block(int frames, float fill)
      : inLeft(frames), inRight(frames), outLeft(frames, fill), outRight(frames, fill) {
    for (int i = 0; i < frames; ++i) {
      inLeft[i] = static_cast<float>(0.5 * std::sin(0.05 * i));
      inRight[i] = static_cast<float>(0.4 * std::cos(0.031 * i));
    }
  }
  void run(EffectCore& core, const engine::TimeRecord* time, bool accumulate) {
    float* in[2] = {inLeft.data(), inRight.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    core.processBlock(time, 44100.0f, in, out, static_cast<std::int32_t>(inLeft.size()), accumulate);
  }
};

engine::TimeRecord Playing(double beats) {
  engine::TimeRecord time;
  time.Beats = beats;
  time.Tempo = 120.0;
  time.BeatsValid = time.TempoValid = time.Playing = true;
  return time;
}

TEST(Core, WithoutTimeTheBlockIsSilentTheStateIsSetAndTheEngineWaits) {
  auto core = std::make_unique<EffectCore>();
  EXPECT_FALSE(core->timeInfoMissing());
  Block replaced(512, 3.0f), added(512, 3.0f);
  replaced.run(*core, nullptr, false);
  added.run(*core, nullptr, true);
  EXPECT_TRUE(
      std::all_of(replaced.outLeft.begin(), replaced.outLeft.end(), [](float x) { return x == 0.0f; }));
  EXPECT_TRUE(
      std::all_of(replaced.outRight.begin(), replaced.outRight.end(), [](float x) { return x == 0.0f; }));
  EXPECT_TRUE(std::all_of(added.outLeft.begin(), added.outLeft.end(), [](float x) { return x == 3.0f; }))
      << "accumulating adds nothing";
  EXPECT_TRUE(core->timeInfoMissing());
  EXPECT_NE(core->timeMissingState().load(), 0) << "the byte an editor watches";

  // Time is back: the state clears and the engine plays as one that never
  // saw the blocks without it.
  auto fresh = std::make_unique<EffectCore>();
  const engine::TimeRecord time = Playing(0.0);
  Block played(4096, 0.0f), reference(4096, 0.0f);
  played.run(*core, &time, false);
  reference.run(*fresh, &time, false);
  EXPECT_FALSE(core->timeInfoMissing());
  EXPECT_EQ(played.outLeft, reference.outLeft);
  EXPECT_EQ(played.outRight, reference.outRight);
  EXPECT_TRUE(std::any_of(played.outLeft.begin(), played.outLeft.end(), [](float x) { return x != 0.0f; }));

  Block again(64, 1.0f);
  again.run(*core, nullptr, false);
  EXPECT_TRUE(core->timeInfoMissing()) << "set again by the next block without time";
}

}  // namespace
