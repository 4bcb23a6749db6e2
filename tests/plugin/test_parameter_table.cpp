// The parameter table: its symbols, the editor's arithmetic on periods and
// delays, the clamp, and values written and read as text in the effect's
// units.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "plugin/ParameterText.h"
#include "plugin/Parameters.h"

namespace {

using namespace parameters;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The rule the LV2 port symbols were first made by: the name in lower case,
// each run of other characters one underscore ("FD1 LFO->Cutoff" ->
// "fd1_lfo_cutoff"). Hosts keep sessions by symbol: they may never change.
std::string SymbolFromName(std::string_view name) {
  std::string symbol;
  bool gap = false;
  for (char c : name) {
    const auto ch = static_cast<unsigned char>(c);
    if (std::isalnum(ch)) {
      if (gap && !symbol.empty()) symbol += '_';
      symbol += static_cast<char>(std::tolower(ch));
      gap = false;
    } else {
      gap = true;
    }
  }
  return symbol;
}

TEST(ParameterTable, SymbolsAreUniqueAndThoseSessionsWereSavedWith) {
  std::set<std::string_view> seen;
  for (int slot = kFirst; slot <= kLast; ++slot) {
    const Parameter& p = parameter(slot);
    EXPECT_EQ(p.symbol, SymbolFromName(p.name)) << slot;
    EXPECT_TRUE(seen.insert(p.symbol).second) << p.symbol;
    EXPECT_EQ(slotOfSymbol(p.symbol), slot);
    EXPECT_EQ(name(slot), p.name);
  }
  EXPECT_EQ(parameter(kFd1LfoCutoff).symbol, "fd1_lfo_cutoff");
  EXPECT_EQ(slotOfSymbol("time_missing"), -1);
  for (int slot : {-1, 0, 62, 69, 70}) EXPECT_STREQ(name(slot), "reserved");
}

TEST(ParameterTable, ClampKeepsEveryValueWithinZeroToOne) {
  const struct {
    float in, stored;
  } cases[] = {{0.25f, 0.25f}, {1.5f, 1.0f}, {-0.2f, 0.0f}, {kNaN, 0.0f},     {kInf, 1.0f},   {-kInf, 0.0f},
               {1e30f, 1.0f},  {1.0f, 1.0f}, {0.0f, 0.0f},  {1e-45f, 1e-45f}, {-1e-45f, 0.0f}};
  for (const auto& c : cases) EXPECT_EQ(clamped(c.in), c.stored) << c.in;
  EXPECT_FALSE(std::signbit(clamped(-0.0f))) << "-0 is stored as +0";
}

// The rate buttons write bars x 0.1 taken in extended precision; the refresh
// lights them from llrint(value x 10) in double; the engine's half cycle is
// period x 5 bars. Each must stay exactly that arithmetic.
TEST(ParameterTable, PeriodsAndBarsAsTheEditorAndEngineComputeThem) {
  for (int bars = -2; bars <= 16; ++bars)
    EXPECT_EQ(periodOfBars(bars), static_cast<float>(static_cast<long double>(bars) * 0.1L)) << bars;
  for (float value : {0.0f, 0.1f, 0.2f, 0.35f, 0.4f, 0.8f, 0.95f, 1.0f, 0.15f})
    EXPECT_EQ(barsOfPeriod(value), static_cast<double>(value) * 10.0) << value;
  EXPECT_EQ(kLfoHalfCycleBars, 5.0);
  for (double typed : {1.0, 2.0, 3.7, 10.0}) EXPECT_EQ(periodOfTypedBars(typed), typed / 10.0);

  // Each rate button of the form: its tag's value is a listed period, which
  // lights exactly that button.
  int buttons = 0;
  for (const ControlBinding& b : kControls) {
    if (b.slot != kLfo1Period && b.slot != kLfo2Period) continue;
    ++buttons;
    const float value = periodOfBars(b.tag);
    bool listed = false;
    for (const Point& p : parameter(b.slot).points)
      listed = listed || (p.value == value && p.word() == std::to_string(b.tag));
    EXPECT_TRUE(listed) << b.control;
    EXPECT_EQ(std::llrint(barsOfPeriod(value)), b.tag) << b.control;
  }
  EXPECT_EQ(buttons, 8);
}

TEST(ParameterTable, DelaySnapsAtTheKnobsThresholds) {
  const struct {
    int position;
    float snapped;
  } cases[] = {{0, 0.25f},  {29, 0.25f}, {30, 0.5f},  {60, 0.5f},  {61, 0.75f},
               {89, 0.75f}, {90, 1.0f},  {100, 1.0f}, {-5, 0.25f}, {250, 1.0f}};
  for (int slot : {kFd1DelayTime, kFd2DelayTime})
    for (const auto& c : cases) EXPECT_EQ(snappedValue(slot, c.position, 0.6f), c.snapped) << c.position;
  EXPECT_EQ(snappedValue(kFd1Cutoff, 30, 0.37f), 0.37f) << "a slot without snap points keeps its value";
}

TEST(ParameterTable, KindsAndPointsHostsAreShown) {
  for (int slot = kStep1; slot <= kGateEnable; ++slot) EXPECT_EQ(parameter(slot).kind, Kind::Toggle) << slot;
  for (int slot : {kFd1Enable, kFd2Enable, kFd1DelaySync, kFd2DelaySync})
    EXPECT_EQ(parameter(slot).kind, Kind::Toggle);
  for (int slot : {kFd1FilterType, kFd2FilterType, kLfo1Period, kLfo2Period})
    EXPECT_EQ(parameter(slot).kind, Kind::List);
  EXPECT_EQ(parameter(kFd2FilterType).points[1].label, "Low-pass");
  EXPECT_EQ(parameter(kLfo2Period).points[3].label, "8 bars");
  EXPECT_EQ(parameter(kFd1Pan).points[0].label, "Right");
  EXPECT_EQ(parameter(kFd1DelayTime).measure, Measure::Beats);
  EXPECT_EQ(parameter(kFd2Feedback).measure, Measure::Coefficient);
  EXPECT_EQ(parameter(kGateVolume).measure, Measure::Coefficient);
  EXPECT_EQ(parameter(kLfo1Period).unitLabel, "bars");
}

// Values as a user types them, and how the effect writes them back.
TEST(ParameterText, ValuesInTheEffectsUnits) {
  const struct {
    int slot;
    const char* typed;
    float value;
    const char* written;
  } cases[] = {
      {kStep1 + 2, "on", 1.0f, "on"},
      {kTie1, " OFF ", 0.0f, "off"},
      {kFd1DelaySync, "yes", 1.0f, "on"},
      {kGateEnable, "0.7", 0.7f, "0.7"},
      {kFd1FilterType, "LP", 1.0f, "LP"},
      {kFd2FilterType, "high-pass", 0.0f, "HP"},
      {kFd1FilterType, "low pass", 1.0f, "LP"},
      {kFd1DelayTime, "3/4", 0.75f, "3/4 beat"},
      {kFd2DelayTime, "1/4 beat", 0.25f, "1/4 beat"},
      {kFd2DelayTime, "3/8", 0.375f, "3/8 beat"},
      {kFd1DelayTime, "1", 1.0f, "1 beat"},
      {kLfo1Period, "4", 0.4f, "4 bars"},
      {kLfo2Period, "1 bar", 0.1f, "1 bars"},
      {kLfo1Period, "0.35", 0.35f, "3.5 bars"},
      {kGateAttack, "0.5 steps", 0.5f, "0.5 steps"},
      {kGateDecay, "1.5 steps", 0.75f, "1.5 steps"},
      {kFd1Cutoff, "70%", 0.7f, "70%"},
      {kGateVolume, "0 dB", 1.0f, "100%"},
      {kFd1Pan, "left", 1.0f, "left"},
      {kFd2Pan, "centre", 0.5f, "center"},
      {kFd2Pan, "R", 0.0f, "right"},
      {kFd1Pan, "60%", 0.6f, "0.6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(name(c.slot)) + " = " + c.typed);
    float value = -1.0f;
    std::string error;
    ASSERT_TRUE(ParseValue(c.slot, c.typed, value, error)) << error;
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(FormatValue(c.slot, value), c.written);
  }
  float level = 0.0f;
  std::string error;
  ASSERT_TRUE(ParseValue(kFd1Volume, "-6 dB", level, error));
  EXPECT_EQ(level, static_cast<float>(std::pow(10.0, -6.0 / 20.0)));
}

TEST(ParameterText, MistakesSayWhatTheSlotTakes) {
  const struct {
    int slot;
    const char* typed;
    const char* error;
  } cases[] = {
      {kFd1Pan, "upward", "not a value: upward (give 0..1, % or left, center, right)"},
      {kLfo1Period, "12",
       "outside 0 to 10 bars: 12 (give 1 to 10 bars (a number below 1 is the slot value))"},
      {kGateVolume, "3 dB", "above 0 dB: 3 dB (give 0..1, % or dB (0 dB and below))"},
      {kFd1DelayTime, "2 beats", "outside 0 to 1 beat: 2 beats (give beats up to 1: 3/4, 0.5, 1/4 beat)"},
      {kGateAttack, "2 steps", "outside 0 to 1 steps: 2 steps (give 0..1, % or 0 to 1 steps)"},
      {kFd2FilterType, "band", "not a value: band (give HP, LP or 0..1)"},
      {kStep1, "1.5", "outside 0..1: 1.5 (give on, off or 0..1)"},
  };
  for (const auto& c : cases) {
    float value = 0.0f;
    std::string error;
    EXPECT_FALSE(ParseValue(c.slot, c.typed, value, error)) << c.typed;
    EXPECT_EQ(error, c.error);
  }
  float value = 0.0f;
  std::string error;
  EXPECT_FALSE(ParseValue(0, "1", value, error)) << "a reserved slot holds nothing";
}

// Whatever a host stores, the text the effect writes reads back to exactly
// the same float, in every slot's unit.
TEST(ParameterText, EveryWrittenValueReadsBackExactly) {
  std::vector<float> values = {0.0f, 1.0f,  0.5f,  0.1f,   0.2f,  0.4f,
                               0.8f, 0.25f, 0.75f, 0.375f, 1e-7f, 0.99999994f};
  std::uint32_t state = 12345;
  for (int i = 0; i < 300; ++i) {
    state = state * 1664525u + 1013904223u;
    values.push_back(static_cast<float>(state >> 8) / static_cast<float>(1u << 24));
  }
  for (int slot = kFirst; slot <= kLast; ++slot)
    for (float v : values) {
      const std::string text = FormatValue(slot, v);
      float back = -1.0f;
      std::string error;
      ASSERT_TRUE(ParseValue(slot, text, back, error)) << name(slot) << " " << text << ": " << error;
      ASSERT_EQ(back, v) << name(slot) << " wrote " << text;
    }
}

TEST(ParameterText, DescriptionsNameTheListsOfTheTable) {
  EXPECT_EQ(Describe(kFd1DelaySync).meaning,
            "the editor snaps FD1's delay to 1/4, 1/2, 3/4 or 1 beat; no sound change");
  EXPECT_EQ(Describe(kLfo2Period).meaning, "LFO2's cycle: 1, 2, 4 or 8 bars in the editor");
  EXPECT_EQ(Describe(kFd2FilterType).accepts, "HP, LP or 0..1");
  EXPECT_EQ(Describe(0).meaning, "");
}

}  // namespace
