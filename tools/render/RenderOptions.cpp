#include "tools/render/RenderOptions.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tools/render/AudioFiles.h"

namespace render {

namespace {

enum LongOnly : int {
  kDry = 256,
  kTempo,
  kRate,
  kBlock,
  kStart,
  kPlaying,
  kStopped,
  kProgram,
  kSet,
  kPreset,
  kSavePreset,
  kTail,
  kGain,
  kNormalize,
  kPlugin,
  kInfo,
  kVersion,
};

constexpr option kOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"dry", required_argument, nullptr, kDry},
    {"type", required_argument, nullptr, 't'},
    {"bits", required_argument, nullptr, 'b'},
    {"tempo", required_argument, nullptr, kTempo},
    {"rate", required_argument, nullptr, kRate},
    {"block", required_argument, nullptr, kBlock},
    {"start", required_argument, nullptr, kStart},
    {"playing", no_argument, nullptr, kPlaying},
    {"stopped", no_argument, nullptr, kStopped},
    {"program", required_argument, nullptr, kProgram},
    {"set", required_argument, nullptr, kSet},
    {"preset", required_argument, nullptr, kPreset},
    {"save-preset", required_argument, nullptr, kSavePreset},
    {"tail", required_argument, nullptr, kTail},
    {"gain", required_argument, nullptr, kGain},
    {"normalize", required_argument, nullptr, kNormalize},
    {"plugin", required_argument, nullptr, kPlugin},
    {"info", no_argument, nullptr, kInfo},
    {"version", no_argument, nullptr, kVersion},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

const char* NameOf(int code) {
  for (const option& o : kOptions)
    if (o.name != nullptr && o.val == code) return o.name;
  return "?";
}

// A number for option, within low..high; the message names the option.
bool Number(const char* option, const char* text, double low, double high, const char* unit, double& value,
            std::string& error) {
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text, &end);
  if (*text == '\0' || end == nullptr || *end != '\0' || errno == ERANGE || !std::isfinite(value))
    return error = std::string("--") + option + ": not a number: " + text, false;
  if (value < low || value > high) {
    char range[96];
    std::snprintf(range, sizeof range, "%g to %g%s%s", low, high, *unit ? " " : "", unit);
    return error = std::string("--") + option + ": out of range: " + text + " (give " + range + ")", false;
  }
  return true;
}

bool Whole(const char* option, const char* text, long low, long high, const char* unit, long& value,
           std::string& error) {
  errno = 0;
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  if (*text == '\0' || end == nullptr || *end != '\0' || errno == ERANGE)
    return error = std::string("--") + option + ": not a whole number: " + text, false;
  if (value < low || value > high)
    return error = std::string("--") + option + ": out of range: " + text + " (give " + std::to_string(low) +
                   " to " + std::to_string(high) + (*unit ? " " : "") + unit + ")",
           false;
  return true;
}

}  // namespace

std::string Usage() {
  return "usage: plonkrift-render [options] [INPUT]\n"
         "Plays the plug-in over a song position and writes the processed audio.\n"
         "INPUT is any sound file libsndfile reads (WAV, FLAC, AIFF, OGG, MP3, ...), mono or stereo,\n"
         "or - for standard input; without it a built-in demo (a chord and a beat) is played.\n"
         "\n"
         "Output:\n"
         "  -o, --output FILE     output file (default plonkrift-render.wav); - for standard output.\n"
         "                        The extension sets the format: .wav .rf64 .w64 .flac .aiff .caf .au\n"
         "                        .ogg .opus .mp3. A file is written whole or not at all.\n"
         "  -t, --type TYPE       the format when the name does not tell it: " +
         FormatNames() +
         "\n"
         "  -b, --bits 16|24|32   sample format: 16 or 24-bit integer, or 32-bit float\n"
         "                        (default: float, or 24-bit for FLAC)\n"
         "      --dry FILE        also write the input as it was played, for comparison\n"
         "      --tail BARS       bars rendered after the input (default: until the output stays\n"
         "                        below -90 dBFS for a bar, at most 32 bars); 0: as long as the input\n"
         "      --gain DB         change the output's level after the effect\n"
         "      --normalize DB    scale the output so its peak is at DB dBFS (e.g. -1)\n"
         "\n"
         "Song:\n"
         "      --tempo BPM       song tempo, 1 to 1000 (default 120)\n"
         "      --rate HZ         sample rate of the generated demo, 8000 to 384000 (default 44100)\n"
         "      --block FRAMES    frames per processing block, 1 to 1048576 (default 512)\n"
         "      --start BEATS     song position of the first sample, in beats (default 0)\n"
         "      --playing         transport playing (default)\n"
         "      --stopped         transport stopped: the gate runs freely\n"
         "\n"
         "Parameters (applied in the order given, later ones win):\n"
         "      --program N       program 0 to 7 before the parameters are set\n"
         "      --set NAME=VALUE  a parameter by name (case and spaces do not matter), in its own\n"
         "                        units or 0..1: Step3=on, \"FD1 Filter Type=LP\",\n"
         "                        \"FD1 Delay Time=3/4\" (beats), \"LFO1 Period=4\" (bars),\n"
         "                        \"Gate Volume=70%\"; --info lists them all\n"
         "      --preset FILE     \"Name = value\" lines; # starts a comment\n"
         "      --save-preset FILE  write the values in effect; with no INPUT and no -o nothing\n"
         "                        is rendered\n"
         "\n"
         "Other:\n"
         "      --plugin PATH     the plug-in library (default: $PLONKRIFT_PLUGIN, then plonkrift6v2.so\n"
         "                        in $LXVST_PATH, $VST_PATH, ~/.vst, the installed folder, the build tree)\n"
         "      --info            the plug-in as a host sees it, and every parameter's meaning\n"
         "  -h, --help            this text\n"
         "      --version         the version\n";
}

bool Parse(int argc, char** argv, Options& options, std::string& error) {
  opterr = 0;  // our own messages, one line each
  optind = 1;
  std::vector<std::string> positional;
  for (;;) {
    const int previous = optind;
    const int code = getopt_long(argc, argv, ":o:t:b:h", kOptions, nullptr);
    if (code == -1) break;
    // The option as typed, for messages.
    const std::string typed = previous < argc ? argv[previous] : "";
    const std::string spelled = typed.substr(0, typed.find('='));
    double number = 0;
    long whole = 0;
    switch (code) {
      case 'h':
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
      case kInfo:
        options.info = true;
        break;
      case kPlaying:
        options.playing = true;
        break;
      case kStopped:
        options.playing = false;
        break;
      case 'o':
        if (*optarg == '\0') return error = "--output: the file name is empty", false;
        options.output = optarg;
        options.outputGiven = true;
        break;
      case kDry:
        if (*optarg == '\0') return error = "--dry: the file name is empty", false;
        options.dry = optarg;
        break;
      case 't':
        options.type = optarg;
        break;
      case 'b':
        if (!Whole("bits", optarg, 16, 32, "", whole, error) || (whole != 16 && whole != 24 && whole != 32))
          return error = std::string("--bits: not supported: ") + optarg + " (give 16, 24 or 32 for float)",
                 false;
        options.bits = static_cast<int>(whole);
        break;
      case kPlugin:
        options.plugin = optarg;
        break;
      case kTempo:
        if (!Number("tempo", optarg, 1.0, 1000.0, "BPM", options.tempo, error)) return false;
        break;
      case kRate:
        if (!Number("rate", optarg, 8000.0, 384000.0, "Hz", number, error)) return false;
        options.rate = number;
        break;
      case kBlock:
        if (!Whole("block", optarg, 1, 1 << 20, "frames", whole, error)) return false;
        options.block = static_cast<int>(whole);
        break;
      case kStart:
        if (!Number("start", optarg, -1e9, 1e9, "beats", options.start, error)) return false;
        break;
      case kProgram:
        if (!Whole("program", optarg, 0, 7, "", whole, error)) return false;
        options.program = static_cast<int>(whole);
        break;
      case kSet:
        options.settings.push_back({false, optarg});
        break;
      case kPreset:
        options.settings.push_back({true, optarg});
        break;
      case kSavePreset:
        if (*optarg == '\0') return error = "--save-preset: the file name is empty", false;
        options.savePreset = optarg;
        break;
      case kTail:
        if (std::strcmp(optarg, "auto") == 0) {
          options.tail.reset();
        } else {
          if (!Number("tail", optarg, 0.0, 1024.0, "bars, or auto", number, error)) return false;
          options.tail = number;
        }
        break;
      case kGain:
        if (!Number("gain", optarg, -120.0, 60.0, "dB", number, error)) return false;
        options.gain = number;
        break;
      case kNormalize:
        if (!Number("normalize", optarg, -120.0, 0.0, "dBFS", number, error)) return false;
        options.normalize = number;
        break;
      case ':':
        return error = spelled + " needs a value", false;
      default:
        // An option that takes no value but was given one ("--info=1").
        if (optopt >= kDry && typed.find('=') != std::string::npos)
          return error = "--" + std::string(NameOf(optopt)) + " takes no value", false;
        return error = "unknown option '" + spelled + "' (see --help)", false;
    }
  }
  for (int i = optind; i < argc; ++i) positional.emplace_back(argv[i]);
  if (positional.size() > 1)
    return error = "more than one input file: '" + positional[0] + "' and '" + positional[1] + "'", false;
  if (!positional.empty()) {
    if (positional[0].empty()) return error = "the input file name is empty", false;
    options.input = positional[0];
  }
  if (options.rate && !options.input.empty())
    return error = "--rate applies to the generated demo only: '" + options.input + "' plays at its own rate",
           false;
  if (options.gain && options.normalize)
    return error = "--gain and --normalize exclude each other: give one", false;
  if (options.output == "-" && options.dry == "-")
    return error = "--dry and --output cannot both be standard output", false;
  return true;
}

}  // namespace render
