#pragma once

#include <atomic>
#include <string_view>

#include "plugin/core/EffectCore.h"

namespace vst3plugin {

// The program list hosts show: the eight programs, then the shipped presets.
// Choosing a program makes it current, exactly as a VST 2 host's program
// change does; choosing a preset plays its values in the current program,
// as loading a preset file does. Any thread may choose (the audio thread
// through the host's parameter queue): nothing allocates.
class ProgramList {
 public:
  explicit ProgramList(EffectCore& core) : core_(core) {}

  static int count();
  // The entry's name, or empty outside the list.
  std::string_view name(int entry) const;

  // The entry a normalized value of the program-change parameter stands for.
  static int entryOf(double normalized);
  static double normalizedOf(int entry);

  // Answers false and changes nothing outside the list.
  bool choose(int entry);
  // The entry last chosen; after a program change by other means (a loaded
  // state), the current program.
  int chosen() const { return chosen_.load(std::memory_order_relaxed); }
  void followCurrentProgram() { chosen_.store(core_.currentProgram(), std::memory_order_relaxed); }

 private:
  EffectCore& core_;
  std::atomic<int> chosen_{0};
};

}  // namespace vst3plugin
