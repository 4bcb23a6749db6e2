#include "framework/graphics/IndexedBitmap.h"

#include <algorithm>

namespace framework {

TIndexedBitmap::TIndexedBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bitsPerPixel_(bitsPerPixel),
      rowBytes_((width_ + 3) & ~3) {
  if (bitsPerPixel_ == 8) bits_.assign(static_cast<std::size_t>(rowBytes_) * height_, 0);
}

std::uint8_t TIndexedBitmap::IndexAt(std::int32_t x, std::int32_t y) const {
  if (bits_.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return bits_[static_cast<std::size_t>(height_ - 1 - y) * rowBytes_ + x];
}

void TIndexedBitmap::SetBits(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                             std::span<const std::uint8_t> bits) {
  if (bits_.empty() || width <= 0 || height <= 0) return;
  const std::int64_t srcRow = (std::int64_t{width} + 3) & ~std::int64_t{3};
  if (static_cast<std::int64_t>(bits.size()) < srcRow * height) return;
  for (std::int32_t row = 0; row < height; ++row) {  // visual rows, top first
    const std::int64_t ty = std::int64_t{y} + row;
    if (ty < 0 || ty >= height_) continue;
    const std::uint8_t* s = bits.data() + (height - 1 - row) * srcRow;
    std::uint8_t* d = bits_.data() + (height_ - 1 - ty) * rowBytes_;
    for (std::int32_t col = 0; col < width; ++col) {
      const std::int64_t tx = std::int64_t{x} + col;
      if (tx >= 0 && tx < width_) d[tx] = s[col];
    }
  }
}

}  // namespace framework
