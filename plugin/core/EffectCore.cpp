#include "plugin/core/EffectCore.h"

#include <cstring>

namespace {

void Clear(float** outputs, std::int32_t sampleFrames) {
  if (outputs == nullptr || sampleFrames <= 0) return;
  for (int channel = 0; channel < 2; ++channel)
    if (outputs[channel] != nullptr)
      std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(sampleFrames));
}

}  // namespace

EffectCore::EffectCore() {
  setProgram(0);
}

void EffectCore::setParameter(int slot, float value) {
  if (!parameters::isValueSlot(slot)) return;
  const float stored = parameters::clamped(value);
  params[slot].store(stored);
  programs[programs.current()].values[slot].store(stored);
}

float EffectCore::getParameter(int slot) const {
  return parameters::isValueSlot(slot) ? params[slot].load() : 0.0f;
}

engine::Settings EffectCore::settings() const {
  float slots[parameters::kLast + 1] = {};
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) slots[i] = params[i].load();
  return engine::Settings::FromSlots(slots);
}

bool EffectCore::setProgram(int program) {
  if (!programs.select(program)) return false;
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i)
    setParameter(i, programs[program].values[i].load());
  return true;
}

void EffectCore::setProgramName(const char* name) {
  if (name != nullptr) ProgramBank::rename(programs[programs.current()], name);
}

const char* EffectCore::programName(int program) const {
  return ProgramBank::isProgram(program) ? programs[program].name : nullptr;
}

void EffectCore::processBlock(const engine::TimeRecord* time, float sampleRate, float** inputs,
                              float** outputs, std::int32_t sampleFrames, bool accumulate) {
  if (time == nullptr) {
    if (timeMissing_.load(std::memory_order_relaxed) == 0) timeMissing_.store(1, std::memory_order_relaxed);
    if (!accumulate) Clear(outputs, sampleFrames);
    return;
  }
  if (timeMissing_.load(std::memory_order_relaxed) != 0) timeMissing_.store(0, std::memory_order_relaxed);
  engine.ProcessBlock(settings(), *time, sampleRate, inputs, outputs, sampleFrames, accumulate);
}
