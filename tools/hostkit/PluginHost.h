#pragma once

// A minimal VST 2 host: loads a plug-in library with dlopen, creates an
// instance through its entry with a callback of ours, and serves the requests
// a plug-in makes (version, identity texts, time information). Tools and tests
// use it to drive the plug-in exactly as a real host does.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/AEffectX.h"
#include "tools/hostkit/SharedLibrary.h"

namespace hostkit {

// One call the plug-in made to the host.
struct HostCall {
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  bool ptrWasNull;
  float opt;
};

// A loaded plug-in library. Closing the library is left to the process exit
// when instances may still exist.
class PluginLibrary {
 public:
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool ok() const { return entry_ != nullptr; }
  const std::string& error() const { return error_; }
  // The entry found under the given symbol ("VSTPluginMain" or "main").
  using Entry = AEffect* (*)(audioMasterCallback);
  Entry entry(const char* symbol = "VSTPluginMain") const;

 private:
  SharedLibrary library_;
  Entry entry_ = nullptr;
  std::string error_;
};

// The host side of one instance: answers the plug-in's requests and records them.
class PluginHost {
 public:
  PluginHost();
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Creates an instance through the entry; null when the plug-in declines.
  AEffect* create(PluginLibrary::Entry entry);
  // effClose through the record; answers what the record function answered.
  VstIntPtr close();
  AEffect* effect() const { return effect_; }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  std::string text(VstInt32 opcode, VstInt32 index = 0);  // a text-returning opcode
  void setParameter(VstInt32 index, float value);
  float getParameter(VstInt32 index);
  void processReplacing(float** inputs, float** outputs, VstInt32 frames);
  void process(float** inputs, float** outputs, VstInt32 frames);

  // What the host answers.
  VstIntPtr versionAnswer = 2400;
  std::string vendor = "hostkit";
  std::string product = "hostkit test host";
  // The time record handed out for audioMasterGetTime; null answer when unset.
  VstTimeInfo* timeInfo = nullptr;
  // Called for every request before the built-in answer (may replace it by
  // returning true and setting the answer).
  std::function<bool(const HostCall&, void* ptr, VstIntPtr& answer)> intercept;

  std::vector<HostCall> calls() const;
  void clearCalls();
  std::size_t countCalls(VstInt32 opcode) const;

 private:
  static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt);
  VstIntPtr answer(const HostCall& call, void* ptr);

  AEffect* effect_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<HostCall> calls_;
};

// The plug-in library built with this tree; for an executable that lives
// outside the build folder (an installed tool), the library installed with it.
std::string defaultPluginPath();

}  // namespace hostkit
