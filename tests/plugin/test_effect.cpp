// The effect class itself, where the host's view hides what matters.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "plugin/APlugin.h"

namespace {

struct Automation {
  VstInt32 index;
  float value;
  float storedAtTheTime;
};

std::vector<Automation> automations;
APlugin* current = nullptr;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterAutomate) automations.push_back({index, opt, current->getParameter(index)});
  return 0;
}

TEST(Effect, AutomationIsSentAfterTheValueIsStored) {
  automations.clear();
  auto plugin = std::make_unique<APlugin>(host);
  current = plugin.get();
  plugin->setParameterAutomated(36, 0.25f);
  plugin->setParameterAutomated(36, 1.5f);
  ASSERT_EQ(automations.size(), 2u);
  EXPECT_EQ(automations[0].index, 36);
  EXPECT_EQ(automations[0].value, 0.25f);
  EXPECT_EQ(automations[0].storedAtTheTime, 0.25f);
  EXPECT_EQ(automations[1].value, 1.5f) << "the host hears the value as passed";
  EXPECT_EQ(automations[1].storedAtTheTime, 1.0f);
  current = nullptr;
}

TEST(Effect, HostTextsAreKeptFromConstruction) {
  APlugin plugin([](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) -> VstIntPtr {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetVendorString) std::strcpy(static_cast<char*>(ptr), "Vendor");
    if (opcode == audioMasterGetProductString) return 0;  // writes nothing
    return 1;
  });
  EXPECT_STREQ(plugin.getHostVendor(), "Vendor");
  EXPECT_STREQ(plugin.getHostProduct(), "");
}

TEST(Effect, VuIsZeroEvenRightAfterLoudProcessing) {
  static VstTimeInfo time{};
  time.tempo = 120.0;
  time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
  APlugin plugin([](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
    if (opcode == audioMasterVersion) return 2400;
    return opcode == audioMasterGetTime ? reinterpret_cast<VstIntPtr>(&time) : 0;
  });
  std::vector<float> left(4096, 0.9f), right(4096, -0.7f), outL(4096), outR(4096);
  float* in[2] = {left.data(), right.data()};
  float* out[2] = {outL.data(), outR.data()};
  plugin.processReplacing(in, out, 4096);
  ASSERT_NE(outL[4000], 0.0f) << "the block was processed";
  EXPECT_EQ(plugin.dispatcher(effGetVu, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(plugin.getAeffect()->flags & effFlagsHasVu, 0) << "no meter announced";
}

}  // namespace
