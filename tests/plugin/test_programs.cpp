// Programs as a host switches, renames and lists them.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/support/PluginFixture.h"

namespace {

using Programs = PluginFixture;

std::string programName(hostkit::PluginHost& host, VstInt32 index) {
  char buffer[256] = {};
  if (host.dispatch(effGetProgramNameIndexed, index, 0, buffer) == 0) return "<none>";
  return buffer;
}

TEST_F(Programs, EightNamedProgramsWithIdenticalDefaults) {
  EXPECT_EQ(host->dispatch(effGetProgram), 0);
  EXPECT_EQ(host->text(effGetProgramName), "Init Preset 01");
  for (int p = 0; p < 8; ++p) {
    EXPECT_EQ(programName(*host, p), "Init Preset 0" + std::to_string(p + 1));
    host->dispatch(effSetProgram, 0, p);
    EXPECT_EQ(host->getParameter(33), 1.0f);
    EXPECT_EQ(host->getParameter(44), 0.25f);
    EXPECT_EQ(host->getParameter(61), 0.4f);
  }
  EXPECT_EQ(programName(*host, 8), "<none>");
  EXPECT_EQ(programName(*host, -1), "<none>");
}

TEST_F(Programs, EditsStayWithTheirProgram) {
  host->dispatch(effSetProgram, 0, 2);
  host->setParameter(33, 0.0f);
  host->setParameter(5, 0.3f);
  host->dispatch(effSetProgram, 0, 5);
  EXPECT_EQ(host->getParameter(33), 1.0f);
  EXPECT_EQ(host->getParameter(5), 1.0f);
  host->dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(host->getParameter(33), 0.0f);
  EXPECT_EQ(host->getParameter(5), 0.3f);
}

TEST_F(Programs, OutOfRangeProgramsChangeNothing) {
  host->dispatch(effSetProgram, 0, 4);
  host->setParameter(10, 0.6f);
  for (VstIntPtr value : {VstIntPtr{8}, VstIntPtr{-1}, VstIntPtr{INT_MIN}, VstIntPtr{INT_MAX},
                          VstIntPtr{1} << 33, -(VstIntPtr{1} << 32) + 3}) {
    host->dispatch(effSetProgram, 0, value);
    EXPECT_EQ(host->dispatch(effGetProgram), 4) << value;
    EXPECT_EQ(host->getParameter(10), 0.6f);
  }
}

TEST_F(Programs, RenamingNamesTheCurrentProgramOnly) {
  host->dispatch(effSetProgram, 0, 3);
  char name[] = "Dub Chops";
  host->dispatch(effSetProgramName, 0, 0, name);
  host->dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(programName(*host, 3), "Dub Chops");
  EXPECT_EQ(host->text(effGetProgramName), "Init Preset 01");
}

TEST_F(Programs, LongNamesAreKeptToFiftyOneCharacters) {
  std::string longName(200, 'n');
  host->dispatch(effSetProgramName, 0, 0, longName.data());
  char buffer[256];
  std::fill(std::begin(buffer), std::end(buffer), 'x');
  host->dispatch(effGetProgramName, 0, 0, buffer);
  EXPECT_EQ(std::string(buffer), std::string(51, 'n'));
  EXPECT_EQ(buffer[52], 'x') << "nothing written past the name and its terminator";
}

}  // namespace
