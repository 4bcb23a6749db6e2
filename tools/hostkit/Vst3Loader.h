#pragma once

// The platform's part of our VST3 host: finds a module's binary in
// its bundle, loads it, calls the entry and exit the platform's hosts call
// around it and looks up its exports. Everything above it is the same on
// every platform.

#include <string>

#include "tools/hostkit/SharedLibrary.h"

namespace hostkit {

class Vst3Loader {
 public:
  Vst3Loader() = default;
  ~Vst3Loader();
  Vst3Loader(const Vst3Loader&) = delete;
  Vst3Loader& operator=(const Vst3Loader&) = delete;

  // The binary a path names: a bundle folder's binary for this platform
  // (Contents/<architecture>/<bundle name><suffix>), else the path itself.
  static std::string binaryOf(const std::string& path);

  // Loads the binary and calls the module's entry (ModuleEntry with the
  // library's handle on Linux, InitDll on Windows). False with the reason
  // when the binary does not load, has no entry or its entry answers false
  // (the binary is unloaded again).
  bool open(const std::string& path, std::string& error);
  // Calls the module's exit (ModuleExit, ExitDll) and unloads the binary.
  // False with the reason when the exit answers false.
  bool close(std::string& error);
  bool isOpen() const { return library_.isLoaded(); }
  const std::string& binary() const { return binary_; }

  // An export of the open binary, or null.
  using Function = SharedLibrary::Function;
  Function symbol(const char* name) const { return library_.symbol(name); }

 private:
  SharedLibrary library_;
  std::string binary_;
};

}  // namespace hostkit
