// Strip frames, regions, the 3 x 3 filter, 8-bit output and picture import.

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "framework/graphics/Canvas.h"
#include "framework/graphics/IndexedBitmap.h"
#include "framework/graphics/PictureLoader.h"
#include "framework/graphics/Region.h"
#include "image/cDIB.h"
#include "image/cDIBPalette.h"

namespace image {

// --- strips -------------------------------------------------------------------

void TAbstractSuperDIB::DrawGlyph(std::int32_t x, std::int32_t y, std::int32_t index, std::int32_t count,
                                  TAbstractSuperDIB& dest) {
  // Frames that do not exist draw nothing (rather than a blank scratch frame).
  if (count < 1 || index < 0 || index >= count) return;
  const std::int32_t frameWidth = width_ / count;
  TMemoryDIB frame(static_cast<std::uint16_t>(frameWidth), height_);
  DrawCopy(0, 0, frameWidth, height_, frame, static_cast<std::uint16_t>(index * frameWidth), 0);
  CopyPropertiesTo(frame);
  frame.Draw(x, y, frameWidth, height_, dest, 0, 0);
}

void TAbstractSuperDIB::DrawBlendedGlyph(std::int32_t x, std::int32_t y, std::int32_t count,
                                         TAbstractSuperDIB& dest, long double min, long double max,
                                         long double value, bool wrap) {
  // An empty range or strip selects no frame.
  if (count < 1 || max == min) return;
  const long double p = (value - min) / (max - min) * count;
  if (!std::isfinite(p)) return;
  const long double clamped = std::clamp(p, -2.0e9L, 2.0e9L);
  auto hi = static_cast<std::int64_t>(std::ceil(clamped));
  auto lo = static_cast<std::int64_t>(std::floor(clamped));
  const std::int64_t rounded = std::llrint((clamped - std::trunc(clamped)) * 255.0L);
  const auto blend = static_cast<std::uint8_t>(255 - rounded);
  auto fold = [&](std::int64_t frame) {
    if (frame >= count) return wrap ? std::int64_t{0} : std::int64_t{count - 1};
    if (frame < 0) return wrap ? std::int64_t{count - 1} : std::int64_t{0};
    return frame;
  };
  hi = fold(hi);
  lo = fold(lo);

  const std::int32_t frameWidth = width_ / count;
  const auto fw = static_cast<std::uint16_t>(frameWidth);
  TMemoryDIB a(fw, height_);
  TMemoryDIB b(fw, height_);
  DrawCopy(0, 0, frameWidth, height_, a, static_cast<std::uint16_t>(hi * frameWidth), 0);
  CopyPropertiesTo(a);
  a.SetOpacity(255);
  DrawCopy(0, 0, frameWidth, height_, b, static_cast<std::uint16_t>(lo * frameWidth), 0);
  b.SetAngle(0);
  b.SetScale(100);
  b.SetOpacity(blend);
  b.Draw(0, 0, frameWidth, height_, a, 0, 0);
  a.SetOpacity(opacity_);
  a.Draw(x, y, frameWidth, a.Height(), dest, 0, 0);
}

// --- regions ------------------------------------------------------------------

template <class Inside>
std::unique_ptr<framework::TRegion> TAbstractSuperDIB::BuildRegion(Inside inside) const {
  constexpr std::size_t kBatch = 400;  // rectangles per region-data block
  std::unique_ptr<framework::TRegion> result;
  std::vector<framework::TRect> block;
  block.reserve(kBatch);
  auto flush = [&] {
    framework::TRegion part = framework::TRegion::FromRects(block);
    if (result)
      result->Union(part);
    else
      result = std::make_unique<framework::TRegion>(std::move(part));
    block.clear();
  };
  if (pixels_ == nullptr) return result;
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint32_t* row = reinterpret_cast<const std::uint32_t*>(ScanLine(y));
    std::int32_t x = 0;
    while (x < width_) {
      while (x < width_ && !inside(row[x])) ++x;
      if (x >= width_) break;
      const std::int32_t x0 = x;
      while (x < width_ && inside(row[x])) ++x;
      block.push_back({x0, y, x, y + 1});
      if (block.size() == kBatch) flush();
    }
  }
  if (!block.empty()) flush();
  return result;
}

std::unique_ptr<framework::TRegion> TAbstractSuperDIB::AlphaRegion(std::uint8_t threshold) const {
  return BuildRegion([threshold](std::uint32_t p) { return (p >> 24) > threshold; });
}

std::unique_ptr<framework::TRegion> TAbstractSuperDIB::ColorRegion(framework::TColor color) const {
  const std::uint32_t key = ColorToPixel(color) & 0x00FFFFFF;
  return BuildRegion([key](std::uint32_t p) { return (p & 0x00FFFFFF) != key; });
}

// --- filter -------------------------------------------------------------------

void TAbstractSuperDIB::ApplyFilter(const TDIBFilterKernel& kernel) {
  if (pixels_ == nullptr) return;
  std::int32_t divisor = kernel.Divisor;
  if (divisor <= 0) {
    divisor = 0;
    for (const auto& row : kernel.Weights)
      for (std::int16_t w : row) divisor += w;
  }
  TWinDIB t(width_, height_);
  const std::int16_t offsets[3] = {kernel.BlueOffset, kernel.GreenOffset, kernel.RedOffset};
  for (std::int32_t y = 1; y + 1 < height_; ++y) {
    const std::uint8_t* rows[3] = {ScanLine(y - 1), ScanLine(y), ScanLine(y + 1)};
    std::uint8_t* out = t.ScanLine(y);
    for (std::int32_t x = 1; x + 1 < width_; ++x) {
      for (int c = 0; c < 3; ++c) {
        // 16-bit signed arithmetic throughout, as the filter has always summed.
        std::int16_t sum = 0;
        for (int ky = 0; ky < 3; ++ky)
          for (int kx = 0; kx < 3; ++kx)
            sum = static_cast<std::int16_t>(sum + kernel.Weights[ky][kx] * rows[ky][(x - 1 + kx) * 4 + c]);
        sum = static_cast<std::int16_t>(sum + offsets[c]);
        std::int32_t value = sum;
        if (divisor != 0) value /= divisor;
        out[x * 4 + c] = value >= 255 ? 255 : value < 1 ? 0 : static_cast<std::uint8_t>(value);
      }
      out[x * 4 + 3] = rows[1][x * 4 + 3];
    }
  }
  t.SetOpacity(kernel.Opacity);
  t.Draw(0, 0, width_, height_, *this, 0, 0);
}

// --- 8-bit output -------------------------------------------------------------

void TAbstractSuperDIB::Render8Bit(framework::TIndexedBitmap& dc, std::int32_t x, std::int32_t y,
                                   const TDIBPalette& palette, std::int32_t srcX, std::int32_t srcY,
                                   std::int32_t width, std::int32_t height) {
  if (!palette.HasLookupTable() || palette.LookupTable().size() < TDIBPalette::kLookupSize)
    throw EDIBError("Render8Bit can only be used with a palette containing a lookup table");
  if (dc.BitsPerPixel() != 8) throw EDIBError("Render8Bit can only be used to blit to an 8 bit DC");
  if (pixels_ == nullptr || srcX >= width_ || srcY >= height_) return;
  // Clip the source rectangle to the picture.
  std::int64_t sx = srcX, sy = srcY, w = width, h = height;
  if (sx < 0) {
    w += sx;
    sx = 0;
  }
  if (sy < 0) {
    h += sy;
    sy = 0;
  }
  w = std::min<std::int64_t>(w, width_ - sx);
  h = std::min<std::int64_t>(h, height_ - sy);
  if (w <= 0 || h <= 0) return;

  const std::size_t rowBytes = (static_cast<std::size_t>(w) + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> block(rowBytes * static_cast<std::size_t>(h), 0);
  const std::uint8_t* table = palette.LookupTable().data();
  for (std::int64_t r = 0; r < h; ++r) {  // memory rows of the block, bottom first
    const std::uint8_t* s = std::as_const(*this).ScanLine(static_cast<std::int32_t>(sy + h - 1 - r)) + sx * 4;
    std::uint8_t* d = block.data() + static_cast<std::size_t>(r) * rowBytes;
    for (std::int64_t i = 0; i < w; ++i, s += 4)
      d[i] = table[(s[0] / 4) + (s[1] / 4) * 64 + (s[2] / 4) * 4096];
  }
  dc.SetBits(std::max(x, 0), std::max(y, 0), static_cast<std::int32_t>(w), static_cast<std::int32_t>(h),
             block);
}

// --- import -------------------------------------------------------------------

void TAbstractSuperDIB::ImportPicture(const std::string& fileName) {
  const framework::TLoadedPicture picture = framework::LoadPicture(fileName);
  SetSize(static_cast<std::uint16_t>(picture.Width), static_cast<std::uint16_t>(picture.Height));
  TWinDIB canvasBuffer(static_cast<std::uint16_t>(picture.Width), static_cast<std::uint16_t>(picture.Height));
  canvasBuffer.Canvas().StretchDraw({0, 0, picture.Width, picture.Height}, picture.Bits.data(), picture.Width,
                                    picture.Height);
  CopyPixelsFrom(canvasBuffer);
  if (picture.HasAlpha)
    SetMasked(true);
  else
    SetAlpha(255);
  Changed();
}

void TAbstractSuperDIB::ImportMask(const std::string& fileName) {
  if (width_ == 0 || height_ == 0) throw EDIBError("You cannot import a mask until you have an image.");
  TWinDIB mask;
  mask.ImportPicture(fileName);
  TWinDIB stretched(width_, height_);
  stretched.Canvas().StretchDraw({0, 0, width_, height_}, mask.Bits(), mask.Width(), mask.Height());
  const std::size_t n = std::size_t{width_} * height_;
  const std::uint8_t* s = stretched.Bits();
  MakeWritable();
  for (std::size_t i = 0; i < n; ++i) pixels_[i * 4 + 3] = s[i * 4];
  masked_ = true;
  Changed();
}

void TCustomMemoryDIB::ImportPicture(const std::string& fileName) {
  TAbstractSuperDIB::ImportPicture(fileName);
  imageFilename_ = fileName;
}

void TCustomMemoryDIB::ImportMask(const std::string& fileName) {
  TAbstractSuperDIB::ImportMask(fileName);
  maskFilename_ = fileName;
}

}  // namespace image
