#pragma once

#include <cstdint>

#include "plugin/Parameters.h"

// The LV2 plug-in's identity and port layout, shared by the plug-in and the
// program that writes its Turtle description.
namespace lv2plugin {

inline constexpr const char* kUri = "urn:plonkrift:plonkrift6v2";
inline constexpr const char* kUiUri = "urn:plonkrift:plonkrift6v2#ui";

inline constexpr std::uint32_t kInLeft = 0;
inline constexpr std::uint32_t kInRight = 1;
inline constexpr std::uint32_t kOutLeft = 2;
inline constexpr std::uint32_t kOutRight = 3;
// Atom sequence from the host: time:Position objects.
inline constexpr std::uint32_t kControl = 4;
// One control input for each parameter slot in use, in slot order.
inline constexpr std::uint32_t kFirstSlotPort = 5;
inline constexpr std::uint32_t kEndSlotPorts = kFirstSlotPort + (parameters::kLast - parameters::kFirst + 1);
// A control output: 1 while the host sends no time information (the
// effect is silent then), else 0. The UI shows its notice from it.
inline constexpr std::uint32_t kTimeMissing = kEndSlotPorts;
inline constexpr const char* kTimeMissingSymbol = "time_missing";
inline constexpr std::uint32_t kNumPorts = kTimeMissing + 1;
static_assert(kTimeMissing == 66);

constexpr std::uint32_t portOfSlot(int slot) {
  return kFirstSlotPort + static_cast<std::uint32_t>(slot - parameters::kFirst);
}
constexpr int slotOfPort(std::uint32_t port) {
  return static_cast<int>(port - kFirstSlotPort) + parameters::kFirst;
}
constexpr bool isSlotPort(std::uint32_t port) {
  return port >= kFirstSlotPort && port < kEndSlotPorts;
}

}  // namespace lv2plugin
