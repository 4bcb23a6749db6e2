#pragma once

#include <cstdint>

namespace framework {

// A rectangle in pixel coordinates. Whether Right/Bottom are inclusive is up to
// the user of the value (image clip rectangles include them, regions do not).
struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;

  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// A colour of the windowing layer: 0x00BBGGRR, or a system colour identifier
// (high bit set, low byte the system colour's index) that ColorToRGB resolves.
using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;

// System colours, resolved through a fixed scheme (there is no desktop theme).
inline constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// Resolves a system colour to its 0x00BBGGRR value; plain colours pass through.
std::uint32_t ColorToRGB(TColor color);

struct IdentMap;

// The names a stored form gives colours: clBlack ... clWhite and the system
// colours, which can be drawn; ColorIdents adds clNone and clDefault, for
// the Color properties of controls.
const IdentMap& DrawableColorIdents();
const IdentMap& ColorIdents();

}  // namespace framework
