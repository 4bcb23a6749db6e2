// Every opcode of the dispatcher as a host sends it, through the library's record.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "tests/support/PluginFixture.h"

namespace {

struct OpcodeCase {
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  VstIntPtr answer;
  const char* text;  // what the opcode writes into a text buffer, or null
};

void PrintTo(const OpcodeCase& c, std::ostream* os) {
  *os << "opcode " << c.opcode << " index " << c.index;
}

class Opcodes : public PluginFixture, public ::testing::WithParamInterface<OpcodeCase> {};

TEST_P(Opcodes, AnswerAsTheHostExpects) {
  const OpcodeCase& c = GetParam();
  char buffer[512];
  std::memset(buffer, '#', sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  EXPECT_EQ(host->dispatch(c.opcode, c.index, c.value, buffer), c.answer);
  if (c.text != nullptr) {
    EXPECT_STREQ(buffer, c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Opcodes,
    ::testing::Values(
        OpcodeCase{effOpen, 0, 0, 0, nullptr}, OpcodeCase{effGetProgram, 0, 0, 0, nullptr},
        OpcodeCase{effGetProgramName, 0, 0, 0, "Init Preset 01"}, OpcodeCase{effGetParamLabel, 1, 0, 0, "%"},
        OpcodeCase{effGetParamLabel, 69, 0, 0, "%"}, OpcodeCase{effGetParamLabel, -1, 0, 0, "%"},
        OpcodeCase{effGetParamDisplay, 37, 0, 0, "70.00"}, OpcodeCase{effGetParamDisplay, 42, 0, 0, "91.00"},
        OpcodeCase{effGetParamDisplay, 0, 0, 0, "0.00"}, OpcodeCase{effGetParamDisplay, 70, 0, 0, "0.00"},
        OpcodeCase{effGetParamName, 1, 0, 0, "Step1"}, OpcodeCase{effGetParamName, 16, 0, 0, "Step16"},
        OpcodeCase{effGetParamName, 17, 0, 0, "Tie1"}, OpcodeCase{effGetParamName, 32, 0, 0, "Tie16"},
        OpcodeCase{effGetParamName, 48, 0, 0, "FD1 LFO->Cutoff"},
        OpcodeCase{effGetParamName, 61, 0, 0, "LFO2 Period"},
        OpcodeCase{effGetParamName, 0, 0, 0, "reserved"}, OpcodeCase{effGetParamName, 62, 0, 0, "reserved"},
        OpcodeCase{effGetParamName, 69, 0, 0, "reserved"}, OpcodeCase{effGetParamName, -1, 0, 0, "reserved"},
        OpcodeCase{effGetVu, 0, 0, 0, nullptr}, OpcodeCase{effEditDraw, 0, 0, 0, nullptr},
        OpcodeCase{effEditMouse, 0, 0, 0, nullptr}, OpcodeCase{effEditKey, 0, 0, 0, nullptr},
        OpcodeCase{effEditTop, 0, 0, 0, nullptr}, OpcodeCase{effEditSleep, 0, 0, 0, nullptr},
        OpcodeCase{effIdentify, 0, 0, 0x4E764566, nullptr}, OpcodeCase{effGetChunk, 0, 0, 0, nullptr},
        OpcodeCase{effSetChunk, 0, 16, 0, nullptr}, OpcodeCase{effCanBeAutomated, 5, 0, 1, nullptr},
        OpcodeCase{effCanBeAutomated, -7, 0, 1, nullptr}, OpcodeCase{effString2Parameter, 5, 0, 0, nullptr},
        OpcodeCase{effGetNumProgramCategories, 0, 0, 1, nullptr},
        OpcodeCase{effGetProgramNameIndexed, 7, 0, 1, "Init Preset 08"},
        OpcodeCase{effGetProgramNameIndexed, 0, 5, 1, "Init Preset 01"},
        OpcodeCase{effCopyProgram, 1, 0, 0, nullptr}, OpcodeCase{effConnectInput, 0, 1, 1, nullptr},
        OpcodeCase{effConnectOutput, 1, 0, 1, nullptr}, OpcodeCase{effGetInputProperties, 0, 0, 0, nullptr},
        OpcodeCase{effGetOutputProperties, 0, 0, 1, "pkr6 1"},
        OpcodeCase{effGetOutputProperties, 1, 0, 1, "pkr6 2"},
        OpcodeCase{effGetPlugCategory, 0, 0, 0, nullptr}, OpcodeCase{effGetCurrentPosition, 0, 0, 0, nullptr},
        OpcodeCase{effGetDestinationBuffer, 0, 0, 0, nullptr}, OpcodeCase{effOfflineNotify, 0, 0, 0, nullptr},
        OpcodeCase{effOfflinePrepare, 0, 0, 0, nullptr}, OpcodeCase{effOfflineRun, 0, 0, 0, nullptr},
        OpcodeCase{effProcessVarIo, 0, 0, 0, nullptr}, OpcodeCase{effSetBypass, 0, 1, 0, nullptr},
        OpcodeCase{effGetEffectName, 0, 0, 1, "plonkrift6v2"}, OpcodeCase{effGetErrorText, 0, 0, 0, nullptr},
        OpcodeCase{effGetVendorString, 0, 0, 1, "plonkrift"},
        OpcodeCase{effGetProductString, 0, 0, 1, "plonkrift6 v2"},
        OpcodeCase{effGetVendorVersion, 0, 0, 1, nullptr}, OpcodeCase{effVendorSpecific, 1, 2, 0, nullptr},
        OpcodeCase{effGetTailSize, 0, 0, 0, nullptr}, OpcodeCase{effIdle, 0, 0, 0, nullptr},
        OpcodeCase{effGetIcon, 0, 0, 0, nullptr}, OpcodeCase{effSetViewPosition, 3, 4, 0, nullptr},
        OpcodeCase{effGetParameterProperties, 1, 0, 0, nullptr},
        OpcodeCase{effKeysRequired, 0, 0, 1, nullptr}, OpcodeCase{effGetVstVersion, 0, 0, 2200, nullptr},
        OpcodeCase{effEditKeyDown, 'a', 0, -1, nullptr}, OpcodeCase{effEditKeyUp, 'a', 0, -1, nullptr},
        OpcodeCase{effSetEditKnobMode, 0, 2, 0, nullptr}, OpcodeCase{effGetMidiProgramName, 0, 0, 0, nullptr},
        OpcodeCase{effGetCurrentMidiProgram, 0, 0, -1, nullptr},
        OpcodeCase{effGetMidiProgramCategory, 0, 0, 0, nullptr},
        OpcodeCase{effHasMidiProgramsChanged, 0, 0, 0, nullptr},
        OpcodeCase{effGetMidiKeyName, 0, 0, 0, nullptr}, OpcodeCase{effBeginSetProgram, 0, 0, 0, nullptr},
        OpcodeCase{effEndSetProgram, 0, 0, 0, nullptr}, OpcodeCase{69, 0, 0, 0, nullptr},
        OpcodeCase{200, 0, 0, 0, nullptr}, OpcodeCase{-1, 0, 0, 0, nullptr}));

using Dispatcher = PluginFixture;

TEST_F(Dispatcher, NamesLongerThanAnyHostBoundAreNotWrittenPastTheirText) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  host->dispatch(effGetProgramNameIndexed, 8, 0, buffer);
  EXPECT_EQ(buffer[0], 'x') << "an index outside 0..7 writes nothing";
  host->dispatch(effGetParamName, 48, 0, buffer);
  EXPECT_EQ(std::strlen(buffer), 15u);
  EXPECT_EQ(buffer[16], 'x');
}

TEST_F(Dispatcher, OutputPinPropertiesTouchOnlyLabelAndFlags) {
  VstPinProperties pin;
  std::memset(&pin, 0x5A, sizeof pin);
  EXPECT_EQ(host->dispatch(effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "pkr6 2");
  EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
  EXPECT_EQ(pin.arrangementType, 0x5A5A5A5A);
  std::memset(&pin, 0x5A, sizeof pin);
  EXPECT_EQ(host->dispatch(effGetOutputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(pin.flags, 0x5A5A5A5A);
}

TEST_F(Dispatcher, CanDoComparesWholeTextsWithCase) {
  const struct {
    const char* text;
    VstIntPtr answer;
  } cases[] = {{"receiveVstEvents", 1},
               {"receiveVstMidiEvent", 1},
               {"receiveVstTimeInfo", 1},
               {"receiveVstMidiEvents", -1},
               {"ReceiveVstEvents", -1},
               {"receiveVst", -1},
               {"", -1},
               {"sendVstEvents", -1}};
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(host->dispatch(effCanDo, 0, 0, text.data()), c.answer) << c.text;
  }
}

// Hosts size their frame before they open the editor (after opening, see the
// editor bridge's tests, which open it into a window in memory).
TEST_F(Dispatcher, EditorRectangleIsTheWindowsSizeBeforeTheEditorOpens) {
  ERect* rect = nullptr;
  ASSERT_EQ(host->dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->right, 719);
  EXPECT_EQ(rect->bottom, 512);
}

TEST_F(Dispatcher, MainsChangedAsksForMidiOnEveryResumeOnly) {
  host->clearCalls();
  host->dispatch(effMainsChanged, 0, 1);
  host->dispatch(effMainsChanged, 0, 0);
  host->dispatch(effMainsChanged, 0, 1);
  const auto calls = host->calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& call : calls) {
    EXPECT_EQ(call.opcode, audioMasterWantMidi);
    EXPECT_EQ(call.value, 1);
  }
}

TEST_F(Dispatcher, SampleRateAndBlockSizeOpcodes) {
  EXPECT_EQ(host->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
  EXPECT_EQ(host->dispatch(effSetBlockSize, 0, 512), 0);
  EXPECT_EQ(host->dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
}

// Any opcode with any operands: nothing crashes, nothing out of range is stored.
TEST_F(Dispatcher, SurvivesRandomOpcodesAndOperands) {
  std::mt19937 random(1234);
  std::uniform_int_distribution<VstInt32> anyInt(INT32_MIN, INT32_MAX);
  const float odd[] = {NAN, INFINITY, -INFINITY, -0.0f, 1e30f, -1e30f, 0.5f, 3.0f};
  alignas(16) char buffer[1024];
  for (int round = 0; round < 20; ++round) {
    for (VstInt32 opcode = -10; opcode <= 200; ++opcode) {
      if (opcode == effClose) continue;
      std::memset(buffer, 0, sizeof buffer);
      const VstInt32 index = round % 3 == 0 ? static_cast<VstInt32>(random() % 80) - 5 : anyInt(random);
      const VstIntPtr value =
          round % 2 == 0 ? static_cast<VstIntPtr>(random() % 20) - 5 : static_cast<VstIntPtr>(random()) << 20;
      void* ptr = round % 4 == 1 ? nullptr : buffer;
      host->dispatch(opcode, index, value, ptr, odd[random() % 8]);
    }
  }
  for (VstInt32 i = -2; i < 72; ++i) {
    const float v = host->getParameter(i);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "slot " << i;
  }
  const VstIntPtr program = host->dispatch(effGetProgram);
  EXPECT_TRUE(program >= 0 && program < 8);
  EXPECT_EQ(effect->magic, 0x56737450);
  EXPECT_EQ(effect->numParams, 70);
}

// Opcodes that read or write through ptr answer 0 and do nothing with a null one.
TEST_F(Dispatcher, NullPointerOperandsAnswerZero) {
  for (VstInt32 opcode = 0; opcode <= 68; ++opcode) {
    if (opcode == effClose) continue;
    for (VstInt32 index : {0, 1, 7}) {
      const VstIntPtr answer = host->dispatch(opcode, index, 0, nullptr);
      switch (opcode) {
        case effIdentify:
          EXPECT_EQ(answer, 0x4E764566);
          break;
        case effCanBeAutomated:
        case effGetNumProgramCategories:
        case effConnectInput:
        case effConnectOutput:
        case effSetBlockSizeAndSampleRate:
        case effGetVendorVersion:
        case effKeysRequired:
          EXPECT_EQ(answer, 1) << opcode;
          break;
        case effGetVstVersion:
          EXPECT_EQ(answer, 2200);
          break;
        case effGetCurrentMidiProgram:
        case effEditKeyDown:
        case effEditKeyUp:
          EXPECT_EQ(answer, -1) << opcode;
          break;
        case effGetProgram:
          EXPECT_EQ(answer, 0);
          break;
        default:
          EXPECT_EQ(answer, 0) << "opcode " << opcode;
          break;
      }
    }
  }
}

}  // namespace
