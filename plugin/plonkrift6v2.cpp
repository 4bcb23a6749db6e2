// The library's entry: hosts look for either symbol and call it once per
// instance with their callback.

#include <cfenv>
#include <new>

#include "host/AEffect.h"
#include "plugin/APlugin.h"

namespace {

// Arithmetic faults must never trap in a host's process: keep every
// floating-point exception masked with rounding to nearest on the thread that
// loads the library.
__attribute__((constructor)) void maskFloatingPointExceptions() {
  std::fesetround(FE_TONEAREST);
#if defined(__x86_64__) || defined(__i386__)
  std::fenv_t environment;
  std::fegetenv(&environment);
  environment.__control_word |= 0x3F;  // x87: mask all six exceptions
#if defined(__x86_64__)
  environment.__mxcsr |= 0x1F80;  // SSE: mask all six exceptions
#endif
  std::fesetenv(&environment);
#endif
}

AEffect* createEffect(audioMasterCallback audioMaster) noexcept {
  if (audioMaster == nullptr) return nullptr;
  try {
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    APlugin* effect = new (std::nothrow) APlugin(audioMaster);
    return effect != nullptr ? effect->getAeffect() : nullptr;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

// ELF shows hosts the symbols marked here (exports.map); a Windows DLL shows
// those its definition file lists (plonkrift6v2.def).
#if defined(_WIN32)
#define PLONK_ENTRY
#else
#define PLONK_ENTRY __attribute__((visibility("default")))
#endif
// The assembler's name of a C symbol (an underscore first on 32-bit Windows).
#define PLONK_STRINGIFY_(x) #x
#define PLONK_STRINGIFY(x) PLONK_STRINGIFY_(x)

extern "C" {

PLONK_ENTRY AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
  return createEffect(audioMaster);
}

// The older entry name. Declared under another C++ name so the compiler does
// not take it for a program's main.
PLONK_ENTRY AEffect* plonkrift_main_entry(audioMasterCallback audioMaster) __asm__(
    PLONK_STRINGIFY(__USER_LABEL_PREFIX__) "main");
AEffect* plonkrift_main_entry(audioMasterCallback audioMaster) {
  return createEffect(audioMaster);
}
}
