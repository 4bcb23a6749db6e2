#include "tools/render/RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace render {

namespace {

constexpr double kMinTempo = 1.0, kMaxTempo = 1000.0;
constexpr double kMinRate = 8000.0, kMaxRate = 384000.0;
constexpr int kMaxBlock = 1 << 20;

bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end != nullptr && *end == '\0' && std::isfinite(value);
}

bool ParseInteger(const std::string& text, long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0';
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

const char* Usage() {
  return "usage: plonkrift-render [options] [input.wav|.flac|.aiff]\n"
         "Plays the plug-in over a song position and writes the processed audio.\n"
         "With no input file a built-in demo (a chord and a beat, a few bars) is played.\n"
         "  -o, --output FILE    output WAV file (default plonkrift-render.wav)\n"
         "  --dry FILE           also write the input as it was played, for comparison\n"
         "  --tempo BPM          song tempo, 1 to 1000 (default 120)\n"
         "  --rate HZ            sample rate of the generated demo, 8000 to 384000 (default 44100)\n"
         "  --block FRAMES       frames per processing block, 1 to 1048576 (default 512)\n"
         "  --start BEATS        song position of the first sample, in beats (default 0)\n"
         "  --playing            transport playing (default)\n"
         "  --stopped            transport stopped: the gate runs freely\n"
         "  --program N          program 0 to 7 before the parameters are set\n"
         "  --set \"NAME=VALUE\"   a parameter by its name as hosts see it, value 0 to 1 (repeatable)\n"
         "  --bits 16|24|32      output sample format: 16 or 24-bit PCM, or 32-bit float (default)\n"
         "  --plugin PATH        the plug-in library (default: the one built with this tree)\n"
         "  --info               print the plug-in's self-description as a host sees it\n"
         "  -h, --help           this text\n";
}

bool Parse(int argc, char** argv, Options& options, std::string& error) {
  auto value = [&](int& i, const char* option, std::string& out) {
    if (i + 1 >= argc) {
      error = std::string(option) + " needs a value";
      return false;
    }
    out = argv[++i];
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string text;
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--info") {
      options.info = true;
    } else if (arg == "--playing") {
      options.playing = true;
    } else if (arg == "--stopped") {
      options.playing = false;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(i, arg.c_str(), options.output)) return false;
      if (options.output.empty()) return error = "the output file name is empty", false;
    } else if (arg == "--dry") {
      if (!value(i, "--dry", options.dry)) return false;
      if (options.dry.empty()) return error = "the dry file name is empty", false;
    } else if (arg == "--plugin") {
      if (!value(i, "--plugin", options.plugin)) return false;
    } else if (arg == "--tempo") {
      if (!value(i, "--tempo", text)) return false;
      if (!ParseNumber(text, options.tempo) || options.tempo < kMinTempo || options.tempo > kMaxTempo)
        return error = "tempo '" + text + "' is out of range: give 1 to 1000 BPM", false;
    } else if (arg == "--rate") {
      if (!value(i, "--rate", text)) return false;
      double rate = 0;
      if (!ParseNumber(text, rate) || rate < kMinRate || rate > kMaxRate)
        return error = "sample rate '" + text + "' is out of range: give 8000 to 384000 Hz", false;
      options.rate = rate;
    } else if (arg == "--block") {
      if (!value(i, "--block", text)) return false;
      long block = 0;
      if (!ParseInteger(text, block) || block < 1 || block > kMaxBlock)
        return error = "block size '" + text + "' is out of range: give 1 to 1048576 frames", false;
      options.block = static_cast<int>(block);
    } else if (arg == "--start") {
      if (!value(i, "--start", text)) return false;
      if (!ParseNumber(text, options.start) || std::fabs(options.start) > 1e9)
        return error = "start position '" + text + "' is not a number of beats within +-1e9", false;
    } else if (arg == "--program") {
      if (!value(i, "--program", text)) return false;
      long program = 0;
      if (!ParseInteger(text, program) || program < 0 || program > 7)
        return error = "program '" + text + "' is out of range: give 0 to 7", false;
      options.program = static_cast<int>(program);
    } else if (arg == "--bits") {
      if (!value(i, "--bits", text)) return false;
      if (text != "16" && text != "24" && text != "32")
        return error = "bits '" + text + "' is not supported: give 16, 24 or 32 (float)", false;
      options.bits = std::atoi(text.c_str());
    } else if (arg == "--set") {
      if (!value(i, "--set", text)) return false;
      const auto equals = text.rfind('=');
      if (equals == std::string::npos)
        return error = "--set '" + text + "' needs the form \"NAME=VALUE\"", false;
      const std::string name = Trim(text.substr(0, equals)), number = Trim(text.substr(equals + 1));
      double v = 0;
      if (!ParseNumber(number, v) || v < 0.0 || v > 1.0)
        return error = "value '" + number + "' for \"" + name + "\" is outside 0..1", false;
      options.sets.emplace_back(name, static_cast<float>(v));
    } else if (arg.size() > 1 && arg[0] == '-') {
      return error = "unknown option '" + arg + "' (see --help)", false;
    } else {
      if (!options.input.empty()) return error = "more than one input file: '" + options.input + "' and '" + arg + "'", false;
      options.input = arg;
    }
  }
  if (options.rate && !options.input.empty())
    return error = "--rate applies to the generated demo only: '" + options.input + "' plays at its own rate", false;
  return true;
}

}  // namespace render
