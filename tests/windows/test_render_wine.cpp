// The DLL in a Windows host: loaded with LoadLibrary, made through
// VSTPluginMain, it plays the built-in demo (made here as plonkrift-render
// makes it, and checked against the input the Linux renderer played) with the
// renderer's host calls, and its output equals the Linux library's bit for
// bit.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/LinuxReferences.h"
#include "tools/hostkit/PluginHost.h"
#include "tools/render/DemoSignal.h"

namespace {

using wintest::ReadWave;
using wintest::TWave;

// The song options of linux_references.sh, case by case.
struct TCase {
  const char* name;
  double tempo;
  double start;
  int block;
};
const TCase kCases[] = {{"demo-120", 120.0, 0.0, 512}, {"demo-93", 93.0, 2.5, 333}};

}  // namespace

TEST(RenderUnderWine, OutputEqualsTheLinuxLibrarysBitForBit) {
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string base = std::string(PLONKRIFT_LINUX_REFERENCES) + "/" + c.name;
    TWave input, expected;
    std::string why;
    ASSERT_TRUE(ReadWave(base + "-dry.wav", input, why)) << why;
    ASSERT_TRUE(ReadWave(base + ".wav", expected, why)) << why;
    ASSERT_EQ(input.samples.size(), expected.samples.size());
    ASSERT_GT(input.samples.size(), 100000u);

    // The demo, then silence for the echoes: what the Linux renderer played.
    render::Demo demo(input.rate, c.tempo);
    std::vector<float> left(input.samples.size() / 2), right(left.size());
    ASSERT_EQ(demo.read(left.data(), right.data(), left.size()), demo.frames());
    std::vector<float> played;
    for (std::size_t k = 0; k < left.size(); ++k) {
      played.push_back(left[k]);
      played.push_back(right[k]);
    }
    ASSERT_EQ(std::memcmp(played.data(), input.samples.data(), played.size() * sizeof(float)), 0)
        << "the demo made here is the Linux renderer's input";

    // The calls plonkrift-render makes, in its order.
    hostkit::PluginHost host;
    VstTimeInfo time{};
    host.timeInfo = &time;
    ASSERT_NE(host.create(library.entry("VSTPluginMain")), nullptr);
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(input.rate));
    host.dispatch(effSetBlockSize, 0, c.block);
    host.dispatch(effMainsChanged, 0, 1);
    const std::size_t frames = input.samples.size() / 2;
    std::vector<float> inL(c.block), inR(c.block), outL(c.block), outR(c.block), output;
    output.reserve(input.samples.size());
    for (std::size_t at = 0; at < frames; at += static_cast<std::size_t>(c.block)) {
      const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(c.block), frames - at);
      for (std::size_t k = 0; k < count; ++k) {
        inL[k] = played[2 * (at + k)];
        inR[k] = played[2 * (at + k) + 1];
      }
      time = VstTimeInfo{};
      time.samplePos = static_cast<double>(at);
      time.sampleRate = input.rate;
      time.ppqPos = c.start + static_cast<double>(at) / input.rate * c.tempo / 60.0;
      time.tempo = c.tempo;
      time.timeSigNumerator = 4;
      time.timeSigDenominator = 4;
      time.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid | kVstTransportPlaying |
                   (at == 0 ? kVstTransportChanged : 0);
      float* inputs[2] = {inL.data(), inR.data()};
      float* outputs[2] = {outL.data(), outR.data()};
      host.processReplacing(inputs, outputs, static_cast<VstInt32>(count));
      for (std::size_t k = 0; k < count; ++k) {
        output.push_back(outL[k]);
        output.push_back(outR[k]);
      }
    }
    host.dispatch(effMainsChanged, 0, 0);

    std::size_t differing = 0, first = output.size();
    for (std::size_t i = 0; i < output.size(); ++i)
      if (std::memcmp(&output[i], &expected.samples[i], sizeof(float)) != 0 && differing++ == 0) first = i;
    EXPECT_EQ(differing, 0u) << "first at frame " << first / 2 << ": " << output[first] << " instead of "
                             << expected.samples[first];
    float peak = 0.0f;
    for (const float s : output) peak = std::max(peak, std::abs(s));
    EXPECT_GT(peak, 0.05f) << "the effect played something";
  }
}
