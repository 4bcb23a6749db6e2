#pragma once

// A shared library loaded into the process through the platform's loader
// (dlopen, LoadLibraryW): the one place our host kits name a platform. It
// stays loaded until unload(): a VST 2 library may have to outlive its
// loader's owner (instances still running), a VST3 module is unloaded after
// its exit call.

#include <string>

namespace hostkit {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads the library at a UTF-8 path; false with the loader's reason.
  bool load(const std::string& path, std::string& error);
  void unload();
  bool isLoaded() const { return handle_ != nullptr; }
  // The platform's handle (the one Linux VST3 modules take at their entry).
  void* handle() const { return handle_; }

  // An export, or null.
  using Function = void (*)();
  Function symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace hostkit
