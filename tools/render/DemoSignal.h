#pragma once

#include <vector>

namespace render {

struct Audio {
  double rate = 44100.0;
  std::vector<float> left, right;
};

// A few bars that show the effect: a sustained four-note chord and a beat
// (kick on the beats, hi-hat on the off-beats) for four bars, then two bars
// of silence in which the echoes ring out.
Audio MakeDemo(double rate, double tempo);

}  // namespace render
