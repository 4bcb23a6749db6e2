#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace render {

struct Options {
  std::string plugin;     // empty: the library built with this tree
  std::string input;      // empty: the built-in demo
  std::string output = "plonkrift-render.wav";
  std::string dry;        // also write the input as played (for comparing)
  double tempo = 120.0;
  std::optional<double> rate;  // generated input only; a file brings its own
  int block = 512;
  double start = 0.0;  // song position of the first sample, in beats
  bool playing = true;
  std::optional<int> program;
  std::vector<std::pair<std::string, float>> sets;  // parameter name, value
  int bits = 32;  // 32: float; 16 or 24: integer PCM
  bool info = false;
  bool help = false;
};

// Parses the command line; on a mistake returns false with a one-line
// message in error.
bool Parse(int argc, char** argv, Options& options, std::string& error);

const char* Usage();

}  // namespace render
