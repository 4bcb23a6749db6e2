// The library's entry points: the factory, and the module calls each
// platform's hosts make around it.

#include "vst3/Factory.h"

#define PLONKRIFT_VST3_EXPORT extern "C" __attribute__((visibility("default")))

PLONKRIFT_VST3_EXPORT vst3::IPluginFactory* VST3_CALL GetPluginFactory() {
  return &vst3plugin::TheFactory();
}

// Linux hosts call these after loading and before unloading the library;
// Windows hosts call InitDll and ExitDll. Nothing needs setting up.
PLONKRIFT_VST3_EXPORT bool ModuleEntry(void*) {
  return true;
}
PLONKRIFT_VST3_EXPORT bool ModuleExit() {
  return true;
}
PLONKRIFT_VST3_EXPORT bool InitDll() {
  return true;
}
PLONKRIFT_VST3_EXPORT bool ExitDll() {
  return true;
}
