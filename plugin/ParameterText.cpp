#include "plugin/ParameterText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "plugin/Parameters.h"

namespace parameters {

namespace {

Unit UnitOf(int slot) {
  return parameter(slot).unit;
}

// The named values a slot's text may give by word: on and off, the filter
// types, the pan's points; none for the units read as numbers.
std::span<const Point> WordsOf(int slot) {
  switch (UnitOf(slot)) {
    case Unit::Switch:
      return kSwitchWords;
    case Unit::FilterType:
    case Unit::Pan:
      return parameter(slot).points;
    default:
      return {};
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

// Whether text (lower case) is one of a point's words, without regard to case.
bool IsWordOf(const std::string& text, const Point& point) {
  for (std::string_view words = point.words; !words.empty();) {
    const std::size_t bar = words.find('|');
    if (Lower(std::string(words.substr(0, bar))) == text) return true;
    words = bar == std::string_view::npos ? std::string_view() : words.substr(bar + 1);
  }
  return false;
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

// The points' words (the first of each) in a row, the last after `last`:
// "a, b, c" or "a, b or c"; reversed from the highest value down.
std::string WordRow(std::span<const Point> points, const char* last, bool reversed = false) {
  std::string row;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Point& point = points[reversed ? points.size() - 1 - i : i];
    if (i > 0) row += i + 1 == points.size() ? last : ", ";
    row += point.word();
  }
  return row;
}

// The bars of a period of 1.
std::string MostBars() {
  return std::to_string(static_cast<int>(kBarsPerPeriodUnit));
}

}  // namespace

ParameterMeaning Describe(int slot) {
  const auto unitText = [](Unit unit) -> std::string {
    switch (unit) {
      case Unit::Switch:
        return "on, off or 0..1";
      case Unit::FilterType:
        return WordRow(kFilterTypes, ", ") + " or 0..1";
      case Unit::Beats:
        return "beats up to 1: 3/4, 0.5, 1/4 beat";
      case Unit::Bars:
        return "1 to " + MostBars() + " bars (a number below 1 is the slot value)";
      case Unit::AttackSteps:
        return "0..1, % or 0 to 1 steps";
      case Unit::DecaySteps:
        return "0..1, % or 0 to 2 steps";
      case Unit::Percent:
        return "0..1 or %";
      case Unit::Level:
        return "0..1, % or dB (0 dB and below)";
      case Unit::Pan:
        return "0..1, % or " + WordRow(kPanPoints, ", ", true);
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
        meaning = "the editor snaps " + unit + "'s delay to " + WordRow(kSyncedDelays, " or ") +
                  " beat; no sound change";
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
        meaning = "LFO" + std::to_string(slot == kLfo1Period ? 1 : 2) +
                  "'s cycle: " + WordRow(kPeriods, " or ") + " bars in the editor";
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
  for (const Point& point : WordsOf(slot))
    if (IsWordOf(text, point)) return accept(point.value);

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
    if (!InRange(x, 0.0, kBarsPerPeriodUnit))
      return reject("outside 0 to " + MostBars() + " bars: " + Trim(input));
    return accept(periodOfTypedBars(x));
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
  for (const Point& point : WordsOf(slot))
    if (point.value == value) return std::string(point.word());
  switch (unit) {
    case Unit::Switch:
    case Unit::FilterType:
    case Unit::Pan:
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
      decimals(barsOfPeriod(value), " bars");
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

}  // namespace parameters
