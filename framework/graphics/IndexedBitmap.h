#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "framework/graphics/Types.h"

namespace framework {

struct TPaletteEntry {
  std::uint8_t Red = 0, Green = 0, Blue = 0, Flags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

// A drawing target of palette indexes (an 8-bit device context and its
// bitmap). Rows are bottom-up and padded to a multiple of 4 bytes. A target
// can be made with another depth to stand for a screen that is not 8-bit;
// such a target holds no pixels.
class TIndexedBitmap {
 public:
  TIndexedBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel = 8);

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  std::int32_t BitsPerPixel() const { return bitsPerPixel_; }
  std::int32_t RowBytes() const { return rowBytes_; }

  std::vector<TPaletteEntry>& Colors() { return colors_; }
  const std::vector<TPaletteEntry>& Colors() const { return colors_; }

  // Index at visual (x, y), 0 = top.
  std::uint8_t IndexAt(std::int32_t x, std::int32_t y) const;
  std::span<std::uint8_t> Bits() { return bits_; }

  // Copies a bottom-up block of indexes (rows padded to 4 bytes) to (x, y),
  // clipped to this target.
  void SetBits(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
               std::span<const std::uint8_t> bits);

 private:
  std::int32_t width_;
  std::int32_t height_;
  std::int32_t bitsPerPixel_;
  std::int32_t rowBytes_;
  std::vector<std::uint8_t> bits_;
  std::vector<TPaletteEntry> colors_;
};

}  // namespace framework
