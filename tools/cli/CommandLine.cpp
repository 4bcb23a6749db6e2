#include "tools/cli/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace cli {

namespace {

// getopt_long answers a long option with this plus its index in the table,
// so that an option's letter and its long name come back alike.
constexpr int kLongBase = 256;

std::string Format(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", x);
  return text;
}

// "out of range", in the tool's words.
std::string OutOfRange(const std::string& option, const char* text, const std::string& min,
                       const std::string& max, const char* unit, const Wording& wording) {
  if (wording.rangeAfterValue)
    return option + ": out of range: " + text + " (give " + min + " to " + max + (*unit ? " " : "") + unit +
           ")";
  return option + ": out of range (" + min + " to " + max + "): " + text;
}

}  // namespace

CommandLine::CommandLine(int argc, char** argv, std::vector<Option> options, Wording wording)
    : argc_(argc), argv_(argv), options_(std::move(options)), wording_(wording) {
  // The leading colon makes a missing value ':' rather than '?', so it is
  // told apart from an unknown option.
  letters_ = ":";
  for (std::size_t i = 0; i < options_.size(); ++i) {
    const Option& o = options_[i];
    if (o.letter != 0) {
      letters_ += o.letter;
      if (o.value) letters_ += ':';
    }
    if (o.name != nullptr)
      table_.push_back(
          {o.name, o.value ? required_argument : no_argument, nullptr, kLongBase + static_cast<int>(i)});
  }
  table_.push_back({nullptr, 0, nullptr, 0});
  opterr = 0;  // our own messages, one line each
  optind = 1;
}

int CommandLine::next() {
  const int result = getopt_long(argc_, argv_, letters_.c_str(), table_.data(), nullptr);
  if (result == -1) return kEnd;
  if (result == '?' || result == ':') throw Refused(result);
  if (result >= kLongBase) {
    current_ = result - kLongBase;
  } else {
    const auto byLetter = [result](const Option& o) { return o.letter == result; };
    current_ = static_cast<int>(std::find_if(options_.begin(), options_.end(), byLetter) - options_.begin());
  }
  value_ = optarg;
  return options_[current_].id;
}

std::string CommandLine::name() const {
  const Option& o = options_[current_];
  return o.name != nullptr ? std::string("--") + o.name : std::string("-") + o.letter;
}

Mistake CommandLine::Refused(int result) const {
  // optopt holds what getopt_long refused: a long option's answer (a known
  // option given wrongly), a letter, or 0 for a long word it does not know.
  const std::string joint = wording_.colonAfterOption ? ": " : " ";
  std::string option;
  if (optopt >= kLongBase)
    option = std::string("--") + options_[optopt - kLongBase].name;
  else if (optopt > 0)
    option = std::string("-") + static_cast<char>(optopt);
  if (result == ':') return Mistake(option + joint + "needs a value");
  // A known long option that takes no value was given one ("--help=yes").
  if (optopt >= kLongBase) return Mistake(option + joint + "takes no value");
  // A long word is the one getopt_long just passed.
  const std::string word = optopt > 0 ? option : argv_[optind - 1];
  if (wording_.quoteUnknown)
    return Mistake("unknown option '" + word.substr(0, word.find('=')) + "' (see --help)");
  return Mistake("unknown option: " + word + " (see --help)");
}

double Number(const std::string& option, const char* text, double min, double max, const char* unit,
              const Wording& wording) {
  errno = 0;
  char* end = nullptr;
  const double x = std::strtod(text, &end);
  if (*text == '\0' || *end != '\0' || errno == ERANGE || !std::isfinite(x))
    throw Mistake(option + ": not a number: " + text);
  if (x < min || x > max) throw Mistake(OutOfRange(option, text, Format(min), Format(max), unit, wording));
  return x;
}

long Integer(const std::string& option, const char* text, long min, long max, const char* unit,
             const Wording& wording) {
  errno = 0;
  char* end = nullptr;
  const long x = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || errno == ERANGE)
    throw Mistake(option + ": not a whole number: " + text);
  if (x < min || x > max)
    throw Mistake(OutOfRange(option, text, std::to_string(min), std::to_string(max), unit, wording));
  return x;
}

double CommandLine::number(double min, double max, const char* unit) const {
  return Number(name(), value_, min, max, unit, wording_);
}

long CommandLine::integer(long min, long max, const char* unit) const {
  return Integer(name(), value_, min, max, unit, wording_);
}

long CommandLine::oneOf(std::initializer_list<long> allowed, const std::string& hint) const {
  errno = 0;
  char* end = nullptr;
  const long x = std::strtol(value_, &end, 10);
  if (*value_ == '\0' || *end != '\0' || errno == ERANGE ||
      std::find(allowed.begin(), allowed.end(), x) == allowed.end())
    throw Mistake(name() + ": not supported: " + value_ + " (give " + hint + ")");
  return x;
}

std::string CommandLine::file() const {
  if (*value_ == '\0') throw Mistake(name() + ": the file name is empty");
  return value_;
}

std::vector<std::string> CommandLine::operands() const {
  return std::vector<std::string>(argv_ + std::min(optind, argc_), argv_ + argc_);
}

std::string CommandLine::onlyOperand(const std::string& what) const {
  const std::vector<std::string> given = operands();
  if (given.size() > 1)
    throw Mistake("more than one " + what + ": '" + given[0] + "' and '" + given[1] + "'");
  if (given.empty() || given[0].empty()) throw Mistake("no " + what + " (see --help)");
  return given[0];
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int Say(const char* tool, const std::string& message, int status) {
  std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
  return status;
}

std::optional<int> AnswerHelpOrVersion(const char* tool, const std::string& usage, bool help, bool version) {
  if (help) {
    std::fputs(usage.c_str(), stdout);
    return 0;
  }
  if (version) {
    std::printf("%s %s\n", tool, PLONKRIFT_VERSION);
    return 0;
  }
  return std::nullopt;
}

}  // namespace cli
