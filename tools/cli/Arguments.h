#pragma once

// Command-line conventions shared by plonkrift-shot and plonkrift-plot: options
// parsed with getopt_long, and every mistake said in one line that names the
// option ("--tempo: not a number: abc").

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace cli {

// A mistake on the command line; the tool prints "<tool>: <what()>" and exits 2.
struct Mistake : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Exit status for a mistake on the command line (1 is a run that failed).
constexpr int kUsageStatus = 2;

inline std::string RangeText(double min, double max) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g to %.10g", min, max);
  return text;
}

// The text without the spaces and tabs around it ("FD1 Cutoff = 0.3").
inline std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A finite number in [min, max].
inline double Number(const std::string& option, const char* text, double min, double max) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (*text == '\0' || *end != '\0' || errno == ERANGE || !std::isfinite(value))
    throw Mistake(option + ": not a number: " + text);
  if (value < min || value > max)
    throw Mistake(option + ": out of range (" + RangeText(min, max) + "): " + text);
  return value;
}

// A whole number in [min, max].
inline long Integer(const std::string& option, const char* text, long min, long max) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || errno == ERANGE)
    throw Mistake(option + ": not a whole number: " + text);
  if (value < min || value > max)
    throw Mistake(option + ": out of range (" + RangeText(min, max) + "): " + text);
  return value;
}

// What getopt_long refused, in words; call it right after getopt_long returned
// '?' or ':' (the short options must begin with ':' so that a missing value is
// told apart from an unknown option).
inline Mistake Refused(int result, char** argv, const char* shortOptions) {
  // A long option is the word getopt_long just passed; a short one is a letter
  // that may sit inside a word of several.
  const std::string word = argv[optind - 1];
  const bool isLong = word.rfind("--", 0) == 0;
  const std::string shortName = std::string("-") + static_cast<char>(optopt);
  if (result == ':') return Mistake((isLong ? word : shortName) + ": needs a value");
  const bool knownShort = optopt > 0 && optopt < 256 && std::strchr(shortOptions, optopt) != nullptr;
  if (optopt > 0 && optopt < 256 && !knownShort)
    return Mistake("unknown option: " + shortName + " (see --help)");
  // A known long option that takes no value was given one ("--help=yes").
  if (optopt != 0 && isLong) return Mistake(word.substr(0, word.find('=')) + ": takes no value");
  return Mistake("unknown option: " + word + " (see --help)");
}

// Parses the command line with `parse` (which throws Mistake and sets the
// options' `help` and `version`) and answers a mistake, --help and --version
// itself: the status to exit with then, nothing when the tool goes on.
template <class Options, class Parse>
std::optional<int> ParseCommandLine(const char* tool, const char* usage, Parse parse, int argc, char** argv,
                                    Options& options) {
  try {
    options = parse(argc, argv);
  } catch (const Mistake& mistake) {
    std::fprintf(stderr, "%s: %s\n", tool, mistake.what());
    return kUsageStatus;
  }
  if (options.help) {
    std::fputs(usage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s %s\n", tool, PLONKRIFT_VERSION);
    return 0;
  }
  return std::nullopt;
}

}  // namespace cli
