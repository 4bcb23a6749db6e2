#include "tools/render/ParameterText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "plugin/Parameters.h"

namespace render {

namespace {

using namespace parameters;

enum class Unit { None, Toggle, FilterType, Beats, Bars, AttackSteps, DecaySteps, Percent, Level, Pan };

Unit UnitOf(int slot) {
  if (slot >= kStep1 && slot <= kGateEnable) return Unit::Toggle;
  switch (slot) {
    case kGateAttack:
      return Unit::AttackSteps;
    case kGateDecay:
      return Unit::DecaySteps;
    case kGateVolume:
    case kFd1Volume:
    case kFd2Volume:
      return Unit::Level;
    case kFd1Enable:
    case kFd2Enable:
    case kFd1DelaySync:
    case kFd2DelaySync:
      return Unit::Toggle;
    case kFd1FilterType:
    case kFd2FilterType:
      return Unit::FilterType;
    case kFd1DelayTime:
    case kFd2DelayTime:
      return Unit::Beats;
    case kFd1Pan:
    case kFd2Pan:
      return Unit::Pan;
    case kLfo1Period:
    case kLfo2Period:
      return Unit::Bars;
    default:
      return isValueSlot(slot) ? Unit::Percent : Unit::None;
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

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

bool IsOneOf(const std::string& word, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(), [&](const char* w) { return word == w; });
}

// A number, or a fraction "a/b", at the start of text; rest is what follows.
bool LeadingNumber(const std::string& text, double& number, std::string& rest) {
  const char* begin = text.c_str();
  char* end = nullptr;
  number = std::strtod(begin, &end);
  if (end == begin) return false;
  std::string after = Trim(end);
  if (!after.empty() && after[0] == '/') {
    const char* denominatorText = after.c_str() + 1;
    char* denominatorEnd = nullptr;
    const double denominator = std::strtod(denominatorText, &denominatorEnd);
    if (denominatorEnd == denominatorText || !(denominator > 0.0)) return false;
    number /= denominator;
    after = Trim(denominatorEnd);
  }
  rest = after;
  return !std::isnan(number);
}

bool InRange(double x, double low, double high) {
  return x >= low && x <= high;
}

}  // namespace

ParameterMeaning Describe(int slot) {
  const auto unitText = [](Unit unit) -> std::string {
    switch (unit) {
      case Unit::Toggle:
        return "on, off or 0..1";
      case Unit::FilterType:
        return "HP, LP or 0..1";
      case Unit::Beats:
        return "beats up to 1: 3/4, 0.5, 1/4 beat";
      case Unit::Bars:
        return "1 to 10 bars (a number below 1 is the slot value)";
      case Unit::AttackSteps:
        return "0..1, % or 0 to 1 steps";
      case Unit::DecaySteps:
        return "0..1, % or 0 to 2 steps";
      case Unit::Percent:
        return "0..1 or %";
      case Unit::Level:
        return "0..1, % or dB (0 dB and below)";
      case Unit::Pan:
        return "0..1, % or left, center, right";
      case Unit::None:
        return "";
    }
    return "";
  };
  const int fd = slot >= kFd2Enable && slot <= kFd2LfoPan ? 2 : 1;
  const std::string unit = "FD" + std::to_string(fd);
  std::string meaning;
  if (slot >= kStep1 && slot < kTie1) {
    meaning = "step " + std::to_string(slot) + " of 16 (a sixteenth note): on opens the gate";
  } else if (slot >= kTie1 && slot < kGateEnable) {
    meaning = "tie on step " + std::to_string(slot - kTie1 + 1) + ": the gate's level holds through the step";
  } else {
    switch (slot) {
      case kGateEnable:
        meaning = "the steps gate the mono sum; off passes the input ungated";
        break;
      case kGateAttack:
        meaning = "gate attack ramp, up to one step (plus 5 ms)";
        break;
      case kGateDecay:
        meaning = "gate decay ramp, up to two steps (plus 5 ms)";
        break;
      case kGateShuffle:
        meaning = "delays the even steps by up to half a step";
        break;
      case kGateVolume:
        meaning = "level of the gated dry signal";
        break;
      case kFd1Volume:
      case kFd2Volume:
        meaning = "level of FD" + std::to_string(slot == kFd1Volume ? 1 : 2) + "'s echoes";
        break;
      case kFd1Enable:
      case kFd2Enable:
        meaning = unit + " on; off freezes its echoes where they stand";
        break;
      case kFd1Cutoff:
      case kFd2Cutoff:
        meaning = unit + " filter cutoff (acts from 0.1 to 0.9; scales with the sample rate)";
        break;
      case kFd1Reso:
      case kFd2Reso:
        meaning = unit + " filter resonance";
        break;
      case kFd1FilterType:
      case kFd2FilterType:
        meaning = unit + " filter: high-pass (0) or low-pass (1)";
        break;
      case kFd1DelayTime:
      case kFd2DelayTime:
        meaning = unit + " delay in beats: 1/4 is a sixteenth note, 1 a quarter note";
        break;
      case kFd1Feedback:
      case kFd2Feedback:
        meaning = unit + " echo repeats; 1 repeats for ever";
        break;
      case kFd1Pan:
      case kFd2Pan:
        meaning = unit + " pan: 1 left, 0 right";
        break;
      case kFd1DelaySync:
      case kFd2DelaySync:
        meaning = "the editor snaps " + unit + "'s delay to 1/4, 1/2, 3/4 or 1 beat; no sound change";
        break;
      case kFd1LfoCutoff:
        meaning = "LFO1's depth on FD1's cutoff";
        break;
      case kFd1LfoPan:
        meaning = "LFO1's depth on FD1's pan";
        break;
      case kFd2LfoCutoff:
        meaning = "LFO1's depth on FD2's cutoff";
        break;
      case kFd2LfoPan:
        meaning = "LFO2's depth on FD2's pan";
        break;
      case kLfo1Period:
      case kLfo2Period:
        meaning =
            "LFO" + std::to_string(slot == kLfo1Period ? 1 : 2) + "'s cycle: 1, 2, 4 or 8 bars in the editor";
        break;
      default:
        break;
    }
  }
  return {meaning, unitText(UnitOf(slot))};
}

bool ParseValue(int slot, const std::string& input, float& value, std::string& error) {
  const Unit unit = UnitOf(slot);
  const std::string text = Lower(Trim(input));
  const auto accept = [&](double x) {
    value = static_cast<float>(x);
    return true;
  };
  const auto reject = [&](const std::string& why) {
    error = why + " (give " + Describe(slot).accepts + ")";
    return false;
  };
  if (unit == Unit::None) return reject("a reserved slot holds no value");
  if (text.empty()) return reject("no value");

  // Words first.
  if (unit == Unit::Toggle) {
    if (IsOneOf(text, {"on", "yes", "true"})) return accept(1.0);
    if (IsOneOf(text, {"off", "no", "false"})) return accept(0.0);
  }
  if (unit == Unit::FilterType) {
    if (IsOneOf(text, {"lp", "lowpass", "low-pass", "low pass", "low"})) return accept(1.0);
    if (IsOneOf(text, {"hp", "highpass", "high-pass", "high pass", "high"})) return accept(0.0);
  }
  if (unit == Unit::Pan) {
    if (IsOneOf(text, {"left", "l"})) return accept(1.0);
    if (IsOneOf(text, {"right", "r"})) return accept(0.0);
    if (IsOneOf(text, {"center", "centre", "c", "middle"})) return accept(0.5);
  }

  double x = 0.0;
  std::string suffix;
  if (!LeadingNumber(text, x, suffix)) return reject("not a value: " + Trim(input));
  if (suffix == "%") {
    if (!InRange(x, 0.0, 100.0)) return reject("outside 0..100%: " + Trim(input));
    return accept(x / 100.0);
  }
  if (unit == Unit::Level && (suffix == "db" || suffix == "dbfs")) {
    if (!(x <= 0.0)) return reject("above 0 dB: " + Trim(input));
    return accept(std::pow(10.0, x / 20.0));
  }
  if (unit == Unit::Beats && (suffix == "beat" || suffix == "beats")) {
    if (!InRange(x, 0.0, 1.0)) return reject("outside 0 to 1 beat: " + Trim(input));
    return accept(x);
  }
  if (unit == Unit::Bars && (suffix == "bar" || suffix == "bars" || (suffix.empty() && x >= 1.0))) {
    if (!InRange(x, 0.0, 10.0)) return reject("outside 0 to 10 bars: " + Trim(input));
    return accept(x / 10.0);
  }
  if ((unit == Unit::AttackSteps || unit == Unit::DecaySteps) && (suffix == "step" || suffix == "steps")) {
    const double most = unit == Unit::AttackSteps ? 1.0 : 2.0;
    if (!InRange(x, 0.0, most))
      return reject("outside 0 to " + std::to_string(static_cast<int>(most)) + " steps: " + Trim(input));
    return accept(x / most);
  }
  if (!suffix.empty()) return reject("not a value: " + Trim(input));
  if (!InRange(x, 0.0, 1.0)) return reject("outside 0..1: " + Trim(input));
  // A plain decimal is read straight as a float, so a written value reads
  // back to exactly itself.
  if (text.find('/') == std::string::npos) return accept(std::strtof(text.c_str(), nullptr));
  return accept(x);
}

std::string FormatValue(int slot, float value) {
  const Unit unit = UnitOf(slot);
  std::vector<std::string> candidates;
  // Decimal text of x with the fewest digits (up to six) that reads back.
  const auto decimals = [&](double x, const std::string& suffix) {
    for (int digits = 0; digits <= 6; ++digits) {
      char text[64];
      std::snprintf(text, sizeof text, "%.*f", digits, x);
      candidates.push_back(std::string(text) + suffix);
    }
  };
  switch (unit) {
    case Unit::Toggle:
      if (value == 0.0f || value == 1.0f) return value == 1.0f ? "on" : "off";
      break;
    case Unit::FilterType:
      if (value == 0.0f || value == 1.0f) return value == 1.0f ? "LP" : "HP";
      break;
    case Unit::Pan:
      if (value == 1.0f) return "left";
      if (value == 0.0f) return "right";
      if (value == 0.5f) return "center";
      break;
    case Unit::Beats:
      for (int denominator : {1, 2, 4, 8, 16, 3, 6, 12}) {
        const double numerator = std::round(value * denominator);
        if (numerator >= 1.0 && static_cast<float>(numerator / denominator) == value) {
          const long n = std::lround(numerator);
          if (denominator == 1) return std::to_string(n) + " beat";
          return std::to_string(n) + "/" + std::to_string(denominator) + " beat";
        }
      }
      break;
    case Unit::Bars:
      decimals(value * 10.0, " bars");
      break;
    case Unit::AttackSteps:
    case Unit::DecaySteps:
      decimals(value * (unit == Unit::AttackSteps ? 1.0 : 2.0), " steps");
      break;
    case Unit::Percent:
    case Unit::Level:
      decimals(value * 100.0, "%");
      break;
    case Unit::None:
      return "";
  }
  char shortest[32];
  const auto end = std::to_chars(shortest, shortest + sizeof shortest, value).ptr;
  candidates.emplace_back(shortest, end);
  char nine[32];
  std::snprintf(nine, sizeof nine, "%.9g", value);
  candidates.emplace_back(nine);
  for (const std::string& text : candidates) {
    float back = 0.0f;
    std::string ignored;
    if (ParseValue(slot, text, back, ignored) && back == value) return text;
  }
  return nine;
}

ParameterNames::ParameterNames(std::vector<std::string> names) : names_(std::move(names)) {
  for (const std::string& name : names_) keys_.push_back(name == "reserved" ? std::string() : Key(name));
}

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

}  // namespace render
