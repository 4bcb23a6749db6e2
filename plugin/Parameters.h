#pragma once

#include <cstdint>

// The effect's parameter slots as the host sees them: 70 slots, of which 1 to
// 61 carry values; the rest are named "reserved" and hold nothing.
namespace parameters {

inline constexpr int kNumSlots = 70;
inline constexpr int kFirst = 1;
inline constexpr int kLast = 61;
// Slot 62 of the working set holds the last MIDI value; no parameter
// operation reaches it.
inline constexpr int kMidiValue = 62;

enum Slot : int {
  kStep1 = 1,
  kTie1 = 17,
  kGateEnable = 33,
  kGateAttack,
  kGateDecay,
  kGateShuffle,
  kGateVolume,
  kFd1Volume,
  kFd2Volume,
  kFd1Enable,  // 40
  kFd1Cutoff,
  kFd1Reso,
  kFd1FilterType,
  kFd1DelayTime,
  kFd1Feedback,
  kFd1Pan,
  kFd1DelaySync,
  kFd1LfoCutoff,
  kFd1LfoPan,
  kFd2Enable,  // 50
  kFd2Cutoff,
  kFd2Reso,
  kFd2FilterType,
  kFd2DelayTime,
  kFd2Feedback,
  kFd2Pan,
  kFd2DelaySync,
  kFd2LfoCutoff,
  kFd2LfoPan,
  kLfo1Period,  // 60
  kLfo2Period,
};
static_assert(kLfo2Period == kLast);

inline constexpr bool isValueSlot(std::int32_t index) {
  return index >= kFirst && index <= kLast;
}

namespace detail {

inline constexpr const char* kStepNames[16] = {"Step1",  "Step2",  "Step3",  "Step4",  "Step5",  "Step6",
                                               "Step7",  "Step8",  "Step9",  "Step10", "Step11", "Step12",
                                               "Step13", "Step14", "Step15", "Step16"};
inline constexpr const char* kTieNames[16] = {"Tie1",  "Tie2",  "Tie3",  "Tie4",  "Tie5",  "Tie6",
                                              "Tie7",  "Tie8",  "Tie9",  "Tie10", "Tie11", "Tie12",
                                              "Tie13", "Tie14", "Tie15", "Tie16"};

struct NamedSlot {
  const char* name;
  float defaultValue;
};

// Slots 33..61 in order.
inline constexpr NamedSlot kNamedSlots[] = {
    {"Gate Enable", 1.0f},     {"Gate Attack", 0.0f},     {"Gate Decay", 0.4f},
    {"Gate Shuffle", 0.0f},    {"Gate Volume", 0.7f},     {"FD1 Volume", 0.7f},
    {"FD2 Volume", 0.7f},      {"FD1 Enable", 1.0f},      {"FD1 Cutoff", 0.1f},
    {"FD1 Reso", 0.91f},       {"FD1 Filter Type", 0.0f}, {"FD1 Delay Time", 0.25f},
    {"FD1 Feedback", 0.5f},    {"FD1 Pan", 0.6f},         {"FD1 Delay Sync", 1.0f},
    {"FD1 LFO->Cutoff", 0.3f}, {"FD1 LFO->Pan", 0.7f},    {"FD2 Enable", 1.0f},
    {"FD2 Cutoff", 0.35f},     {"FD2 Reso", 0.92f},       {"FD2 Filter Type", 1.0f},
    {"FD2 Delay Time", 0.75f}, {"FD2 Feedback", 0.5f},    {"FD2 Pan", 0.4f},
    {"FD2 Delay Sync", 1.0f},  {"FD2 LFO->Cutoff", 0.3f}, {"FD2 LFO->Pan", 0.7f},
    {"LFO1 Period", 0.2f},     {"LFO2 Period", 0.4f},
};
static_assert(sizeof kNamedSlots / sizeof kNamedSlots[0] == kLast - kGateEnable + 1);

}  // namespace detail

// The slot's name as the host sees it; "reserved" outside 1..61.
constexpr const char* name(std::int32_t index) {
  if (index >= kStep1 && index < kTie1) return detail::kStepNames[index - kStep1];
  if (index >= kTie1 && index < kGateEnable) return detail::kTieNames[index - kTie1];
  if (index >= kGateEnable && index <= kLast) return detail::kNamedSlots[index - kGateEnable].name;
  return "reserved";
}

// The value every program starts with (slots 1..61).
constexpr float defaultValue(int index) {
  if (index >= kStep1 && index < kTie1) {
    const int step = index - kStep1 + 1;
    return step == 1 || step == 5 || step == 10 || step == 15 ? 1.0f : 0.0f;
  }
  if (index >= kTie1 && index < kGateEnable) return index == 17 || index == 18 ? 1.0f : 0.0f;
  if (index >= kGateEnable && index <= kLast) return detail::kNamedSlots[index - kGateEnable].defaultValue;
  return 0.0f;
}

}  // namespace parameters
