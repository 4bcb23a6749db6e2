#pragma once

// The command-line conventions of every plonkrift tool: options parsed with
// getopt_long from one table (long names, short letters, --name=value,
// abbreviations, "--"), values read as numbers, whole numbers or one of a
// few, --help and --version answered on standard output, and every mistake
// said in one line that names the option, with exit status 2.

#include <getopt.h>

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// A mistake on the command line; the tool prints "<tool>: <what()>" and exits 2.
struct Mistake : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Exit status for a mistake on the command line (1 is a run that failed).
constexpr int kUsageStatus = 2;

// How a tool words the refusals. Each tool keeps the words its users and
// their scripts already know.
struct Wording {
  // "--tempo: needs a value" or, without the colon, "--tempo needs a value".
  bool colonAfterOption = true;
  // "unknown option: --bpm=93 (see --help)" or "unknown option '--bpm' (see --help)".
  bool quoteUnknown = false;
  // "--tempo: out of range (1 to 1000): 0" or "--tempo: out of range: 0 (give 1 to 1000 BPM)".
  bool rangeAfterValue = false;
};

// The renderer's words.
inline constexpr Wording kRenderWording{false, true, true};

// A finite number in [min, max] for option (its name as messages give it,
// "--tempo"); unit goes into the renderer's wording of the range ("BPM").
double Number(const std::string& option, const char* text, double min, double max, const char* unit = "",
              const Wording& wording = {});
// A whole number in [min, max].
long Integer(const std::string& option, const char* text, long min, long max, const char* unit = "",
             const Wording& wording = {});

struct Option {
  int id;                      // what CommandLine::next answers for it
  const char* name = nullptr;  // the long name without its dashes, or none
  char letter = 0;             // the short name, or none
  bool value = false;          // takes a value
};

// One pass over a command line. Make one per process: getopt_long keeps its
// place in globals.
class CommandLine {
 public:
  static constexpr int kEnd = -1;

  CommandLine(int argc, char** argv, std::vector<Option> options, Wording wording = {});

  // The id of the next option given, or kEnd after the last; throws Mistake
  // for anything getopt_long refuses.
  int next();

  // Of the option next answered: its value, and its name as messages give
  // it ("--tempo", or "-I" for one that has only a letter).
  const char* value() const { return value_; }
  std::string name() const;

  // The value as Number or Integer read it.
  double number(double min, double max, const char* unit = "") const;
  long integer(long min, long max, const char* unit = "") const;
  // The value as one of the whole numbers allowed; otherwise "not supported",
  // with hint saying what to give ("16, 24 or 32 for float").
  long oneOf(std::initializer_list<long> allowed, const std::string& hint) const;
  // The value as a file name, which must not be empty.
  std::string file() const;

  // The words that are no options, in order, once next answered kEnd.
  std::vector<std::string> operands() const;
  // The one operand a tool takes, once next answered kEnd; none, an empty
  // one or more than one is a mistake that calls it what ("input file").
  std::string onlyOperand(const std::string& what) const;

 private:
  Mistake Refused(int result) const;

  int argc_;
  char** argv_;
  std::vector<Option> options_;
  Wording wording_;
  std::string letters_;
  std::vector<::option> table_;
  int current_ = -1;  // index into options_
  const char* value_ = nullptr;
};

// The text without the spaces and tabs around it ("FD1 Cutoff = 0.3").
std::string Trim(const std::string& text);

// Prints "<tool>: <message>" on standard error and answers status.
int Say(const char* tool, const std::string& message, int status);

// The usage on standard output for --help, the version for --version: the
// status to exit with then, nothing when the tool goes on.
std::optional<int> AnswerHelpOrVersion(const char* tool, const std::string& usage, bool help, bool version);

// Parses the command line with `parse` (which throws Mistake and sets the
// options' `help` and `version`) and answers a mistake, --help and --version
// itself: the status to exit with then, nothing when the tool goes on.
template <class Options, class Parse>
std::optional<int> ParseCommandLine(const char* tool, const std::string& usage, Parse parse, int argc,
                                    char** argv, Options& options) {
  try {
    options = parse(argc, argv);
  } catch (const Mistake& mistake) {
    return Say(tool, mistake.what(), kUsageStatus);
  }
  return AnswerHelpOrVersion(tool, usage, options.help, options.version);
}

}  // namespace cli
