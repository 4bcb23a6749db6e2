#pragma once

#include <cstddef>
#include <cstdint>

namespace render {

// A few bars that show the effect: a sustained four-note chord and a beat
// (kick on the beats, hi-hat on the off-beats) for four bars, then two bars
// of silence in which the echoes ring out. Made block by block, so a long
// demo (a slow tempo at a high rate) costs no more memory than a short one.
class Demo {
 public:
  Demo(double rate, double tempo);

  double rate() const { return rate_; }
  std::size_t frames() const { return total_; }
  // Writes up to count frames; answers how many were left to give.
  std::size_t read(float* left, float* right, std::size_t count);

 private:
  double rate_, beat_;
  std::size_t played_, total_, at_ = 0;
  std::uint32_t noise_ = 12345;
  double previous_ = 0.0;
};

}  // namespace render
