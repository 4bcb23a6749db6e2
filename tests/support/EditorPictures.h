#pragma once

// What the editor tests on an X server compare the screen with: the editor
// window as the headless backend composes it for a set of values (the same
// window, form and artwork every format shows), and where its cells are.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin/Parameters.h"

namespace plonktest {

inline constexpr int kWidth = 719, kHeight = 512;

// Slots 1..61 (index 0 unused).
using Values = std::array<float, parameters::kLast + 1>;
Values Defaults();

// Pixels as 0xRRGGBB, top row first.
using Picture = std::vector<std::uint32_t>;

// The editor showing these values, kWidth x kHeight; with timeMissing, as
// its plug-in reports no time information (the notice shown).
Picture EditorPicture(const Values& values, bool timeMissing = false);

std::size_t Differing(const Picture& a, const Picture& b);

// Writes the picture as a PNG file.
bool WritePng(const Picture& picture, int width, int height, const std::string& path);

struct Point {
  int x, y;
};
// Centres of step n and tie n (1..16) in the editor window.
constexpr Point StepCentre(int n) {
  return {87 + 30 * (n - 1) + 15, 92};
}
constexpr Point TieCentre(int n) {
  return {100 + 30 * (n - 1) + 15, 59};
}
// The FD1 cutoff slider's handle while the slider is at 0.2; a pixel to
// the right is a hundredth more.
inline constexpr Point kFd1CutoffAt02{145, 266};

}  // namespace plonktest
