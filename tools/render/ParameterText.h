#pragma once

// Parameters as a musician types them: names without regard to case, spaces
// or punctuation, and values in the effect's own units ("on", "LP", "3/4",
// "4 bars", "70%", "-3 dB") as well as the 0..1 a host sends.

#include <string>
#include <utility>
#include <vector>

namespace render {

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

// The names the plug-in gives its slots, looked up as a user types them.
class ParameterNames {
 public:
  explicit ParameterNames(std::vector<std::string> names);

  // The slot of a name, or -1; "reserved" slots cannot be named.
  int find(const std::string& name) const;
  // "unknown parameter "X"; did you mean ..." with the closest few names.
  std::string unknown(const std::string& name) const;
  const std::string& name(int slot) const { return names_[slot]; }
  int size() const { return static_cast<int>(names_.size()); }

 private:
  std::vector<std::string> names_, keys_;
};

// One "NAME=VALUE" (or "NAME = VALUE") resolved to a slot and a value.
bool ParseAssignment(const ParameterNames& names, const std::string& text, int& slot, float& value,
                     std::string& error);

// A preset file: "Name = value" lines; "#" starts a comment. Mistakes are
// reported as "FILE:LINE: ...".
bool ReadPreset(const ParameterNames& names, const std::string& path,
                std::vector<std::pair<int, float>>& values, std::string& error);

// The text of a preset holding the given values of slots 1..61 (index = slot).
std::string PresetText(const ParameterNames& names, const std::vector<float>& values);

}  // namespace render
