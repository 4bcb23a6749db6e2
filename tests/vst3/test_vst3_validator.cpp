// The bundle checked as a validator checks a VST3 module, in a program of
// its own so the sanitizer builds run it: loaded, used and unloaded again and
// again, and its controller called from one thread while another processes.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "plugin/Parameters.h"
#include "tools/hostkit/Vst3Host.h"

namespace {

using namespace parameters;
using vst3::kResultOk;

constexpr double kRate = 44100.0;
constexpr int kFrames = 256;

// Pixman, which the module's Cairo brings in, builds its tables in a
// constructor and never frees them: unloaded with the module every cycle,
// each copy would be lost. A host whose own toolkit draws with Cairo has it
// loaded for good; so has this one, and whatever LeakSanitizer still finds
// is the module's own.
class KeepPixmanLoaded : public ::testing::Environment {
  void SetUp() override { dlopen("libpixman-1.so.0", RTLD_NOW | RTLD_NODELETE); }
};
::testing::Environment* const kPixman = ::testing::AddGlobalTestEnvironment(new KeepPixmanLoaded);

// A second of the song at 120 BPM through an instance set up and started:
// a tone in, a value changed mid-block every few blocks.
std::vector<float> PlayASecond(hostkit::Vst3Plugin& plugin) {
  std::vector<float> out;
  std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
  hostkit::Vst3ParameterChanges changes;
  for (std::int64_t at = 0; at < static_cast<std::int64_t>(kRate); at += kFrames) {
    for (int i = 0; i < kFrames; ++i) inL[i] = inR[i] = static_cast<float>(std::sin(0.05 * double(at + i)));
    changes.clear();
    if ((at / kFrames) % 7 == 3) changes.add(kFd1Cutoff, 100, static_cast<double>(at % 1000) / 1000.0);
    vst3::ProcessContext context =
        hostkit::Vst3SongContext(kRate, at, static_cast<double>(at) / kRate * 2.0, 120.0, true);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    if (plugin.process(inputs, outputs, kFrames, &context, &changes) != kResultOk) break;
    out.insert(out.end(), outL.begin(), outL.end());
    out.insert(out.end(), outR.begin(), outR.end());
  }
  return out;
}

TEST(Vst3Validator, FiftyCyclesOfLoadInstantiateProcessUnload) {
  std::vector<float> first;
  for (int cycle = 0; cycle < 50; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    hostkit::Vst3Module module(PLONKRIFT_VST3_BUNDLE);
    ASSERT_TRUE(module.ok()) << module.error();
    const hostkit::Vst3ClassInfo* effect = module.audioEffect();
    ASSERT_NE(effect, nullptr);
    if (cycle == 0) {
      EXPECT_EQ(std::string(module.factoryInfo().vendor), "plonkrift");
      EXPECT_EQ(effect->name, "plonkrift6");
      EXPECT_EQ(effect->cardinality, vst3::PClassInfo::kManyInstances);
      EXPECT_TRUE(effect->hasInfo2);
      EXPECT_EQ(effect->subCategories, "Fx|Delay");
      EXPECT_EQ(effect->version, PLONKRIFT_VERSION);
    }
    {
      hostkit::Vst3Plugin plugin(module.factory(), effect->cid);
      ASSERT_TRUE(plugin.ok()) << plugin.faultText();
      ASSERT_TRUE(plugin.setup(kRate, kFrames)) << plugin.faultText();
      ASSERT_TRUE(plugin.start()) << plugin.faultText();
      const std::vector<float> out = PlayASecond(plugin);
      ASSERT_EQ(out.size(), 2u * kFrames * (static_cast<std::size_t>(kRate) / kFrames + 1));
      // Every load plays the same, and plays something.
      if (cycle == 0) {
        first = out;
        float peak = 0.0f;
        for (float x : out) peak = std::max(peak, std::fabs(x));
        EXPECT_GT(peak, 0.01f);
      } else {
        EXPECT_EQ(std::memcmp(out.data(), first.data(), out.size() * sizeof(float)), 0);
      }
      EXPECT_TRUE(plugin.close()) << plugin.faultText();
    }
    EXPECT_TRUE(module.close()) << module.error();
  }
}

// The controller's calls a host's user-interface thread makes while the
// audio thread processes: the values stay values, the state stays a state,
// and ThreadSanitizer finds no race.
TEST(Vst3Threads, ControllerCallsWhileProcessing) {
  hostkit::Vst3Module module(PLONKRIFT_VST3_BUNDLE);
  ASSERT_TRUE(module.ok()) << module.error();
  hostkit::Vst3Plugin plugin(module.factory(), module.audioEffect()->cid);
  ASSERT_TRUE(plugin.ok()) << plugin.faultText();
  ASSERT_TRUE(plugin.setup(kRate, kFrames));
  ASSERT_TRUE(plugin.start());

  std::atomic<bool> done{false};
  std::vector<float> audio;
  std::thread audioThread([&] {
    for (int second = 0; second < 3; ++second) {
      const std::vector<float> out = PlayASecond(plugin);
      audio.insert(audio.end(), out.begin(), out.end());
    }
    done.store(true);
  });

  vst3::IEditController* controller = plugin.controller();
  int calls = 0;
  bool valuesInRange = true, statesSaved = true, textsGiven = true;
  for (int round = 0; !done.load() || round < 20; ++round) {
    for (int slot = kFirst; slot <= kLast; ++slot) {
      const double value = controller->getParamNormalized(static_cast<vst3::ParamID>(slot));
      valuesInRange = valuesInRange && value >= 0.0 && value <= 1.0;
      vst3::String128 text = {};
      textsGiven =
          textsGiven &&
          controller->getParamStringByValue(static_cast<vst3::ParamID>(slot), value, text) == kResultOk &&
          text[0] != 0;
    }
    const auto slot = static_cast<vst3::ParamID>(kFirst + round % (kLast - kFirst + 1));
    EXPECT_EQ(controller->setParamNormalized(slot, (round % 10) / 10.0), kResultOk);
    hostkit::Vst3Stream state;
    statesSaved = statesSaved && controller->getState(&state) == kResultOk && state.bytes().size() >= 12;
    ++calls;
  }
  audioThread.join();
  EXPECT_TRUE(valuesInRange);
  EXPECT_TRUE(textsGiven);
  EXPECT_TRUE(statesSaved);
  EXPECT_GE(calls, 20);
  for (float x : audio) ASSERT_TRUE(std::isfinite(x));

  // What it saves last loads into a new instance.
  hostkit::Vst3Stream last;
  ASSERT_EQ(plugin.getState(last), kResultOk);
  EXPECT_TRUE(plugin.close()) << plugin.faultText();
  hostkit::Vst3Plugin restored(module.factory(), module.audioEffect()->cid);
  last.rewind();
  EXPECT_EQ(restored.setState(last), kResultOk);
  EXPECT_TRUE(restored.close()) << restored.faultText();
  EXPECT_TRUE(module.close()) << module.error();
}

}  // namespace
