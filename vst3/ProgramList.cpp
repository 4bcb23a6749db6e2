#include "vst3/ProgramList.h"

#include <cmath>

#include "plugin/core/FactoryPresets.h"

namespace vst3plugin {

int ProgramList::count() {
  return EffectCore::kNumPrograms + static_cast<int>(FactoryPresets().size());
}

std::string_view ProgramList::name(int entry) const {
  if (entry >= 0 && entry < EffectCore::kNumPrograms) return core_.programName(entry);
  const auto presets = FactoryPresets();
  const int preset = entry - EffectCore::kNumPrograms;
  if (preset >= 0 && preset < static_cast<int>(presets.size())) return presets[preset].label;
  return {};
}

int ProgramList::entryOf(double normalized) {
  if (!(normalized >= 0.0)) normalized = 0.0;
  if (normalized > 1.0) normalized = 1.0;
  return static_cast<int>(std::lround(normalized * (count() - 1)));
}

double ProgramList::normalizedOf(int entry) {
  return count() > 1 ? static_cast<double>(entry) / (count() - 1) : 0.0;
}

bool ProgramList::choose(int entry) {
  if (entry >= 0 && entry < EffectCore::kNumPrograms) {
    core_.setProgram(entry);
  } else {
    const auto presets = FactoryPresets();
    const int preset = entry - EffectCore::kNumPrograms;
    if (preset < 0 || preset >= static_cast<int>(presets.size())) return false;
    for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
      core_.setParameter(slot, presets[preset].values[slot]);
  }
  chosen_.store(entry, std::memory_order_relaxed);
  return true;
}

}  // namespace vst3plugin
