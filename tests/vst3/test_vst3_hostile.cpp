// Hosts that get VST3 wrong: bus arrangements the effect cannot take,
// set-ups no audio interface runs, blocks without time, frames, buses or
// buffers, states that are not states. The bundle refuses what it cannot
// do, never crashes, clears the outputs it has, and plays on afterwards as
// if nothing had happened.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <random>

#include "plugin/Parameters.h"
#include "tests/vst3/Vst3Render.h"
#include "vst3/Effect.h"
#include "vst3/Factory.h"
#include "vst3/Identity.h"

namespace vst3test {
namespace {

using namespace parameters;
using vst3::kResultOk;

constexpr double kRate = 44100.0;
constexpr std::int32_t kMostFrames = 4096;

// A block for process calls made by hand: the input a constant, the outputs
// holding a value the plug-in has to overwrite.
struct RawBlock {
  static constexpr int kFrames = 64;
  static constexpr float kStale = 0.5f;

  RawBlock() {
    for (int i = 0; i < kFrames; ++i) {
      inL[i] = inR[i] = 0.25f;
      outL[i] = outR[i] = kStale;
    }
    inputs.numChannels = outputs.numChannels = 2;
    inputs.channelBuffers32 = in;
    outputs.channelBuffers32 = out;
    data.processMode = vst3::kRealtime;
    data.symbolicSampleSize = vst3::kSample32;
    data.numSamples = kFrames;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inputs;
    data.outputs = &outputs;
    data.processContext = &context;
  }
  RawBlock(const RawBlock&) = delete;

  // Every frame of a channel exactly 0, or untouched.
  static bool All(const float* channel, float value) {
    for (int i = 0; i < kFrames; ++i)
      if (std::memcmp(&channel[i], &value, sizeof value) != 0) return false;
    return true;
  }

  float inL[kFrames], inR[kFrames], outL[kFrames], outR[kFrames];
  float* in[2] = {inL, inR};
  float* out[2] = {outL, outR};
  vst3::AudioBusBuffers inputs{}, outputs{};
  vst3::ProcessContext context = hostkit::Vst3SongContext(kRate, 0, 0.0, 120.0, true);
  vst3::ProcessData data{};
};

// The values every case's instance holds before the host misbehaves, set on
// the controller: a state or set-up that was taken in part would show.
const Values kValues = {{kStep1 + 2, 1.0f}, {kFd1Cutoff, 0.6f}, {kGateDecay, 0.15f}, {kFd2Feedback, 0.8f}};

void SetValues(hostkit::Vst3Plugin& plugin, const Values& values) {
  for (const auto& [slot, value] : values)
    ASSERT_EQ(plugin.controller()->setParamNormalized(static_cast<vst3::ParamID>(slot), value), kResultOk);
}

// --- what the host does wrong

// The arrangement is refused; the buses stay stereo; the stereo one is
// taken after it.
std::function<void(hostkit::Vst3Plugin&)> Arrangement(std::vector<vst3::SpeakerArrangement> ins,
                                                      std::vector<vst3::SpeakerArrangement> outs) {
  return [ins, outs](hostkit::Vst3Plugin& plugin) mutable {
    EXPECT_EQ(plugin.processor()->setBusArrangements(ins.data(), static_cast<vst3::int32>(ins.size()),
                                                     outs.data(), static_cast<vst3::int32>(outs.size())),
              vst3::kResultFalse);
    for (const vst3::BusDirection direction : {vst3::kInput, vst3::kOutput}) {
      vst3::SpeakerArrangement now = 0;
      EXPECT_EQ(plugin.processor()->getBusArrangement(direction, 0, now), kResultOk);
      EXPECT_EQ(now, vst3::SpeakerArr::kStereo);
    }
    EXPECT_TRUE(plugin.setup(kRate, kMostFrames));
  };
}

// After a good set-up, one that is refused and leaves the good one in force
// (the song is played without setting up again).
std::function<void(hostkit::Vst3Plugin&)> RefusedSetup(double rate, vst3::int32 maxBlock,
                                                       vst3::int32 sampleSize) {
  return [=](hostkit::Vst3Plugin& plugin) {
    ASSERT_TRUE(plugin.setup(kRate, kMostFrames));
    vst3::ProcessSetup setup{vst3::kRealtime, sampleSize, maxBlock, rate};
    EXPECT_NE(plugin.processor()->setupProcessing(setup), kResultOk);
    if (sampleSize != vst3::kSample32) {
      EXPECT_NE(plugin.processor()->canProcessSampleSize(sampleSize), kResultOk);
    }
  };
}

// The bytes of a good state with other values than kValues.
std::vector<std::uint8_t> OtherState() {
  const auto other = NewPlugin();
  EXPECT_TRUE(other->ok()) << other->faultText();
  for (int slot = kFirst; slot <= kLast; ++slot)
    other->controller()->setParamNormalized(static_cast<vst3::ParamID>(slot), 1.0 - defaultValue(slot));
  hostkit::Vst3Stream stream;
  EXPECT_EQ(other->getState(stream), kResultOk);
  EXPECT_TRUE(other->close()) << other->faultText();
  return stream.bytes();
}

// A state that is refused, the instance's own left as it was.
std::function<void(hostkit::Vst3Plugin&)> BadState(std::function<std::vector<std::uint8_t>()> make) {
  return [make](hostkit::Vst3Plugin& plugin) {
    hostkit::Vst3Stream before, after;
    ASSERT_EQ(plugin.getState(before), kResultOk);
    hostkit::Vst3Stream bad(make());
    EXPECT_NE(plugin.setState(bad), kResultOk);
    ASSERT_EQ(plugin.getState(after), kResultOk);
    EXPECT_EQ(after.bytes(), before.bytes());
    EXPECT_TRUE(plugin.setup(kRate, kMostFrames));
  };
}

// One block made by hand while the processor runs: the plug-in answers
// kResultOk (or refuses the block, where noted) and leaves what check says. No block here has
// time, frames and buses at once: the engine never runs, so the song
// afterwards plays as from a fresh instance.
std::function<void(hostkit::Vst3Plugin&)> Block(std::function<void(RawBlock&)> spoil,
                                                std::function<void(const RawBlock&)> check,
                                                bool refused = false) {
  return [=](hostkit::Vst3Plugin& plugin) {
    ASSERT_TRUE(plugin.setup(kRate, kMostFrames));
    ASSERT_TRUE(plugin.start());
    RawBlock block;
    spoil(block);
    EXPECT_EQ(plugin.processor()->process(block.data) != kResultOk, refused);
    check(block);
    ASSERT_TRUE(plugin.stop());
  };
}

void Silent(const RawBlock& b) {
  EXPECT_TRUE(RawBlock::All(b.outL, 0.0f));
  EXPECT_TRUE(RawBlock::All(b.outR, 0.0f));
}

void Untouched(const RawBlock& b) {
  EXPECT_TRUE(RawBlock::All(b.outL, RawBlock::kStale));
  EXPECT_TRUE(RawBlock::All(b.outR, RawBlock::kStale));
}

// A random state, the same every run.
std::vector<std::uint8_t> Random(std::size_t size, std::size_t keep = 0) {
  std::vector<std::uint8_t> bytes = OtherState();
  bytes.resize(size);
  std::mt19937 random(20240611);
  for (std::size_t i = keep; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(random());
  return bytes;
}

struct HostileCase {
  const char* what;
  std::function<void(hostkit::Vst3Plugin&)> act;
  Values alsoSet = {};  // values the act sets as a host may
};

constexpr vst3::SpeakerArrangement kStereo = vst3::SpeakerArr::kStereo;
constexpr vst3::SpeakerArrangement kMono = vst3::SpeakerArr::kMono;
// L, R, centre, LFE, surround left and right.
constexpr vst3::SpeakerArrangement k51 = 0x3F;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Vst3Hostile, RefusedCallsAndBrokenBlocksLeaveTheEffectPlayingAsBefore) {
  static hostkit::Vst3ParameterChanges flush;
  flush.clear();
  flush.add(kFd1Feedback, 0, 0.95);
  const HostileCase cases[] = {
      {"a mono bus each way", Arrangement({kMono}, {kMono})},
      {"5.1 each way", Arrangement({k51}, {k51})},
      {"stereo in, mono out", Arrangement({kStereo}, {kMono})},
      {"two stereo buses each way", Arrangement({kStereo, kStereo}, {kStereo, kStereo})},
      {"no buses", Arrangement({}, {})},
      {"a rate of 0", RefusedSetup(0.0, 512, vst3::kSample32)},
      {"a rate that is NaN", RefusedSetup(kNaN, 512, vst3::kSample32)},
      {"a rate of 1e12", RefusedSetup(1e12, 512, vst3::kSample32)},
      {"a negative rate", RefusedSetup(-kRate, 512, vst3::kSample32)},
      {"a negative block size", RefusedSetup(kRate, -512, vst3::kSample32)},
      {"64-bit samples", RefusedSetup(kRate, 512, vst3::kSample64)},
      {"an empty state", BadState([] { return std::vector<std::uint8_t>{}; })},
      {"a state cut a byte short", BadState([] {
         auto bytes = OtherState();
         bytes.pop_back();
         return bytes;
       })},
      {"a state cut after its header", BadState([] { return Random(12, 12); })},
      {"random bytes", BadState([] { return Random(2400); })},
      {"a good header over random bytes", BadState([] { return Random(OtherState().size(), 12); })},
      {"a state whose header declares a byte more than follows", BadState([] {
         auto bytes = OtherState();
         ++bytes[8];  // the payload's length, little-endian
         return bytes;
       })},
      {"a block without a context: silence",
       Block([](RawBlock& b) { b.data.processContext = nullptr; }, Silent)},
      {"a context that marks nothing known: silence",
       Block([](RawBlock& b) { b.context.state = 0; }, Silent)},
      {"a block of no frames with a change: a flush",
       Block(
           [](RawBlock& b) {
             b.data.numSamples = 0;
             b.data.inputParameterChanges = &flush;
           },
           Untouched),
       {{kFd1Feedback, 0.95f}}},
      {"a negative frame count", Block([](RawBlock& b) { b.data.numSamples = -5; }, Untouched)},
      {"no input bus", Block(
                           [](RawBlock& b) {
                             b.data.numInputs = 0;
                             b.data.inputs = nullptr;
                           },
                           Silent)},
      {"an input bus without buffers",
       Block([](RawBlock& b) { b.inputs.channelBuffers32 = nullptr; }, Silent)},
      {"an input channel missing", Block([](RawBlock& b) { b.in[1] = nullptr; }, Silent)},
      {"an output channel missing", Block([](RawBlock& b) { b.out[1] = nullptr; },
                                          [](const RawBlock& b) {
                                            EXPECT_TRUE(RawBlock::All(b.outL, 0.0f));
                                            EXPECT_TRUE(RawBlock::All(b.outR, RawBlock::kStale));
                                          })},
      {"mono buses", Block(
                         [](RawBlock& b) {
                           b.inputs.numChannels = 1;
                           b.outputs.numChannels = 1;
                         },
                         [](const RawBlock& b) { EXPECT_TRUE(RawBlock::All(b.outL, 0.0f)); })},
      {"no output bus", Block(
                            [](RawBlock& b) {
                              b.data.numOutputs = 0;
                              b.data.outputs = nullptr;
                            },
                            Untouched)},
      {"a block of 64-bit samples: refused",
       Block([](RawBlock& b) { b.data.symbolicSampleSize = vst3::kSample64; }, Untouched, true)},
  };

  Song song;
  song.frames = 2 * 88200;
  song.segments = {{0, 0.0, 120.0, true}};
  Playing alreadySetUp;
  alreadySetUp.setUp = false;
  std::map<Values, Stereo> expected;
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto plugin = NewPlugin();
    ASSERT_TRUE(plugin->ok()) << plugin->faultText();
    ASSERT_NO_FATAL_FAILURE(SetValues(*plugin, kValues));
    c.act(*plugin);
    Values values = kValues;
    values.insert(values.end(), c.alsoSet.begin(), c.alsoSet.end());
    for (const auto& [slot, value] : values)
      EXPECT_EQ(plugin->controller()->getParamNormalized(static_cast<vst3::ParamID>(slot)), value);
    if (!expected.count(values)) expected[values] = RenderVst(song, 256, values);
    EXPECT_EQ(Difference(expected[values], Play(*plugin, song, alreadySetUp)), "");
    EXPECT_TRUE(plugin->close()) << plugin->faultText();
  }
}

// The editor's notice reads the effect's missing-time state: the effect is
// made here from the wrapper's own factory, linked in, to read it.
TEST(Vst3Hostile, ABlockWithoutTimeTellsTheEditorUntilTimeComesBack) {
  hostkit::Vst3Plugin plugin(&vst3plugin::TheFactory(), vst3plugin::kEffectClassId);
  ASSERT_TRUE(plugin.ok()) << plugin.faultText();
  const EffectCore& core = static_cast<vst3plugin::Effect*>(plugin.component())->core();
  ASSERT_TRUE(plugin.setup(kRate, RawBlock::kFrames));
  ASSERT_TRUE(plugin.start());
  RawBlock block;
  EXPECT_FALSE(core.timeInfoMissing());
  ASSERT_EQ(plugin.process(block.in, block.out, RawBlock::kFrames, nullptr, nullptr), kResultOk);
  EXPECT_TRUE(core.timeInfoMissing());
  Silent(block);
  ASSERT_EQ(plugin.process(block.in, block.out, RawBlock::kFrames, &block.context, nullptr), kResultOk);
  EXPECT_FALSE(core.timeInfoMissing());
  EXPECT_TRUE(plugin.close()) << plugin.faultText();
}

}  // namespace
}  // namespace vst3test
