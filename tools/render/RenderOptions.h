#pragma once

#include <optional>
#include <string>
#include <vector>

namespace render {

struct Options {
  std::string plugin;                           // empty: looked for (see PluginSearch.h)
  std::string input;                            // empty: the built-in demo; "-": standard input
  std::string output = "plonkrift-render.wav";  // "-": standard output
  bool outputGiven = false;
  std::string dry;          // also write the input as played (for comparing)
  std::string type;         // output format when the name does not tell it
  std::optional<int> bits;  // 16, 24 or 32 (float); unset: the format's own
  double tempo = 120.0;
  std::optional<double> rate;  // generated input only; a file brings its own
  int block = 512;
  double start = 0.0;  // song position of the first sample, in beats
  bool playing = true;
  std::optional<int> program;
  // "--set NAME=VALUE" and "--preset FILE" in the order given: later ones win.
  struct Setting {
    bool preset;
    std::string text;
  };
  std::vector<Setting> settings;
  std::string savePreset;
  std::optional<double> tail;             // bars after the input; unset: until the echoes die away
  std::optional<double> gain, normalize;  // dB
  bool info = false;
  bool help = false;
  bool version = false;
};

// Parses the command line (GNU style: --tempo=93, -oFILE, "--" ends the
// options); throws cli::Mistake with a one-line message for a mistake.
Options Parse(int argc, char** argv);

std::string Usage();

}  // namespace render
