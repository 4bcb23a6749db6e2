#include "tools/hostkit/Vst3Loader.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX  // libstdc++ may have defined it
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <filesystem>
#include <system_error>

#include "vst3/api/Entry.h"

namespace hostkit {

namespace {

namespace fs = std::filesystem;

// The bundle's folder for this platform's binaries, and their suffix.
#if defined(_WIN32)
#if defined(__aarch64__)
constexpr const char* kArchitecture = "arm64-win";
#elif defined(__x86_64__)
constexpr const char* kArchitecture = "x86_64-win";
#else
constexpr const char* kArchitecture = "x86-win";
#endif
constexpr const char* kSuffix = ".vst3";
#else
#if defined(__aarch64__)
constexpr const char* kArchitecture = "aarch64-linux";
#elif defined(__x86_64__)
constexpr const char* kArchitecture = "x86_64-linux";
#else
constexpr const char* kArchitecture = "i386-linux";
#endif
constexpr const char* kSuffix = ".so";
#endif

// Paths are UTF-8 in our strings whatever the platform.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

#if defined(_WIN32)
std::string LastError() {
  return "Windows error " + std::to_string(GetLastError());
}
#endif

}  // namespace

Vst3Loader::~Vst3Loader() {
  std::string ignored;
  if (handle_ != nullptr) close(ignored);
}

std::string Vst3Loader::binaryOf(const std::string& path) {
  const fs::path given = PathOf(path);
  std::error_code error;
  if (!fs::is_directory(given, error)) return path;
  // "plonkrift6.vst3/" names the same bundle as "plonkrift6.vst3".
  const fs::path bundle = given.has_filename() ? given : given.parent_path();
  fs::path binary = bundle / "Contents" / kArchitecture / bundle.stem();
  binary += kSuffix;
  return Utf8Of(binary);
}

bool Vst3Loader::open(const std::string& path, std::string& error) {
  if (handle_ != nullptr) {
    error = "a module is open already";
    return false;
  }
  binary_ = binaryOf(path);
#if defined(_WIN32)
  const std::wstring wide = PathOf(binary_).wstring();
  handle_ = LoadLibraryW(wide.c_str());
  if (handle_ == nullptr) {
    error = "cannot load " + binary_ + " (" + LastError() + ")";
    return false;
  }
  const auto entry = reinterpret_cast<vst3::InitModuleFunc>(symbol(vst3::kInitDllName));
  if (entry == nullptr) {
    error = binary_ + " exports no " + vst3::kInitDllName;
    unload();
    return false;
  }
  const bool entered = entry();
#else
  handle_ = dlopen(binary_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "cannot load " + binary_;
    return false;
  }
  const auto entry = reinterpret_cast<vst3::ModuleEntryFunc>(symbol(vst3::kModuleEntryName));
  if (entry == nullptr) {
    error = binary_ + " exports no " + vst3::kModuleEntryName;
    unload();
    return false;
  }
  const bool entered = entry(handle_);
#endif
  if (!entered) {
    error = binary_ + ": the module's entry answered false";
    unload();
    return false;
  }
  return true;
}

bool Vst3Loader::close(std::string& error) {
  if (handle_ == nullptr) return true;
#if defined(_WIN32)
  const char* name = vst3::kExitDllName;
  const auto exit = reinterpret_cast<vst3::ExitModuleFunc>(symbol(name));
#else
  const char* name = vst3::kModuleExitName;
  const auto exit = reinterpret_cast<vst3::ModuleExitFunc>(symbol(name));
#endif
  bool ok = true;
  if (exit == nullptr) {
    error = binary_ + " exports no " + name;
    ok = false;
  } else if (!exit()) {
    error = binary_ + ": " + name + " answered false";
    ok = false;
  }
  unload();
  return ok;
}

Vst3Loader::Function Vst3Loader::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
  // Through void(*)(): the one cast from FARPROC the compiler takes as meant.
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
  return reinterpret_cast<Function>(dlsym(handle_, name));
#endif
}

void Vst3Loader::unload() {
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}

}  // namespace hostkit
