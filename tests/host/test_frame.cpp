// The frame classes on their own: host requests, defaults, the key record.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "host/AudioEffectX.h"

namespace {

struct Sent {
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  void* ptr;
  float opt;
};

std::vector<Sent> sent;
VstIntPtr nextAnswer = 0;

VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  sent.push_back({opcode, index, value, ptr, opt});
  return nextAnswer;
}

class Effect : public AudioEffectX {
 public:
  explicit Effect(audioMasterCallback master) : AudioEffectX(master, 4, 10) {}
  void process(float**, float**, VstInt32) override {}
  float getVu() override { return vu; }
  void setProgram(VstInt32 program) override {
    ++setProgramCalls;
    AudioEffectX::setProgram(program);
  }
  float vu = 0.0f;
  int setProgramCalls = 0;
};

class KeyEditor : public AEffEditor {
 public:
  using AEffEditor::AEffEditor;
  VstInt32 onKeyDown(VstKeyCode& key) override {
    last = key;
    return 7;
  }
  VstKeyCode last{};
};

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    sent.clear();
    nextAnswer = 0;
  }
};

TEST_F(Frame, RequestsWithoutCallbackAnswerTheirDefaults) {
  Effect effect(nullptr);
  effect.setSampleRate(48000.0f);
  effect.setBlockSize(333);
  EXPECT_EQ(effect.getMasterVersion(), 1);
  EXPECT_TRUE(effect.isInputConnected(0));
  EXPECT_TRUE(effect.isOutputConnected(1));
  EXPECT_EQ(effect.getTimeInfo(0x2603), nullptr);
  EXPECT_EQ(effect.updateSampleRate(), 48000.0);
  EXPECT_EQ(effect.updateBlockSize(), 333);
  EXPECT_FALSE(effect.sizeWindow(10, 10));
  EXPECT_EQ(effect.getCurrentUniqueId(), 0);
  EXPECT_FALSE(effect.getHostVendorString(nullptr));
  EXPECT_EQ(effect.canHostDo(nullptr), 0);
  effect.setParameterAutomated(1, 0.5f);  // no host to tell, no crash
}

TEST_F(Frame, RequestsCarryTheirOperands) {
  Effect effect(recordingHost);
  char text[64] = {};
  int dummy = 0;
  const struct {
    std::function<void()> call;
    Sent expected;
  } cases[] = {
      {[&] { effect.setParameterAutomated(3, 0.25f); }, {audioMasterAutomate, 3, 0, nullptr, 0.25f}},
      {[&] { effect.getTimeInfo(0x2603); }, {audioMasterGetTime, 0, 0x2603, nullptr, 0.0f}},
      {[&] { effect.wantEvents(1); }, {audioMasterWantMidi, 0, 1, nullptr, 0.0f}},
      {[&] { effect.isInputConnected(2); }, {audioMasterPinConnected, 2, 0, nullptr, 0.0f}},
      {[&] { effect.isOutputConnected(1); }, {audioMasterPinConnected, 1, 1, nullptr, 0.0f}},
      {[&] { effect.sizeWindow(719, 512); }, {audioMasterSizeWindow, 719, 512, nullptr, 0.0f}},
      {[&] { effect.getHostVendorString(text); }, {audioMasterGetVendorString, 0, 0, text, 0.0f}},
      {[&] { effect.getHostProductString(text); }, {audioMasterGetProductString, 0, 0, text, 0.0f}},
      {[&] { effect.hostVendorSpecific(5, 6, &dummy, 1.5f); },
       {audioMasterVendorSpecific, 5, 6, &dummy, 1.5f}},
      {[&] { effect.setOutputSampleRate(96000.0f); },
       {audioMasterSetOutputSampleRate, 0, 0, nullptr, 96000.0f}},
      {[&] { effect.offlineStart(&dummy, 3, 2); }, {audioMasterOfflineStart, 2, 3, &dummy, 0.0f}},
      {[&] { effect.offlineRead(&dummy, 4, true); }, {audioMasterOfflineRead, 1, 4, &dummy, 0.0f}},
      {[&] { effect.beginEdit(9); }, {audioMasterBeginEdit, 9, 0, nullptr, 0.0f}},
      {[&] { effect.endEdit(9); }, {audioMasterEndEdit, 9, 0, nullptr, 0.0f}},
      {[&] { effect.tempoAt(44); }, {audioMasterTempoAt, 0, 44, nullptr, 0.0f}},
  };
  for (const auto& c : cases) {
    sent.clear();
    c.call();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].opcode, c.expected.opcode);
    EXPECT_EQ(sent[0].index, c.expected.index) << "opcode " << c.expected.opcode;
    EXPECT_EQ(sent[0].value, c.expected.value) << "opcode " << c.expected.opcode;
    EXPECT_EQ(sent[0].ptr, c.expected.ptr) << "opcode " << c.expected.opcode;
    EXPECT_EQ(sent[0].opt, c.expected.opt) << "opcode " << c.expected.opcode;
  }
  sent.clear();
  EXPECT_FALSE(effect.openFileSelector(nullptr));
  EXPECT_TRUE(sent.empty()) << "a null selector is not sent";
}

TEST_F(Frame, AnswersAreConverted) {
  Effect effect(recordingHost);
  nextAnswer = 0;
  EXPECT_EQ(effect.getMasterVersion(), 1) << "a zero version counts as 1";
  EXPECT_TRUE(effect.isInputConnected(0)) << "0 means connected";
  nextAnswer = 1;
  EXPECT_FALSE(effect.isInputConnected(0));
  nextAnswer = 77;
  EXPECT_EQ(effect.offlineGetCurrentPass(), 1);
  EXPECT_EQ(effect.canHostDo(nullptr), 1);
  EXPECT_TRUE(effect.sizeWindow(1, 1));
  EXPECT_EQ(effect.getMasterVersion(), 77);
  EXPECT_EQ(effect.updateSampleRate(), 44100.0) << "the host's answer is ignored";
}

TEST_F(Frame, RecordSettersAndFlags) {
  Effect effect(nullptr);
  AEffect* record = effect.getAeffect();
  EXPECT_EQ(record->uniqueID, FourCharCode('N', 'o', 'E', 'f'));
  EXPECT_EQ(record->numInputs, 1);
  EXPECT_EQ(record->flags, 0);
  effect.isSynth(true);
  EXPECT_EQ(effect.getPlugCategory(), 2);
  effect.isSynth(false);
  EXPECT_EQ(effect.getPlugCategory(), 0);
  effect.hasVu(true);
  effect.hasClip(true);
  effect.canMono(true);
  effect.programsAreChunks(true);
  effect.noTail(true);
  effect.wantAsyncOperation(true);
  effect.hasExternalBuffer(true);
  EXPECT_EQ(record->flags, 4 | 2 | 8 | 32 | 512 | 1024 | 2048);
  effect.hasVu(false);
  effect.programsAreChunks(false);
  EXPECT_EQ(record->flags, 2 | 8 | 512 | 1024 | 2048);
  KeyEditor* editor = new KeyEditor(&effect);
  effect.setEditor(editor);
  EXPECT_EQ(record->flags & effFlagsHasEditor, effFlagsHasEditor);
}

TEST_F(Frame, KeyRecordIsBuiltFromTheOperands) {
  Effect effect(nullptr);
  auto* editor = new KeyEditor(&effect);
  effect.setEditor(editor);
  EXPECT_EQ(effect.dispatcher(effEditKeyDown, 'q', 0x1234, nullptr, 2.5f), 7);
  EXPECT_EQ(editor->last.character, 'q');
  EXPECT_EQ(editor->last.virt, 0x34);
  EXPECT_EQ(editor->last.modifier, 2) << "2.5 rounds half to even";
  effect.dispatcher(effEditKeyDown, -5, -1, nullptr, 3.5f);
  EXPECT_EQ(editor->last.character, -5);
  EXPECT_EQ(editor->last.virt, 0xFF);
  EXPECT_EQ(editor->last.modifier, 4);
  EXPECT_EQ(effect.dispatcher(effEditKeyUp, 0, 0, nullptr, 0.0f), -1) << "the base answers -1";
}

TEST_F(Frame, ProgramOpcodePassesOnlyValuesBelowTheCount) {
  Effect effect(nullptr);
  effect.dispatcher(effSetProgram, 0, 4, nullptr, 0.0f);
  effect.dispatcher(effSetProgram, 0, VstIntPtr{1} << 40, nullptr, 0.0f);
  EXPECT_EQ(effect.setProgramCalls, 0);
  effect.dispatcher(effSetProgram, 0, 3, nullptr, 0.0f);
  EXPECT_EQ(effect.getProgram(), 3);
  effect.dispatcher(effSetProgram, 0, -1, nullptr, 0.0f);
  EXPECT_EQ(effect.setProgramCalls, 2) << "negative values are passed on for the effect to refuse";
  // A value whose low 32 bits would name a valid program still is not one.
  effect.dispatcher(effSetProgram, 0, -(VstIntPtr{1} << 32) + 2, nullptr, 0.0f);
  EXPECT_EQ(effect.getProgram(), INT32_MIN) << "passed on clamped, not cut to its low 32 bits (2)";
}

TEST_F(Frame, VuIsScaledAndRoundedHalfToEven) {
  Effect effect(nullptr);
  effect.vu = 0.5f;  // 16383.5
  EXPECT_EQ(effect.dispatcher(effGetVu, 0, 0, nullptr, 0.0f), 16384);
  effect.vu = NAN;
  EXPECT_EQ(effect.dispatcher(effGetVu, 0, 0, nullptr, 0.0f), 0);
  effect.vu = 1e30f;
  EXPECT_EQ(effect.dispatcher(effGetVu, 0, 0, nullptr, 0.0f), 2147483647);
}

TEST_F(Frame, EditorOpcodesWithoutEditorAnswerZero) {
  Effect effect(nullptr);
  ERect* rect = nullptr;
  for (VstInt32 opcode :
       std::initializer_list<VstInt32>{effEditGetRect, effEditOpen, effEditClose, effEditIdle, effEditKeyDown,
                                       effEditKeyUp, effSetEditKnobMode})
    EXPECT_EQ(effect.dispatcher(opcode, 0, 0, &rect, 0.0f), 0) << opcode;
}

}  // namespace
