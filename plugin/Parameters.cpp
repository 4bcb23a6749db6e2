#include "plugin/Parameters.h"

namespace parameters {

namespace {

constexpr const char* kStepNames[16] = {"Step1",  "Step2",  "Step3",  "Step4",  "Step5",  "Step6",
                                        "Step7",  "Step8",  "Step9",  "Step10", "Step11", "Step12",
                                        "Step13", "Step14", "Step15", "Step16"};
constexpr const char* kTieNames[16] = {"Tie1", "Tie2",  "Tie3",  "Tie4",  "Tie5",  "Tie6",  "Tie7",  "Tie8",
                                       "Tie9", "Tie10", "Tie11", "Tie12", "Tie13", "Tie14", "Tie15", "Tie16"};

struct NamedSlot {
  const char* name;
  float defaultValue;
};

// Slots 33..61 in order.
constexpr NamedSlot kNamedSlots[] = {
    {"Gate Enable", 1.0f},     {"Gate Attack", 0.0f},      {"Gate Decay", 0.4f},        {"Gate Shuffle", 0.0f},
    {"Gate Volume", 0.7f},     {"FD1 Volume", 0.7f},       {"FD2 Volume", 0.7f},        {"FD1 Enable", 1.0f},
    {"FD1 Cutoff", 0.1f},      {"FD1 Reso", 0.91f},        {"FD1 Filter Type", 0.0f},   {"FD1 Delay Time", 0.25f},
    {"FD1 Feedback", 0.5f},    {"FD1 Pan", 0.6f},          {"FD1 Delay Sync", 1.0f},    {"FD1 LFO->Cutoff", 0.3f},
    {"FD1 LFO->Pan", 0.7f},    {"FD2 Enable", 1.0f},       {"FD2 Cutoff", 0.35f},       {"FD2 Reso", 0.92f},
    {"FD2 Filter Type", 1.0f}, {"FD2 Delay Time", 0.75f},  {"FD2 Feedback", 0.5f},      {"FD2 Pan", 0.4f},
    {"FD2 Delay Sync", 1.0f},  {"FD2 LFO->Cutoff", 0.3f},  {"FD2 LFO->Pan", 0.7f},      {"LFO1 Period", 0.2f},
    {"LFO2 Period", 0.4f},
};
static_assert(sizeof kNamedSlots / sizeof kNamedSlots[0] == kLast - kGateEnable + 1);

}  // namespace

const char* name(std::int32_t index) {
  if (index >= kStep1 && index < kTie1) return kStepNames[index - kStep1];
  if (index >= kTie1 && index < kGateEnable) return kTieNames[index - kTie1];
  if (index >= kGateEnable && index <= kLast) return kNamedSlots[index - kGateEnable].name;
  return "reserved";
}

float defaultValue(int index) {
  if (index >= kStep1 && index < kTie1) {
    const int step = index - kStep1 + 1;
    return step == 1 || step == 5 || step == 10 || step == 15 ? 1.0f : 0.0f;
  }
  if (index >= kTie1 && index < kGateEnable) return index == 17 || index == 18 ? 1.0f : 0.0f;
  if (index >= kGateEnable && index <= kLast) return kNamedSlots[index - kGateEnable].defaultValue;
  return 0.0f;
}

}  // namespace parameters
