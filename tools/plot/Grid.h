#pragma once

// Where plonkrift-plot draws the song's grid and its bar labels: the song
// position of every sample follows from the tempo and the position of the
// first sample, as in plonkrift-render.

#include <functional>
#include <string>
#include <vector>

namespace plot {

struct Timeline {
  double rate = 44100.0;  // samples per second
  double tempo = 120.0;   // beats per minute
  double start = 0.0;     // song position of the first sample, in beats
  double samplesPerPixel = 1.0;
  double width = 0.0;  // pixels; x runs from 0 to width
};

// The x of a song position in beats (4/4: sixteen sixteenths to the bar).
double X(const Timeline& timeline, double beat);

enum class Level { kSixteenth, kBeat, kBar };

struct Line {
  double x;
  Level level;
};

// The grid lines inside the plot, each level only where its lines lie at
// least minSpacing pixels apart (bars always, but thinned like the labels).
std::vector<Line> GridLines(const Timeline& timeline, double minSpacing, int barStep);

struct Label {
  long bar;  // 1 is the song's first bar; bars before it count 0, -1, ...
  double x;  // the bar line; the text begins a little to its right
  std::string text;
};

// "bar N" at the bar lines inside the plot: every bar when the texts fit,
// else every 2nd, 4th, 8th ... bar counted from bar 1, so that each text ends
// at least gap pixels before the next begins. width measures a text.
struct Labels {
  int step = 1;
  std::vector<Label> labels;
};
Labels BarLabels(const Timeline& timeline, const std::function<double(const std::string&)>& width,
                 double gap);

}  // namespace plot
