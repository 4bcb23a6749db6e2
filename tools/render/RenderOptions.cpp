#include "tools/render/RenderOptions.h"

#include <cstring>

#include "tools/cli/CommandLine.h"
#include "tools/render/AudioFiles.h"

namespace render {

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

Options Parse(int argc, char** argv) {
  enum {
    kOutput,
    kDry,
    kType,
    kBits,
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
    kHelp,
  };
  cli::CommandLine line(argc, argv,
                        {{kOutput, "output", 'o', true},
                         {kDry, "dry", 0, true},
                         {kType, "type", 't', true},
                         {kBits, "bits", 'b', true},
                         {kTempo, "tempo", 0, true},
                         {kRate, "rate", 0, true},
                         {kBlock, "block", 0, true},
                         {kStart, "start", 0, true},
                         {kPlaying, "playing"},
                         {kStopped, "stopped"},
                         {kProgram, "program", 0, true},
                         {kSet, "set", 0, true},
                         {kPreset, "preset", 0, true},
                         {kSavePreset, "save-preset", 0, true},
                         {kTail, "tail", 0, true},
                         {kGain, "gain", 0, true},
                         {kNormalize, "normalize", 0, true},
                         {kPlugin, "plugin", 0, true},
                         {kInfo, "info"},
                         {kVersion, "version"},
                         {kHelp, "help", 'h'}},
                        cli::kRenderWording);
  Options options;
  for (int option; (option = line.next()) != cli::CommandLine::kEnd;) {
    switch (option) {
      case kHelp:
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
      case kOutput:
        options.output = line.file();
        options.outputGiven = true;
        break;
      case kDry:
        options.dry = line.file();
        break;
      case kType:
        options.type = line.value();
        break;
      case kBits:
        options.bits = static_cast<int>(line.oneOf({16, 24, 32}, "16, 24 or 32 for float"));
        break;
      case kPlugin:
        options.plugin = line.value();
        break;
      case kTempo:
        options.tempo = line.number(1.0, 1000.0, "BPM");
        break;
      case kRate:
        options.rate = line.number(8000.0, 384000.0, "Hz");
        break;
      case kBlock:
        options.block = static_cast<int>(line.integer(1, 1 << 20, "frames"));
        break;
      case kStart:
        options.start = line.number(-1e9, 1e9, "beats");
        break;
      case kProgram:
        options.program = static_cast<int>(line.integer(0, 7));
        break;
      case kSet:
        options.settings.push_back({false, line.value()});
        break;
      case kPreset:
        options.settings.push_back({true, line.value()});
        break;
      case kSavePreset:
        options.savePreset = line.file();
        break;
      case kTail:
        if (std::strcmp(line.value(), "auto") == 0)
          options.tail.reset();
        else
          options.tail = line.number(0.0, 1024.0, "bars, or auto");
        break;
      case kGain:
        options.gain = line.number(-120.0, 60.0, "dB");
        break;
      case kNormalize:
        options.normalize = line.number(-120.0, 0.0, "dBFS");
        break;
    }
  }
  const std::vector<std::string> positional = line.operands();
  if (positional.size() > 1)
    throw cli::Mistake("more than one input file: '" + positional[0] + "' and '" + positional[1] + "'");
  if (!positional.empty()) {
    if (positional[0].empty()) throw cli::Mistake("the input file name is empty");
    options.input = positional[0];
  }
  if (options.rate && !options.input.empty())
    throw cli::Mistake("--rate applies to the generated demo only: '" + options.input +
                       "' plays at its own rate");
  if (options.gain && options.normalize)
    throw cli::Mistake("--gain and --normalize exclude each other: give one");
  if (options.output == "-" && options.dry == "-")
    throw cli::Mistake("--dry and --output cannot both be standard output");
  return options;
}

}  // namespace render
