// The VST3 module in a Windows host: the bundle loaded through our VST3 host
// kit (LoadLibraryW and InitDll), it plays the built-in demo with the host's
// transport, and with a program and values set as parameter changes, and its
// output equals the Linux VST 2 library's bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/LinuxReferences.h"
#include "tools/hostkit/Vst3Host.h"
#include "tools/render/DemoSignal.h"

namespace {

using wintest::ReadWave;
using wintest::TWave;

// The values linux_references.sh sets with --set for demo-program: (slot,
// value) as the VST3 parameter IDs take them (the slots' numbers). The eight
// programs start alike: the values, not the program, make this case differ.
struct TValue {
  vst3::ParamID id;
  double value;
};
const std::vector<TValue> kProgramValues = {{2, 1.0}, {5, 0.0}, {36, 0.25}, {41, 0.75}, {59, 0.5}};

// The song options of linux_references.sh, case by case.
struct TCase {
  const char* name;
  double tempo;
  double start;
  std::int32_t block;
  int program;  // -1: none set
  std::vector<TValue> values;
};
const TCase kCases[] = {
    {"demo-120", 120.0, 0.0, 512, -1, {}},
    {"demo-93", 93.0, 2.5, 333, -1, {}},
    {"demo-program", 110.0, 0.0, 256, 3, kProgramValues},
};

struct TProgramParameter {
  vst3::ParamID id = 0;
  std::int32_t entries = 0;
};

TProgramParameter FindProgramParameter(hostkit::Vst3Plugin& plugin) {
  TProgramParameter program;
  for (const vst3::ParameterInfo& info : plugin.parameters())
    if ((info.flags & vst3::ParameterInfo::kIsProgramChange) != 0) program = {info.id, info.stepCount + 1};
  return program;
}

// The input the Linux renderer played: the demo, then silence.
std::vector<float> Played(const TWave& input, double tempo) {
  render::Demo demo(input.rate, tempo);
  std::vector<float> left(input.samples.size() / 2), right(left.size()), played;
  demo.read(left.data(), right.data(), left.size());
  for (std::size_t k = 0; k < left.size(); ++k) {
    played.push_back(left[k]);
    played.push_back(right[k]);
  }
  return played;
}

// The case played through a new instance as a host plays a song: set up,
// the program and values as changes at the first block's start, blocks
// with the transport rolling from the case's song position.
std::vector<float> Play(hostkit::Vst3Module& module, const TCase& c, double rate,
                        const std::vector<float>& in) {
  hostkit::Vst3Plugin plugin(module.factory(), module.audioEffect()->cid);
  EXPECT_TRUE(plugin.ok()) << plugin.faultText();
  if (!plugin.ok()) return {};
  const TProgramParameter programs = FindProgramParameter(plugin);
  EXPECT_GT(programs.entries, 8);
  hostkit::Vst3ParameterChanges changes;
  if (c.program >= 0) changes.add(programs.id, 0, static_cast<double>(c.program) / (programs.entries - 1));
  for (const TValue& v : c.values) changes.add(v.id, 0, v.value);
  EXPECT_TRUE(plugin.setup(rate, c.block));
  EXPECT_TRUE(plugin.start());

  const std::size_t frames = in.size() / 2;
  const std::int64_t startSamples = std::llround(c.start * 60.0 / c.tempo * rate);
  std::vector<float> inL(c.block), inR(c.block), outL(c.block), outR(c.block), output;
  output.reserve(in.size());
  for (std::size_t at = 0; at < frames; at += static_cast<std::size_t>(c.block)) {
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(c.block), frames - at);
    for (std::size_t k = 0; k < count; ++k) {
      inL[k] = in[2 * (at + k)];
      inR[k] = in[2 * (at + k) + 1];
    }
    vst3::ProcessContext context =
        hostkit::Vst3SongContext(rate, startSamples + static_cast<std::int64_t>(at),
                                 c.start + static_cast<double>(at) / rate * c.tempo / 60.0, c.tempo, true);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    EXPECT_EQ(plugin.process(inputs, outputs, static_cast<std::int32_t>(count), &context,
                             at == 0 && !changes.empty() ? &changes : nullptr),
              vst3::kResultOk);
    for (std::size_t k = 0; k < count; ++k) {
      output.push_back(outL[k]);
      output.push_back(outR[k]);
    }
  }
  EXPECT_TRUE(plugin.stop());
  EXPECT_TRUE(plugin.close()) << plugin.faultText();
  return output;
}

}  // namespace

TEST(Vst3UnderWine, TheDemoEqualsTheLinuxVst2RenderBitForBit) {
  hostkit::Vst3Module module(PLONKRIFT_VST3_BUNDLE);
  ASSERT_TRUE(module.ok()) << module.error();
  ASSERT_NE(module.audioEffect(), nullptr);
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TWave input, expected;
    std::string why;
    ASSERT_TRUE(ReadWave(wintest::LinuxReference(std::string(c.name) + "-dry.wav"), input, why)) << why;
    ASSERT_TRUE(ReadWave(wintest::LinuxReference(std::string(c.name) + ".wav"), expected, why)) << why;
    ASSERT_EQ(input.samples.size(), expected.samples.size());
    ASSERT_GT(input.samples.size(), 100000u);
    const std::vector<float> played = Played(input, c.tempo);
    ASSERT_EQ(wintest::Difference(played, input.samples), "")
        << "the demo made here is the Linux renderer's input";

    const std::vector<float> output = Play(module, c, input.rate, played);
    EXPECT_EQ(wintest::Difference(output, expected.samples), "");
    float peak = 0.0f;
    for (const float s : output) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.05f) << "the effect played something";
  }
  EXPECT_TRUE(module.close()) << module.error();
}
