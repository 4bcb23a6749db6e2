// The parameters as a VST3 host reads them from the bundle's controller:
// each slot as the parameter table describes it, values through text and
// back, and the program list behind the program-change parameter.

#include <gtest/gtest.h>

#include <vector>

#include "plugin/Parameters.h"
#include "tests/vst3/Vst3Render.h"
#include "tools/hostkit/PluginHost.h"

namespace vst3test {
namespace {

using namespace parameters;

class Vst3Parameters : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin = NewPlugin();
    ASSERT_TRUE(plugin->ok()) << plugin->faultText();
  }
  void TearDown() override { EXPECT_TRUE(plugin->close()) << plugin->faultText(); }

  std::unique_ptr<hostkit::Vst3Plugin> plugin;
};

TEST_F(Vst3Parameters, EachSlotIsDescribedAsTheParameterTableSays) {
  const std::vector<vst3::ParameterInfo> infos = plugin->parameters();
  ASSERT_EQ(infos.size(), static_cast<std::size_t>(kLast - kFirst + 2));
  for (int slot = kFirst; slot <= kLast; ++slot) {
    const vst3::ParameterInfo& info = infos[static_cast<std::size_t>(slot - kFirst)];
    const Parameter& p = parameter(slot);
    SCOPED_TRACE(p.name);
    EXPECT_EQ(info.id, static_cast<vst3::ParamID>(slot));
    EXPECT_EQ(hostkit::Utf8Of(info.title), p.name);
    EXPECT_EQ(hostkit::Utf8Of(info.shortTitle), p.shortName);
    EXPECT_EQ(hostkit::Utf8Of(info.units), p.unitLabel);
    EXPECT_EQ(info.defaultNormalizedValue, p.defaultValue);
    EXPECT_EQ(info.unitId, vst3::kRootUnitId);
    // Hosts step a parameter through k / stepCount: the switches and the
    // filter types (0 and 1) step; the LFO periods lie at 0.1 to 0.8, so to
    // a host they are continuous, as to a VST 2 host.
    const bool filterType = slot == kFd1FilterType || slot == kFd2FilterType;
    EXPECT_EQ(info.stepCount, p.kind == Kind::Toggle || filterType ? 1 : 0);
    EXPECT_EQ(info.flags,
              vst3::ParameterInfo::kCanAutomate | (filterType ? vst3::ParameterInfo::kIsList : 0));
  }
}

// The values a slot holds: a switch's two, a list's entries; a continuous
// slot's marked points and a few values between.
std::vector<float> ValuesOf(int slot) {
  const Parameter& p = parameter(slot);
  if (p.kind == Kind::Toggle) return {0.0f, 1.0f};
  std::vector<float> values;
  for (const Point& point : p.points) values.push_back(point.value);
  if (p.kind == Kind::Continuous)
    for (float v : {0.0f, 0.013f, 0.25f, 0.5f, 0.777f, 0.9999f, 1.0f}) values.push_back(v);
  return values;
}

TEST_F(Vst3Parameters, EveryValueComesBackFromItsText) {
  vst3::IEditController* controller = plugin->controller();
  for (int slot = kFirst; slot <= kLast; ++slot) {
    for (const float value : ValuesOf(slot)) {
      SCOPED_TRACE(std::string(name(slot)) + " at " + std::to_string(value));
      const std::string text = plugin->text(static_cast<vst3::ParamID>(slot), value);
      EXPECT_FALSE(text.empty());
      std::u16string typed = hostkit::Utf16Of(text);
      vst3::ParamValue back = -1.0;
      ASSERT_EQ(controller->getParamValueByString(static_cast<vst3::ParamID>(slot), typed.data(), back),
                vst3::kResultOk)
          << text;
      EXPECT_EQ(static_cast<float>(back), value) << text;
    }
  }
  // Text that is no value is refused.
  std::u16string nonsense = u"loud";
  vst3::ParamValue back = 0.0;
  EXPECT_NE(controller->getParamValueByString(kGateVolume, nonsense.data(), back), vst3::kResultOk);
}

TEST_F(Vst3Parameters, TheProgramChangeParameterListsTheUnitsPrograms) {
  const std::vector<vst3::ParameterInfo> infos = plugin->parameters();
  ASSERT_FALSE(infos.empty());
  const vst3::ParameterInfo& program = infos.back();
  EXPECT_EQ(program.flags & vst3::ParameterInfo::kIsProgramChange, vst3::ParameterInfo::kIsProgramChange);
  EXPECT_NE(program.flags & vst3::ParameterInfo::kIsList, 0);

  // The root unit has the program list; the parameter has one step a program.
  vst3::IUnitInfo* units = plugin->unitInfo();
  ASSERT_NE(units, nullptr);
  ASSERT_EQ(units->getUnitCount(), 1);
  vst3::UnitInfo unit{};
  ASSERT_EQ(units->getUnitInfo(0, unit), vst3::kResultOk);
  EXPECT_EQ(unit.id, vst3::kRootUnitId);
  EXPECT_EQ(program.unitId, unit.id);
  ASSERT_EQ(units->getProgramListCount(), 1);
  vst3::ProgramListInfo list{};
  ASSERT_EQ(units->getProgramListInfo(0, list), vst3::kResultOk);
  EXPECT_EQ(unit.programListId, list.id);
  EXPECT_EQ(list.programCount, program.stepCount + 1);

  // The eight programs are the VST 2 build's, by name; each entry's name is
  // the parameter's text at its step, and that text gives the step back.
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost vst2;
  ASSERT_NE(vst2.create(library.entry()), nullptr);
  ASSERT_GT(list.programCount, 8);
  for (int i = 0; i < list.programCount; ++i) {
    SCOPED_TRACE(i);
    vst3::String128 listed = {};
    ASSERT_EQ(units->getProgramName(list.id, i, listed), vst3::kResultOk);
    const std::string name = hostkit::Utf8Of(listed);
    if (i < 8) {
      EXPECT_EQ(name, vst2.text(effGetProgramNameIndexed, i));
    }
    const double step = static_cast<double>(i) / program.stepCount;
    EXPECT_EQ(plugin->text(program.id, step), name);
    std::u16string typed = hostkit::Utf16Of(name);
    vst3::ParamValue back = -1.0;
    ASSERT_EQ(plugin->controller()->getParamValueByString(program.id, typed.data(), back), vst3::kResultOk);
    EXPECT_EQ(back, step);
  }
  vst2.close();
  vst3::String128 none = {};
  EXPECT_NE(units->getProgramName(list.id, list.programCount, none), vst3::kResultOk);
}

}  // namespace
}  // namespace vst3test
