#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The effect's parameter slots as the host sees them: 70 slots, of which 1 to
// 61 carry values; the rest are named "reserved" and hold nothing.
namespace parameters {

inline constexpr int kNumSlots = 70;
inline constexpr int kFirst = 1;
inline constexpr int kLast = 61;
// Slot 62 of the working set holds the last MIDI value; no parameter
// operation reaches it.
inline constexpr int kMidiValue = 62;
// Steps and ties: step n is slot n, tie n is slot 16 + n.
inline constexpr int kSteps = 16;

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
static_assert(kTie1 == kStep1 + kSteps && kGateEnable == kTie1 + kSteps);

inline constexpr int kLastTie = kTie1 + kSteps - 1;

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

// The editor's controls and what each one shows. A control's Tag in the
// editor's form is its slot, except for the LFO rate buttons: their Tag is
// the number of bars they choose and their slot is the LFO's period. A lamp
// and its switch show the same slot. Controls not listed carry Tag 0.
struct ControlBinding {
  std::string_view control;
  int slot;
  int tag;
};

namespace detail {

inline constexpr std::string_view kStepControls[kSteps] = {
    "step1", "step2",  "step3",  "step4",  "step5",  "step6",  "step7",  "step8",
    "step9", "step10", "step11", "step12", "step13", "step14", "step15", "step16"};
inline constexpr std::string_view kTieControls[kSteps] = {
    "tie1", "tie2",  "tie3",  "tie4",  "tie5",  "tie6",  "tie7",  "tie8",
    "tie9", "tie10", "tie11", "tie12", "tie13", "tie14", "tie15", "tie16"};

// Each named control shows its slot and carries it as its Tag.
struct NamedControl {
  std::string_view control;
  int slot;
};
inline constexpr NamedControl kNamedControls[] = {
    {"gateon", kGateEnable},
    {"attack", kGateAttack},
    {"decay", kGateDecay},
    {"shuffle", kGateShuffle},
    {"mainvolume", kGateVolume},
    {"fd1volume", kFd1Volume},
    {"fd2volume", kFd2Volume},
    {"fd1enable", kFd1Enable},
    {"fd1enableled", kFd1Enable},
    {"fd1cutoff", kFd1Cutoff},
    {"fd1reso", kFd1Reso},
    {"fd1filtertype", kFd1FilterType},
    {"fd1filtertypeled", kFd1FilterType},
    {"fd1delay", kFd1DelayTime},
    {"fd1feedback", kFd1Feedback},
    {"fd1pan", kFd1Pan},
    {"fd1delaysync", kFd1DelaySync},
    {"fd1delaysyncled", kFd1DelaySync},
    {"lfo1cutoffdepth", kFd1LfoCutoff},
    {"lfo1pandepth", kFd1LfoPan},
    {"fd2enable", kFd2Enable},
    {"fd2enableled", kFd2Enable},
    {"fd2cutoff", kFd2Cutoff},
    {"fd2reso", kFd2Reso},
    {"fd2filtertype", kFd2FilterType},
    {"fd2filtertypeled", kFd2FilterType},
    {"fd2delay", kFd2DelayTime},
    {"fd2feedback", kFd2Feedback},
    {"fd2pan", kFd2Pan},
    {"fd2delaysync", kFd2DelaySync},
    {"fd2delaysyncled", kFd2DelaySync},
    {"lfo2cutoffdepth", kFd2LfoCutoff},
    {"lfo2pandepth", kFd2LfoPan},
};

// The four rate buttons of an LFO choose 1, 2, 4 or 8 bars.
inline constexpr int kRateBars[4] = {1, 2, 4, 8};
inline constexpr std::string_view kRateControls[2][4] = {
    {"lfo1sync1", "lfo1sync2", "lfo1sync3", "lfo1sync4"},
    {"lfo2sync1", "lfo2sync2", "lfo2sync3", "lfo2sync4"},
};

inline constexpr std::size_t kBoundControls =
    2 * kSteps + sizeof kNamedControls / sizeof kNamedControls[0] + 2 * 4;

constexpr std::array<ControlBinding, kBoundControls> bindControls() {
  std::array<ControlBinding, kBoundControls> out{};
  std::size_t i = 0;
  for (int n = 0; n < kSteps; ++n) {
    out[i++] = {kStepControls[n], kStep1 + n, kStep1 + n};
    out[i++] = {kTieControls[n], kTie1 + n, kTie1 + n};
  }
  for (const NamedControl& c : kNamedControls) out[i++] = {c.control, c.slot, c.slot};
  for (int lfo = 0; lfo < 2; ++lfo)
    for (int j = 0; j < 4; ++j)
      out[i++] = {kRateControls[lfo][j], lfo == 0 ? kLfo1Period : kLfo2Period, kRateBars[j]};
  return out;
}

}  // namespace detail

inline constexpr std::array<ControlBinding, detail::kBoundControls> kControls = detail::bindControls();

// The binding of a control by its name in the form; null for a control that
// shows no parameter.
constexpr const ControlBinding* controlBinding(std::string_view control) {
  for (const ControlBinding& b : kControls)
    if (b.control == control) return &b;
  return nullptr;
}

namespace detail {
constexpr bool everySlotHasAControl() {
  for (int slot = kFirst; slot <= kLast; ++slot) {
    bool shown = false;
    for (const ControlBinding& b : kControls) shown = shown || b.slot == slot;
    if (!shown) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::everySlotHasAControl(), "the editor has a control for every parameter");

}  // namespace parameters
