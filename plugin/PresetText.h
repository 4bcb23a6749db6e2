#pragma once

// Parameters named as a user types them, and preset files: "Name = value"
// lines in the terms of plugin/ParameterText.h, "#" starting a comment.

#include <string>
#include <utility>
#include <vector>

namespace parameters {

// Slot names looked up as a user types them: without regard to case, spaces
// or punctuation.
class ParameterNames {
 public:
  // The names of slots 0, 1, 2, ... (a host's view of them).
  explicit ParameterNames(std::vector<std::string> names);
  // The effect's own names, from the slot table.
  ParameterNames();

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

// A preset file, its values appended in the order written. Mistakes are
// reported as "FILE:LINE: ...".
bool ReadPreset(const ParameterNames& names, const std::string& path,
                std::vector<std::pair<int, float>>& values, std::string& error);

// The text of a preset holding the given values of slots 1..61 (index = slot).
std::string PresetText(const ParameterNames& names, const std::vector<float>& values);

}  // namespace parameters
