#pragma once

// Parameter values as a musician reads and types them: in the effect's own
// units ("on", "LP", "3/4 beat", "4 bars", "70%", "-3 dB", "left") as well as
// the 0..1 a host sends. The terms of each slot come from its record in
// plugin/Parameters.h.

#include <string>

namespace parameters {

// What a slot's value means and the units it may be given in.
struct ParameterMeaning {
  std::string meaning;  // empty for a reserved slot
  std::string accepts;  // the forms of value it takes
};

ParameterMeaning Describe(int slot);

// Reads a value for the slot; on a mistake answers false with the reason
// (without the parameter's name).
bool ParseValue(int slot, const std::string& text, float& value, std::string& error);

// The value in the slot's unit, written so that ParseValue gives back exactly
// the same float.
std::string FormatValue(int slot, float value);

}  // namespace parameters
