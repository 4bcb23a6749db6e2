#pragma once

#include <bit>
#include <cstdint>
#include <string>

#include "plugin/core/EffectCore.h"

// Everything a saved state holds, read straight from a core: the working
// set's and the programs' values as bit patterns, the names and the current
// program. Two cores with equal snapshots are equal as far as a host's
// project can tell.
struct CoreSnapshot {
  int current = 0;
  std::uint32_t working[parameters::kLast + 1] = {};
  std::string names[EffectCore::kNumPrograms];
  std::uint32_t values[EffectCore::kNumPrograms][parameters::kLast + 1] = {};

  static CoreSnapshot Of(const EffectCore& core) {
    CoreSnapshot s;
    s.current = core.currentProgram();
    for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
      s.working[slot] = std::bit_cast<std::uint32_t>(core.params[slot].load());
    for (int p = 0; p < EffectCore::kNumPrograms; ++p) {
      s.names[p] = core.programs[p].name;
      for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
        s.values[p][slot] = std::bit_cast<std::uint32_t>(core.programs[p].values[slot].load());
    }
    return s;
  }

  bool operator==(const CoreSnapshot&) const = default;

  // The first difference, in words; empty when equal.
  friend std::string Difference(const CoreSnapshot& a, const CoreSnapshot& b) {
    if (a.current != b.current)
      return "current program " + std::to_string(a.current) + " vs " + std::to_string(b.current);
    for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
      if (a.working[slot] != b.working[slot]) return "working slot " + std::to_string(slot);
    for (int p = 0; p < EffectCore::kNumPrograms; ++p) {
      if (a.names[p] != b.names[p]) return "program " + std::to_string(p) + " name";
      for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
        if (a.values[p][slot] != b.values[p][slot])
          return "program " + std::to_string(p) + " slot " + std::to_string(slot);
    }
    return {};
  }
};
