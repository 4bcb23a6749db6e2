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

inline constexpr bool isValueSlot(std::int32_t index) { return index >= kFirst && index <= kLast; }

// The slot's name as the host sees it; "reserved" outside 1..61.
const char* name(std::int32_t index);

// The value every program starts with (slots 1..61).
float defaultValue(int index);

}  // namespace parameters
