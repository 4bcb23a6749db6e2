#pragma once

#include <atomic>
#include <cstddef>

#include "plugin/Parameters.h"
#include "plugin/RelaxedFloat.h"

// The effect's eight programs: each a named set of values for slots 1 to 61,
// one of them current. Every format shows the same bank.
class ProgramBank {
 public:
  static constexpr int kNumPrograms = 8;

  struct Program {
    static constexpr std::size_t kNameCapacity = 52;  // 51 characters and the terminator

    RelaxedFloat values[parameters::kLast + 1];  // indexed 1..61
    char name[kNameCapacity] = {};
  };

  // Every program holds the defaults; program i is named "Init Preset 0i+1".
  ProgramBank();
  ProgramBank(const ProgramBank&) = delete;
  ProgramBank& operator=(const ProgramBank&) = delete;

  static constexpr bool isProgram(int index) { return index >= 0 && index < kNumPrograms; }

  // The current program's index, 0 to 7.
  int current() const { return current_.load(std::memory_order_relaxed); }
  // Makes a program current; an index outside 0..7 changes nothing.
  bool select(int index);

  Program& operator[](int index) { return programs_[index]; }
  const Program& operator[](int index) const { return programs_[index]; }

  // Stores at most 51 characters of text (no terminator needed beyond them)
  // as a program's name.
  static void rename(Program& program, const char* text);

 private:
  Program programs_[kNumPrograms];
  std::atomic<int> current_{0};
};
