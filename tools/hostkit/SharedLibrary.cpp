#include "tools/hostkit/SharedLibrary.h"

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

namespace hostkit {

bool SharedLibrary::load(const std::string& path, std::string& error) {
  if (handle_ != nullptr) {
    error = "a library is loaded already";
    return false;
  }
#if defined(_WIN32)
  // Paths are UTF-8 in our strings; Windows takes them as UTF-16.
  const std::wstring wide = std::filesystem::path(std::u8string(path.begin(), path.end())).wstring();
  handle_ = LoadLibraryW(wide.c_str());
  if (handle_ == nullptr) {
    error = "cannot load " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
  }
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "cannot load " + path;
    return false;
  }
#endif
  return true;
}

void SharedLibrary::unload() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}

SharedLibrary::Function SharedLibrary::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
  // Through void(*)(): the one cast from FARPROC the compiler takes as meant.
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
  return reinterpret_cast<Function>(dlsym(handle_, name));
#endif
}

}  // namespace hostkit
