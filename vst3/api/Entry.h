#pragma once

// The functions a VST3 library exports, as the host looks them up by name.
// Only their types: the library defines them.

#include "vst3/api/Factory.h"

namespace vst3 {

// Every platform: the factory.
using GetFactoryProc = IPluginFactory*(VST3_CALL*)();
inline constexpr char kGetFactoryProcName[] = "GetPluginFactory";

// Linux: called once after loading (with the library's handle) and once
// before unloading.
using ModuleEntryFunc = bool(VST3_CALL*)(void* sharedLibraryHandle);
using ModuleExitFunc = bool(VST3_CALL*)();
inline constexpr char kModuleEntryName[] = "ModuleEntry";
inline constexpr char kModuleExitName[] = "ModuleExit";

// Windows: the same pair without the handle (optional there).
using InitModuleFunc = bool(VST3_CALL*)();
using ExitModuleFunc = bool(VST3_CALL*)();
inline constexpr char kInitDllName[] = "InitDll";
inline constexpr char kExitDllName[] = "ExitDll";

}  // namespace vst3
