#include "tools/hostkit/Vst3Loader.h"

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

}  // namespace

Vst3Loader::~Vst3Loader() {
  std::string ignored;
  if (library_.isLoaded()) close(ignored);
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
  if (library_.isLoaded()) {
    error = "a module is open already";
    return false;
  }
  binary_ = binaryOf(path);
  if (!library_.load(binary_, error)) return false;
#if defined(_WIN32)
  const char* name = vst3::kInitDllName;
  const auto entry = reinterpret_cast<vst3::InitModuleFunc>(symbol(name));
  const bool entered = entry != nullptr && entry();
#else
  const char* name = vst3::kModuleEntryName;
  const auto entry = reinterpret_cast<vst3::ModuleEntryFunc>(symbol(name));
  const bool entered = entry != nullptr && entry(library_.handle());
#endif
  if (!entered) {
    error =
        entry == nullptr ? binary_ + " exports no " + name : binary_ + ": the module's entry answered false";
    library_.unload();
    return false;
  }
  return true;
}

bool Vst3Loader::close(std::string& error) {
  if (!library_.isLoaded()) return true;
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
  library_.unload();
  return ok;
}

}  // namespace hostkit
