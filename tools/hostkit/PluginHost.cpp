#include "tools/hostkit/PluginHost.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace hostkit {

namespace {

// The instance a callback belongs to. The entry calls back before it has
// returned the record (with a null record for the version request and with
// the new record for the identity texts), so the host under construction is
// remembered per thread.
thread_local PluginHost* constructing = nullptr;

std::mutex registryMutex;
std::vector<std::pair<AEffect*, PluginHost*>> registry;

PluginHost* hostFor(AEffect* effect) {
  if (constructing != nullptr) return constructing;
  std::lock_guard lock(registryMutex);
  for (auto& [e, h] : registry)
    if (e == effect) return h;
  return nullptr;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
  if (!library_.load(path, error_)) return;
  entry_ = entry("VSTPluginMain");
  if (entry_ == nullptr) entry_ = entry("main");
  if (entry_ == nullptr) error_ = path + " has no VST 2 entry";
}

PluginLibrary::~PluginLibrary() {
  // Instances of the library may outlive this object in tests that leak on
  // purpose; unloading then would pull code from under them.
}

PluginLibrary::Entry PluginLibrary::entry(const char* symbol) const {
  return reinterpret_cast<Entry>(library_.symbol(symbol));
}

PluginHost::PluginHost() = default;

PluginHost::~PluginHost() {
  if (effect_ != nullptr) close();
}

AEffect* PluginHost::create(PluginLibrary::Entry entry) {
  if (entry == nullptr) return nullptr;
  constructing = this;
  effect_ = entry(&PluginHost::callback);
  constructing = nullptr;
  if (effect_ != nullptr) {
    std::lock_guard lock(registryMutex);
    registry.emplace_back(effect_, this);
  }
  return effect_;
}

VstIntPtr PluginHost::close() {
  if (effect_ == nullptr) return 0;
  const VstIntPtr answer = effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
  {
    std::lock_guard lock(registryMutex);
    std::erase_if(registry, [this](auto& entry) { return entry.second == this; });
  }
  effect_ = nullptr;
  return answer;
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::text(VstInt32 opcode, VstInt32 index) {
  char buffer[256] = {};
  dispatch(opcode, index, 0, buffer, 0.0f);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

void PluginHost::setParameter(VstInt32 index, float value) {
  effect_->setParameter(effect_, index, value);
}

float PluginHost::getParameter(VstInt32 index) {
  return effect_->getParameter(effect_, index);
}

void PluginHost::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
  effect_->processReplacing(effect_, inputs, outputs, frames);
}

void PluginHost::process(float** inputs, float** outputs, VstInt32 frames) {
  effect_->process(effect_, inputs, outputs, frames);
}

std::vector<HostCall> PluginHost::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void PluginHost::clearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::size_t PluginHost::countCalls(VstInt32 opcode) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const HostCall& call : calls_) n += call.opcode == opcode ? 1 : 0;
  return n;
}

VstIntPtr PluginHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
  PluginHost* host = hostFor(effect);
  if (host == nullptr) return 0;
  const HostCall call{opcode, index, value, ptr == nullptr, opt};
  {
    std::lock_guard lock(host->mutex_);
    host->calls_.push_back(call);
  }
  return host->answer(call, ptr);
}

VstIntPtr PluginHost::answer(const HostCall& call, void* ptr) {
  VstIntPtr result = 0;
  if (intercept && intercept(call, ptr, result)) return result;
  switch (call.opcode) {
    case audioMasterVersion:
      return versionAnswer;
    case audioMasterGetTime:
      return reinterpret_cast<VstIntPtr>(timeInfo);
    case audioMasterGetVendorString:
    case audioMasterGetProductString: {
      if (ptr == nullptr) return 0;
      const std::string& text = call.opcode == audioMasterGetVendorString ? vendor : product;
      // Hosts write at most 64 bytes here.
      std::strncpy(static_cast<char*>(ptr), text.c_str(), 63);
      static_cast<char*>(ptr)[63] = '\0';
      return 1;
    }
    default:
      return 0;
  }
}

std::string defaultPluginPath() {
#if defined(PLONKRIFT_BUILD_DIR) && defined(PLONKRIFT_INSTALLED_PLUGIN) && !defined(_WIN32)
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path self = fs::canonical("/proc/self/exe", error);
  const fs::path build = fs::weakly_canonical(PLONKRIFT_BUILD_DIR, error);
  if (!self.empty() && !build.empty()) {
    const auto [b, s] = std::mismatch(build.begin(), build.end(), self.begin(), self.end());
    if (b != build.end()) return (self.parent_path() / PLONKRIFT_INSTALLED_PLUGIN).lexically_normal();
  }
#endif
#ifdef PLONKRIFT_PLUGIN_PATH
  return PLONKRIFT_PLUGIN_PATH;
#else
  return "plonkrift6v2.so";
#endif
}

}  // namespace hostkit
