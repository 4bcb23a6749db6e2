#include <gtest/gtest.h>
#if PLONKRIFT_PNG_IMPORT
#include <png.h>
#endif

#include <cstring>
#include <vector>

#include "framework/graphics/Canvas.h"
#include "framework/graphics/IndexedBitmap.h"
#include "framework/graphics/PictureLoader.h"
#include "framework/graphics/Region.h"

using namespace framework;

namespace {

// Bottom-up 32-bit pixels, as the image buffers hold them.
struct Pixels {
  int w, h;
  std::vector<std::uint32_t> p;
  Pixels(int w_, int h_, std::uint32_t fill) : w(w_), h(h_), p(w_ * h_, fill) {}
  std::uint8_t* bits() { return reinterpret_cast<std::uint8_t*>(p.data()); }
  std::uint32_t at(int x, int y) const { return p[(h - 1 - y) * w + x]; }
};

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A BMP with the given info-header fields, followed by `extra` (palette or
// masks) and the pixel rows.
std::vector<std::uint8_t> Bmp(std::int32_t w, std::int32_t h, int bpp, std::uint32_t compression,
                              const std::vector<std::uint8_t>& extra, const std::vector<std::uint8_t>& rows) {
  std::vector<std::uint8_t> b(54);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 10, static_cast<std::uint32_t>(54 + extra.size()));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(w));
  Put32(b, 22, static_cast<std::uint32_t>(h));
  b[26] = 1;
  b[28] = static_cast<std::uint8_t>(bpp);
  Put32(b, 30, compression);
  b.insert(b.end(), extra.begin(), extra.end());
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

}  // namespace

TEST(Canvas, DrawsTopDownOntoBottomUpRowsWithOpaqueAlpha) {
  Pixels px(8, 6, 0x00FFFFFF);  // white with alpha 0, as a fresh Fill leaves it
  TCanvas canvas(px.bits(), 8, 6);
  int changes = 0;
  canvas.OnChange = [&] { ++changes; };
  canvas.BrushColor = clRed;
  canvas.FillRect({1, 0, 3, 2});
  EXPECT_EQ(px.at(1, 0), 0xFFFF0000u);  // top visual row, red in pixel form
  EXPECT_EQ(px.at(2, 1), 0xFFFF0000u);
  EXPECT_EQ(px.at(3, 0), 0x00FFFFFFu);
  EXPECT_EQ(px.at(1, 2), 0x00FFFFFFu);
  EXPECT_EQ(px.p[0], 0x00FFFFFFu);  // the stored first pixel is the bottom-left one

  canvas.PenColor = clBlue;
  canvas.MoveTo(0, 5);
  canvas.LineTo(7, 5);
  EXPECT_EQ(px.at(4, 5), 0xFF0000FFu);  // bottom visual row = first stored row
  EXPECT_EQ(px.p[4], 0xFF0000FFu);
  EXPECT_EQ(changes, 2);
}

TEST(Canvas, TextLandsInItsCell) {
  Pixels px(60, 30, 0x00FFFFFF);
  TCanvas canvas(px.bits(), 60, 30);
  canvas.Font.Color = clBlack;
  canvas.Font.Size = 10;
  canvas.BrushClear = true;
  canvas.TextOut(5, 8, "HH");
  const int w = canvas.TextWidth("HH"), h = canvas.TextHeight("HH");
  EXPECT_GT(w, 5);
  EXPECT_GT(h, 5);
  int inside = 0, outside = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x)
      if (px.at(x, y) != 0x00FFFFFFu) {
        const bool in = x >= 5 && x < 5 + w + 1 && y >= 8 && y < 8 + h + 1;
        (in ? inside : outside)++;
      }
  EXPECT_GT(inside, 10);
  EXPECT_EQ(outside, 0);
}

TEST(Canvas, StretchDrawIsNearestNeighbourAndKeepsAlpha) {
  Pixels src(2, 1, 0);
  src.p = {0x11000001, 0x22000002};
  Pixels dst(4, 2, 0);
  TCanvas canvas(dst.bits(), 4, 2);
  canvas.StretchDraw({0, 0, 4, 2}, src.bits(), 2, 1);
  EXPECT_EQ(dst.at(0, 0), 0x11000001u);
  EXPECT_EQ(dst.at(1, 1), 0x11000001u);
  EXPECT_EQ(dst.at(2, 0), 0x22000002u);
  EXPECT_EQ(dst.at(3, 1), 0x22000002u);
  TCanvas none(nullptr, 0, 0);
  EXPECT_THROW(none.FillRect({0, 0, 1, 1}), EGraphicsError);
}

TEST(Region, UnionIsNormalisedAndAnswersContainment) {
  const TRect parts[] = {{0, 0, 4, 2}, {2, 1, 6, 3}, {10, 0, 11, 1}, {5, 5, 5, 9}};
  TRegion a = TRegion::FromRects(parts);
  EXPECT_EQ(a.Area(), 8 + 8 - 2 + 1);
  EXPECT_TRUE(a.Contains(0, 0));
  EXPECT_TRUE(a.Contains(5, 2));
  EXPECT_FALSE(a.Contains(4, 0));
  EXPECT_FALSE(a.Contains(6, 2));  // right edge exclusive
  EXPECT_FALSE(a.Contains(5, 5));  // empty rectangle ignored
  EXPECT_EQ(a.Bounds(), (TRect{0, 0, 11, 3}));

  // The same pixels built another way compare equal.
  TRegion b(TRect{2, 1, 6, 3});
  b.Union(TRegion(TRect{0, 0, 4, 1}));
  b.Union(TRegion(TRect{0, 1, 2, 2}));
  b.Union(TRegion(TRect{10, 0, 11, 1}));
  EXPECT_EQ(a, b);

  const TRegion both =
      TRegion::Combine(TRegion(TRect{0, 0, 4, 4}), TRegion(TRect{2, 2, 6, 6}), TRegion::TCombineMode::And);
  EXPECT_EQ(both, TRegion(TRect{2, 2, 4, 4}));
  const TRegion diff =
      TRegion::Combine(TRegion(TRect{0, 0, 4, 4}), TRegion(TRect{2, 2, 6, 6}), TRegion::TCombineMode::Diff);
  EXPECT_EQ(diff.Area(), 12);
  EXPECT_FALSE(diff.Contains(3, 3));
  const TRegion x =
      TRegion::Combine(TRegion(TRect{0, 0, 4, 4}), TRegion(TRect{2, 2, 6, 6}), TRegion::TCombineMode::Xor);
  EXPECT_EQ(x.Area(), 24);
  EXPECT_TRUE(TRegion::FromRects({}).IsEmpty());
}

TEST(Colors, SystemColoursResolve) {
  EXPECT_EQ(ColorToRGB(clWhite), 0xFFFFFFu);
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
  EXPECT_EQ(ColorToRGB(clBtnFace), 0xC8D0D4u);
  EXPECT_EQ(ColorToRGB(clWindowText), 0u);
}

TEST(IndexedBitmap, RowsArePaddedAndClipped) {
  TIndexedBitmap dc(5, 3);
  EXPECT_EQ(dc.RowBytes(), 8);
  // A 3 x 2 block, bottom row first, rows padded to 4.
  const std::vector<std::uint8_t> block = {4, 5, 6, 0, 1, 2, 3, 0};
  dc.SetBits(3, 2, 3, 2, block);
  EXPECT_EQ(dc.IndexAt(3, 2), 1);
  EXPECT_EQ(dc.IndexAt(4, 2), 2);  // column 5 falls outside
  EXPECT_EQ(dc.IndexAt(3, 1), 0);
  TIndexedBitmap deep(5, 3, 24);
  EXPECT_EQ(deep.BitsPerPixel(), 24);
  EXPECT_TRUE(deep.Bits().empty());
}

TEST(PictureLoader, BitmapVariants) {
  // 8-bit palette, bottom-up, width 3 (rows padded to 4).
  {
    std::vector<std::uint8_t> palette = {0x10, 0x20, 0x30, 0, 0xAA, 0xBB, 0xCC, 0};
    auto b = Bmp(3, 2, 8, 0, palette, {0, 1, 1, 0, 1, 0, 0, 0});
    Put32(b, 46, 2);  // colours used
    TLoadedPicture p = LoadPictureFromMemory(b);
    ASSERT_EQ(p.Width, 3);
    EXPECT_FALSE(p.HasAlpha);
    const auto* px = reinterpret_cast<const std::uint32_t*>(p.Bits.data());
    EXPECT_EQ(px[0], 0xFF302010u);  // stored first: bottom-left
    EXPECT_EQ(px[1], 0xFFCCBBAAu);
    EXPECT_EQ(px[3], 0xFFCCBBAAu);
  }
  // 32-bit, top-down (negative height): alpha kept, rows turned bottom-up.
  {
    auto b = Bmp(1, -2, 32, 0, {}, {1, 2, 3, 4, 5, 6, 7, 8});
    TLoadedPicture p = LoadPictureFromMemory(b);
    EXPECT_TRUE(p.HasAlpha);
    const auto* px = reinterpret_cast<const std::uint32_t*>(p.Bits.data());
    EXPECT_EQ(px[0], 0x08070605u);  // the bottom row came second
    EXPECT_EQ(px[1], 0x04030201u);
  }
  // 16-bit 5-6-5 through bit fields.
  {
    std::vector<std::uint8_t> masks(12);
    Put32(masks, 0, 0xF800);
    Put32(masks, 4, 0x07E0);
    Put32(masks, 8, 0x001F);
    auto b = Bmp(1, 1, 16, 3, masks, {0x1F, 0xF8, 0, 0});  // red and blue full
    TLoadedPicture p = LoadPictureFromMemory(b);
    EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(p.Bits.data())[0], 0xFFFF00FFu);
  }
}

TEST(PictureLoader, RefusesBrokenFiles) {
  const std::vector<std::vector<std::uint8_t>> broken = {
      Bmp(4, 4, 24, 0, {}, std::vector<std::uint8_t>(47)),      // one byte short
      Bmp(70000, 1, 24, 0, {}, std::vector<std::uint8_t>(16)),  // too wide
      Bmp(0, 1, 24, 0, {}, {}),                                 // empty
      Bmp(2, 2, 8, 1, {}, std::vector<std::uint8_t>(64)),       // run-length coded
      Bmp(2, 2, 7, 0, {}, std::vector<std::uint8_t>(64)),       // no such depth
      {'B', 'M', 0, 0},
      {'G', 'I', 'F', '8'},
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0},
  };
  for (std::size_t i = 0; i < broken.size(); ++i)
    EXPECT_THROW(LoadPictureFromMemory(broken[i]), EInvalidGraphic) << i;
  EXPECT_THROW(LoadPicture("/nonexistent/picture.png"), EInvalidGraphic);
}

#if PLONKRIFT_PNG_IMPORT
TEST(PictureLoader, PngWithoutAlphaIsOpaque) {
  const std::uint8_t rgb[6] = {255, 0, 0, 0, 0, 255};  // red, blue; one row
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 2;
  image.height = 1;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  ASSERT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rgb, 0, nullptr));
  std::vector<std::uint8_t> bytes(size);
  ASSERT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb, 0, nullptr));
  TLoadedPicture p = LoadPictureFromMemory(bytes);
  EXPECT_FALSE(p.HasAlpha);
  const auto* px = reinterpret_cast<const std::uint32_t*>(p.Bits.data());
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(px[1], 0xFF0000FFu);
}
#endif
