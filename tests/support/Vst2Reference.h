#pragma once

// The VST 2 library as every other format of the effect is held against it:
// a song (the built-in demo, the host's transport in segments, values and
// programs set at frames) played through hostkit as plonkrift-render plays
// it, and the comparison bit for bit.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/render/DemoSignal.h"

namespace reference {

// From frame start on the host's transport stands at beats (quarter notes)
// with the tempo, rolling or stopped: a start, stop, jump or tempo change.
struct Segment {
  std::int64_t start;
  double beats;
  double tempo;
  bool playing;
};

// A value a host sets at a frame while the song plays; with slot kProgram,
// a program change to the value's program.
inline constexpr int kProgram = -1;
struct Change {
  std::int64_t frame;
  int slot;
  float value;
};

struct Song {
  double rate = 44100.0;
  std::vector<Segment> segments;  // the first starts at frame 0
  std::int64_t frames = 0;        // 0: the demo and a bar of silence
  std::vector<Change> changes;    // in order of frame
};

struct Stereo {
  std::vector<float> left, right;
};

using Values = std::vector<std::pair<int, float>>;  // slot, value

// The song's length in frames.
std::int64_t Frames(const Song& song);
// The segment in force at a frame, and the host's song position there.
const Segment& SegmentAt(const Song& song, std::int64_t at);
double BeatsAt(const Song& song, std::int64_t at);
// Where the next segment starts after at (or end).
std::int64_t NextStart(const Song& song, std::int64_t at, std::int64_t end);

// The demo, then silence.
class DemoInput {
 public:
  explicit DemoInput(const Song& song) : demo_(song.rate, song.segments.front().tempo) {}
  void read(float* left, float* right, std::size_t count);

 private:
  render::Demo demo_;
};

// The VST 2 render in blocks of the given size, split where a segment
// starts (the transport-changed bit set there) and where a change is set
// (setParameter or effSetProgram between the parts); the program and values
// applied before playback as a host sets them.
Stereo RenderVst(const Song& song, int block, const Values& values, int program = 0);

// "" when both are the same bit for bit, else where and how they differ.
std::string Difference(const Stereo& a, const Stereo& b);

}  // namespace reference
