#pragma once

// The same song through both plug-in formats: the VST 2 library through
// hostkit (as plonkrift-render plays it) and the LV2 bundle through our lilv
// host, with the built-in demo as input.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/lv2/Lv2Host.h"

namespace lv2test {

// From frame start on the host's transport stands at beats (quarter notes)
// with the tempo, rolling or stopped: a start, stop, jump or tempo change.
struct Segment {
  std::int64_t start;
  double beats;
  double tempo;
  bool playing;
};

struct Song {
  double rate = 44100.0;
  std::vector<Segment> segments;  // the first starts at frame 0
  std::int64_t frames = 0;        // 0: the demo and a bar of silence
};

struct Stereo {
  std::vector<float> left, right;
};

using Values = std::vector<std::pair<int, float>>;  // slot, value

// The VST 2 render in blocks of the given size, split where a segment
// starts; program and values applied as a host sets them.
Stereo RenderVst(const Song& song, int block, const Values& values, int program = 0);

// How the LV2 host plays: block sizes in turn, and whether it sends a
// time:Position every block (with time:beat) or only where a segment starts
// (with bar and barBeat, as Ardour does).
struct Lv2Playing {
  std::vector<std::uint32_t> blocks{256};
  bool positionEveryBlock = false;
};

Stereo RenderLv2(const Song& song, const Lv2Playing& playing, const Values& values,
                 const std::string& preset = "");

// "" when both are the same bit for bit, else where and how they differ.
std::string Difference(const Stereo& a, const Stereo& b);

}  // namespace lv2test
