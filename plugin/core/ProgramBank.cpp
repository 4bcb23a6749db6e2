#include "plugin/core/ProgramBank.h"

#include <cstdio>

ProgramBank::ProgramBank() {
  for (int p = 0; p < kNumPrograms; ++p) {
    for (int i = parameters::kFirst; i <= parameters::kLast; ++i)
      programs_[p].values[i].store(parameters::defaultValue(i));
    std::snprintf(programs_[p].name, Program::kNameCapacity, "Init Preset %02d", p + 1);
  }
}

bool ProgramBank::select(int index) {
  if (!isProgram(index)) return false;
  current_.store(index, std::memory_order_relaxed);
  return true;
}

void ProgramBank::rename(Program& program, const char* text) {
  std::size_t n = 0;
  for (; text != nullptr && n + 1 < Program::kNameCapacity && text[n] != '\0'; ++n) program.name[n] = text[n];
  program.name[n] = '\0';
}
