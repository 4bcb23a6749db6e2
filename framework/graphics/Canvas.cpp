#include "framework/graphics/Canvas.h"

#include <algorithm>

// What every drawing library shares: the pen position and the stretched copy,
// which is plain pixel work. The operations that rasterise live with their
// library (CanvasCairo.cpp, CanvasGdi.cpp).

namespace framework {

TCanvas::TCanvas(std::uint8_t* bits, std::int32_t width, std::int32_t height)
    : bits_(bits), width_(width), height_(height) {}

void TCanvas::MoveTo(std::int32_t x, std::int32_t y) {
  penX_ = x;
  penY_ = y;
}

void TCanvas::StretchDraw(const TRect& rect, const std::uint8_t* srcBits, std::int32_t srcWidth,
                          std::int32_t srcHeight) {
  const std::int64_t w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  if (w <= 0 || h <= 0 || srcWidth <= 0 || srcHeight <= 0 || srcBits == nullptr || bits_ == nullptr) return;
  const std::int32_t x0 = std::max(rect.Left, 0), x1 = std::min<std::int64_t>(rect.Right, width_);
  const std::int32_t y0 = std::max(rect.Top, 0), y1 = std::min<std::int64_t>(rect.Bottom, height_);
  const auto* src = reinterpret_cast<const std::uint32_t*>(srcBits);
  auto* dst = reinterpret_cast<std::uint32_t*>(bits_);
  for (std::int32_t y = y0; y < y1; ++y) {
    const std::int64_t sy = (y - rect.Top) * std::int64_t{srcHeight} / h;
    const std::uint32_t* srow = src + (srcHeight - 1 - sy) * std::int64_t{srcWidth};
    std::uint32_t* drow = dst + (height_ - 1 - y) * std::int64_t{width_};
    for (std::int32_t x = x0; x < x1; ++x) drow[x] = srow[(x - rect.Left) * std::int64_t{srcWidth} / w];
  }
  if (OnChange) OnChange();
}

}  // namespace framework
