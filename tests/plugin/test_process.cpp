// The effect class where the host's view hides what matters: the notice of
// missing time information, the host's record as the engine gets it, the
// MIDI value slot and the floating-point mode.

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <memory>
#include <vector>

#include "plugin/APlugin.h"
#include "tests/plugin/engine/EngineFixture.h"

namespace {

VstTimeInfo* currentTime = nullptr;
int timeRequests = 0;
VstIntPtr lastTimeFilter = 0;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr value, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) {
    ++timeRequests;
    lastTimeFilter = value;
    return reinterpret_cast<VstIntPtr>(currentTime);
  }
  return 0;
}

struct Block {
  enginetest::Stereo in, out;
  explicit Block(int frames, float value = 0.5f) : in(frames), out(frames) {
    for (int i = 0; i < frames; ++i) in.left[i] = in.right[i] = value, out.left[i] = out.right[i] = 3.0f;
  }
  void run(APlugin& plugin, bool replacing) {
    float* ins[2] = {in.left.data(), in.right.data()};
    float* outs[2] = {out.left.data(), out.right.data()};
    if (replacing)
      plugin.processReplacing(ins, outs, static_cast<VstInt32>(in.size()));
    else
      plugin.process(ins, outs, static_cast<VstInt32>(in.size()));
  }
};

TEST(EffectTime, MissingTimeInformationIsNotedOnceAndNothingIsProcessed) {
  VstTimeInfo noFlags{};
  noFlags.tempo = 120.0;
  for (VstTimeInfo* record : {static_cast<VstTimeInfo*>(nullptr), &noFlags}) {
    currentTime = record;
    timeRequests = 0;
    auto plugin = std::make_unique<APlugin>(host);
    EXPECT_FALSE(plugin->timeInfoMissing());
    Block replaced(64), added(64);
    replaced.run(*plugin, true);
    added.run(*plugin, false);
    EXPECT_EQ(timeRequests, 2);
    EXPECT_EQ(lastTimeFilter, 9731);
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(replaced.out.left[i], 0.0f);
      ASSERT_EQ(replaced.out.right[i], 0.0f);
      ASSERT_EQ(added.out.left[i], 3.0f) << "process adds nothing";
    }
    EXPECT_TRUE(plugin->timeInfoMissing());
  }
  currentTime = nullptr;
}

// The host's record in the engine's terms: the meter only where the host
// marks it valid and it means a meter; the bar stays four quarter notes.
TEST(EffectTime, TheHostsTimeSignatureIsCarriedWhereValid) {
  const struct {
    VstInt32 flags, numerator, denominator;
    bool valid;
    double beatsPerBar, beatUnit;
  } cases[] = {
      {kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid, 6, 8, true, 6.0, 8.0},
      {kVstTimeSigValid, 3, 4, true, 3.0, 4.0},
      {kVstPpqPosValid | kVstTempoValid, 6, 8, false, 4.0, 4.0},
      {kVstTimeSigValid, 0, 4, false, 4.0, 4.0},
      {kVstTimeSigValid, 7, -8, false, 4.0, 4.0},
  };
  for (const auto& c : cases) {
    VstTimeInfo info{};
    info.ppqPos = 2.5;
    info.tempo = 93.0;
    info.flags = c.flags;
    info.timeSigNumerator = c.numerator;
    info.timeSigDenominator = c.denominator;
    const engine::TimeRecord time = APlugin::timeRecordOf(info);
    EXPECT_EQ(time.MeterValid, c.valid) << c.numerator << "/" << c.denominator;
    EXPECT_EQ(time.BeatsPerBar, c.beatsPerBar);
    EXPECT_EQ(time.BeatUnit, c.beatUnit);
    EXPECT_EQ(time.Beats, 2.5);
    EXPECT_EQ(time.Tempo, 93.0);
  }
}

TEST(EffectTime, FloatingPointModeIsTheHostsAgainOnReturn) {
  VstTimeInfo time{};
  time.tempo = 120.0;
  time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
  currentTime = &time;
  auto plugin = std::make_unique<APlugin>(host);
  auto reference = std::make_unique<APlugin>(host);
  const unsigned saved = _mm_getcsr();
  // A host running with rounding toward zero and no flushing.
  const unsigned hostMode = (saved & ~(3u << 13) & ~(1u << 15) & ~(1u << 6)) | (3u << 13);
  Block a(4096), b(4096);
  b.run(*reference, true);
  _mm_setcsr(hostMode);
  a.run(*plugin, true);
  const unsigned after = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(after & ~0x3Fu, hostMode & ~0x3Fu) << "status flags aside, the host's mode is back";
  EXPECT_EQ(a.out.left, b.out.left) << "the engine rounds to nearest whatever the host's mode";
  currentTime = nullptr;
}

TEST(EffectMidi, EventsSetTheMidiValueOnly) {
  auto plugin = std::make_unique<APlugin>(host);
  auto event = [](unsigned char status, unsigned char second, unsigned char third,
                  VstInt32 type = kVstMidiType) {
    VstMidiEvent e{};
    e.type = type;
    e.byteSize = sizeof e;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(second);
    e.midiData[2] = static_cast<char>(third);
    return e;
  };
  auto send = [&](std::vector<VstMidiEvent> events, VstInt32 count = -100) {
    // The list as hosts build it: count, reserved word, then the pointers.
    std::vector<VstIntPtr> words(2 + events.size() + 1, 0);
    words[0] = static_cast<VstIntPtr>(count == -100 ? static_cast<VstInt32>(events.size()) : count);
    for (std::size_t i = 0; i < events.size(); ++i) words[2 + i] = reinterpret_cast<VstIntPtr>(&events[i]);
    return plugin->processEvents(reinterpret_cast<VstEvents*>(words.data()));
  };
  const struct {
    unsigned char status, second, third;
    VstInt32 type;
    float expected;
  } cases[] = {
      {0x90, 60, 100, kVstMidiType, 100 / 127.0f},  // note on
      {0x91, 60, 0, kVstMidiType, 100 / 127.0f},    // velocity 0: ignored
      {0x80, 60, 64, kVstMidiType, 100 / 127.0f},   // note off: ignored
      {0xB3, 7, 127, kVstMidiType, 1.0f},           // controller
      {0xE0, 64, 99, kVstMidiType, 64 / 127.0f},    // pitch bend: the low data byte
      {0xC0, 5, 5, kVstMidiType, 64 / 127.0f},      // program change: ignored
      {0xB0, 7, 20, 2, 64 / 127.0f},                // not a MIDI event
      {0xB0, 7, 0xFF, kVstMidiType, 1.0f},          // a data byte is seven bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(send({event(c.status, c.second, c.third, c.type)}), 1);
    EXPECT_FLOAT_EQ(plugin->params[parameters::kMidiValue].load(), c.expected) << std::hex << int(c.status);
  }
  EXPECT_EQ(plugin->getParameter(parameters::kMidiValue), 0.0f) << "no parameter operation reaches it";
  EXPECT_EQ(send({}, -5), 1) << "a negative count";
  EXPECT_EQ(send({}), 1);
  // Null pointers in the list are skipped.
  std::vector<VstIntPtr> words = {3, 0, 0, 0, 0};
  EXPECT_EQ(plugin->processEvents(reinterpret_cast<VstEvents*>(words.data())), 1);
  EXPECT_EQ(plugin->processEvents(nullptr), 1);
  // Ten thousand events, every kind.
  std::vector<VstMidiEvent> many;
  for (int i = 0; i < 10000; ++i) many.push_back(event(0x80 + (i % 8) * 16, i & 0x7F, (i * 3) & 0xFF, i % 3));
  EXPECT_EQ(send(many), 1);
  const float value = plugin->params[parameters::kMidiValue].load();
  EXPECT_TRUE(value >= 0.0f && value <= 1.0f);
}

}  // namespace
