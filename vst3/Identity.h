#pragma once

#include <cstdint>

#include "plugin/Parameters.h"
#include "vst3/api/Base.h"

// What the VST3 build tells hosts about itself. The class ID is the effect's
// identity in every saved project: it never changes.
namespace vst3plugin {

inline constexpr const char* kVendor = "plonkrift";
inline constexpr const char* kUrl = "";
inline constexpr const char* kEmail = "";
inline constexpr const char* kEffectName = "plonkrift6";
inline constexpr const char* kSubCategories = "Fx|Delay";
inline constexpr const char* kVersion = PLONKRIFT_VERSION;
inline constexpr const char* kSdkVersion = "VST 3.7";

inline constexpr vst3::Uid kEffectClassId = vst3::makeUid(0x71AB3E25, 0x5D304F70, 0x91ED7CEB, 0xD12E5B2B);

// Parameter IDs: the slots keep their numbers (1..61); the program list is
// reached through one more parameter.
inline constexpr vst3::ParamID kProgramParameterId = 100;
inline constexpr vst3::ProgramListID kProgramListId = 1;

inline constexpr bool isSlotId(vst3::ParamID id) {
  return id >= static_cast<vst3::ParamID>(parameters::kFirst) &&
         id <= static_cast<vst3::ParamID>(parameters::kLast);
}

}  // namespace vst3plugin
