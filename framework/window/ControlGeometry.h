#pragma once

// Rectangle and pixel helpers of the window layer's own files.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "framework/window/Controls.h"

namespace framework::detail {

inline bool IsEmpty(const TRect& r) {
  return r.Right <= r.Left || r.Bottom <= r.Top;
}

inline TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  return IsEmpty(r) ? TRect{} : r;
}

inline TRect Offset(const TRect& r, TPoint d) {
  return {r.Left + d.X, r.Top + d.Y, r.Right + d.X, r.Bottom + d.Y};
}

inline bool Contains(const TRect& r, TPoint p) {
  return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

// c is inside (or is) ancestor.
inline bool IsWithin(const TControl* c, const TControl* ancestor) {
  for (; c; c = c->Parent())
    if (c == ancestor) return true;
  return false;
}

inline std::uint32_t ColorPixel(TColor color) {
  const std::uint32_t rgb = ColorToRGB(color);
  return 0xFF000000u | ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
}

inline void FillPixels(std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& rect,
                       std::uint32_t pixel) {
  auto* px = reinterpret_cast<std::uint32_t*>(bits);
  for (std::int32_t y = rect.Top; y < rect.Bottom; ++y) {
    std::uint32_t* row = px + static_cast<std::ptrdiff_t>(height - 1 - y) * width;
    std::fill(row + rect.Left, row + rect.Right, pixel);
  }
}

}  // namespace framework::detail
