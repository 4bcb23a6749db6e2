#include "plugin/PresetText.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "plugin/ParameterText.h"
#include "plugin/Parameters.h"

namespace parameters {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Letters and digits only, lower case: "fd1 lfo cutoff" finds "FD1 LFO->Cutoff".
std::string Key(const std::string& name) {
  std::string key;
  for (char c : name)
    if (std::isalnum(static_cast<unsigned char>(c)))
      key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::vector<std::string> TableNames() {
  std::vector<std::string> names;
  for (int slot = 0; slot < kNumSlots; ++slot) names.emplace_back(name(slot));
  return names;
}

}  // namespace

ParameterNames::ParameterNames(std::vector<std::string> names) : names_(std::move(names)) {
  for (const std::string& name : names_) keys_.push_back(name == "reserved" ? std::string() : Key(name));
}

ParameterNames::ParameterNames() : ParameterNames(TableNames()) {}

int ParameterNames::find(const std::string& name) const {
  const std::string key = Key(name);
  if (key.empty()) return -1;
  for (std::size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i] == key) return static_cast<int>(i);
  return -1;
}

std::string ParameterNames::unknown(const std::string& name) const {
  const std::string key = Key(name);
  std::vector<std::pair<std::size_t, std::size_t>> ranked;  // distance, slot
  for (std::size_t i = 0; i < keys_.size(); ++i)
    if (!keys_[i].empty()) ranked.emplace_back(Distance(key, keys_[i]), i);
  std::stable_sort(ranked.begin(), ranked.end());
  std::string message = "unknown parameter \"" + name + "\"";
  // Only names a slip of the keyboard away are offered; the rest is in --info.
  const std::size_t limit = std::max<std::size_t>(3, key.size() / 3);
  std::string offered;
  for (std::size_t i = 0; i < ranked.size() && i < 3; ++i) {
    if (ranked[i].first > limit || ranked[i].first > ranked[0].first + 1) break;
    offered += (offered.empty() ? "" : ", ") + ("\"" + names_[ranked[i].second] + "\"");
  }
  return message + (offered.empty() ? " (--info lists the names)" : "; did you mean " + offered + "?");
}

bool ParseAssignment(const ParameterNames& names, const std::string& text, int& slot, float& value,
                     std::string& error) {
  const auto equals = text.find('=');
  if (equals == std::string::npos) return error = "\"" + text + "\" needs the form NAME=VALUE", false;
  const std::string name = Trim(text.substr(0, equals)), number = Trim(text.substr(equals + 1));
  slot = names.find(name);
  if (slot < 0) return error = names.unknown(name), false;
  std::string why;
  if (!ParseValue(slot, number, value, why)) return error = "\"" + names.name(slot) + "\": " + why, false;
  return true;
}

bool ReadPreset(const ParameterNames& names, const std::string& path,
                std::vector<std::pair<int, float>>& values, std::string& error) {
  std::ifstream file(path);
  if (!file) return error = "cannot read preset '" + path + "'", false;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string text = Trim(line.substr(0, line.find('#')));
    if (text.empty()) continue;
    int slot = 0;
    float value = 0.0f;
    std::string why;
    if (!ParseAssignment(names, text, slot, value, why))
      return error = path + ":" + std::to_string(number) + ": " + why, false;
    values.emplace_back(slot, value);
  }
  if (file.bad()) return error = "cannot read preset '" + path + "'", false;
  return true;
}

std::string PresetText(const ParameterNames& names, const std::vector<float>& values) {
  std::string text = "# plonkrift-render preset: one \"Name = value\" a line; see plonkrift-render --info\n";
  for (int slot = kFirst; slot <= kLast && slot < static_cast<int>(values.size()); ++slot) {
    if (slot == kStep1) text += "\n# gate steps and ties\n";
    if (slot == kGateEnable) text += "\n# gate\n";
    if (slot == kFd1Enable) text += "\n# FD1\n";
    if (slot == kFd2Enable) text += "\n# FD2\n";
    if (slot == kLfo1Period) text += "\n# LFOs\n";
    text += names.name(slot) + " = " + FormatValue(slot, values[slot]) + "\n";
  }
  return text;
}
}  // namespace parameters
