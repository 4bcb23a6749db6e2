// Parameters as a host sets, reads, names and shows them.

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <string>

#include "tests/support/PluginFixture.h"

namespace {

using Parameters = PluginFixture;

TEST_F(Parameters, DefaultsOfEverySlot) {
  const float expected[62] = {
      0.0f, 1,     0,     0,    0,     1,    0,    0,    0,    0,    1, 0, 0, 0, 0, 1, 0,  // steps 1..16
      1,    1,     0,     0,    0,     0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0,     // ties 1..16
      1.0f, 0.0f,  0.4f,  0.0f, 0.7f,  0.7f, 0.7f,                                         // 33..39
      1.0f, 0.1f,  0.91f, 0.0f, 0.25f, 0.5f, 0.6f, 1.0f, 0.3f, 0.7f,                       // 40..49
      1.0f, 0.35f, 0.92f, 1.0f, 0.75f, 0.5f, 0.4f, 1.0f, 0.3f, 0.7f,                       // 50..59
      0.2f, 0.4f};
  for (int i = 1; i <= 61; ++i) EXPECT_EQ(host->getParameter(i), expected[i]) << "slot " << i;
}

TEST_F(Parameters, ValuesAreClampedIntoZeroToOne) {
  const struct {
    float in;
    float stored;
  } cases[] = {{0.25f, 0.25f},    {1.5f, 1.0f},  {-0.2f, 0.0f},  {NAN, 0.0f},  {INFINITY, 1.0f},
               {-INFINITY, 0.0f}, {1e30f, 1.0f}, {-1e30f, 0.0f}, {1.0f, 1.0f}, {0.0f, 0.0f}};
  for (const auto& c : cases) {
    host->setParameter(36, c.in);
    EXPECT_EQ(host->getParameter(36), c.stored) << "value " << c.in;
  }
  host->setParameter(36, -0.0f);
  EXPECT_FALSE(std::signbit(host->getParameter(36))) << "-0.0 is stored as 0.0";
  EXPECT_EQ(host->text(effGetParamDisplay, 36), "0.00");
}

TEST_F(Parameters, SlotsOutsideOneToSixtyOneHoldNothing) {
  for (VstInt32 index : {-1, 0, 62, 65, 69, 70, INT_MIN, INT_MAX}) {
    host->setParameter(index, 0.5f);
    EXPECT_EQ(host->getParameter(index), 0.0f) << "slot " << index;
    EXPECT_EQ(host->text(effGetParamName, index), "reserved");
    EXPECT_EQ(host->text(effGetParamLabel, index), "%");
    EXPECT_EQ(host->text(effGetParamDisplay, index), "0.00");
  }
  host->setParameter(61, 0.5f);
  EXPECT_EQ(host->getParameter(61), 0.5f);
}

TEST_F(Parameters, NamesOfTheHost) {
  const char* named[] = {
      "Gate Enable",     "Gate Attack",    "Gate Decay",   "Gate Shuffle", "Gate Volume",
      "FD1 Volume",      "FD2 Volume",     "FD1 Enable",   "FD1 Cutoff",   "FD1 Reso",
      "FD1 Filter Type", "FD1 Delay Time", "FD1 Feedback", "FD1 Pan",      "FD1 Delay Sync",
      "FD1 LFO->Cutoff", "FD1 LFO->Pan",   "FD2 Enable",   "FD2 Cutoff",   "FD2 Reso",
      "FD2 Filter Type", "FD2 Delay Time", "FD2 Feedback", "FD2 Pan",      "FD2 Delay Sync",
      "FD2 LFO->Cutoff", "FD2 LFO->Pan",   "LFO1 Period",  "LFO2 Period"};
  for (int i = 1; i <= 16; ++i) {
    EXPECT_EQ(host->text(effGetParamName, i), "Step" + std::to_string(i));
    EXPECT_EQ(host->text(effGetParamName, 16 + i), "Tie" + std::to_string(i));
  }
  for (int i = 33; i <= 61; ++i) EXPECT_EQ(host->text(effGetParamName, i), named[i - 33]);
}

TEST_F(Parameters, DisplayIsThePercentageWithTwoDecimals) {
  EXPECT_EQ(host->text(effGetParamDisplay, 35), "40.00");
  host->setParameter(35, 1.0f);
  EXPECT_EQ(host->text(effGetParamDisplay, 35), "100.00");
  host->setParameter(35, 0.123456f);
  EXPECT_EQ(host->text(effGetParamDisplay, 35), "12.35");
}

TEST_F(Parameters, DisplayUsesTheLocalesDecimalSeparatorWithoutSettingIt) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  // A German locale by its POSIX name, or by its Windows name.
  std::string german;
  for (const char* name : {"de_DE.UTF-8", "German_Germany.1252"})
    if (german.empty() && std::setlocale(LC_NUMERIC, name) != nullptr)
      german = std::setlocale(LC_NUMERIC, nullptr);
  if (german.empty()) GTEST_SKIP() << "no German locale (de_DE.UTF-8) is installed";
  EXPECT_EQ(host->text(effGetParamDisplay, 37), "70,00");
  EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), german) << "the plug-in left the locale alone";
  std::setlocale(LC_NUMERIC, before.c_str());
  EXPECT_EQ(host->text(effGetParamDisplay, 37), "70.00");
}

TEST_F(Parameters, EveryIndexCanBeAutomated) {
  for (VstInt32 index : {-1, 0, 1, 61, 69, 1000}) EXPECT_EQ(host->dispatch(effCanBeAutomated, index), 1);
}

}  // namespace
