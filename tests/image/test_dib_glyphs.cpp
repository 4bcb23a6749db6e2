// Strip frames, regions, the filter, 8-bit output and picture import.

#include <gtest/gtest.h>
#if PLONKRIFT_PNG_IMPORT
#include <png.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "framework/graphics/IndexedBitmap.h"
#include "framework/graphics/PictureLoader.h"
#include "framework/graphics/Region.h"
#include "image/cDIB.h"
#include "image/cDIBPalette.h"

using namespace image;

namespace {

std::uint8_t Mix(unsigned s, unsigned d, unsigned a) {
  return static_cast<std::uint8_t>((s * a + d * (255 - a) + 255) >> 8);
}

// A strip whose pixels name their column: blue/green = column, red = row.
void ColumnStrip(TAbstractSuperDIB& d) {
  for (int y = 0; y < d.Height(); ++y)
    for (int x = 0; x < d.Width(); ++x)
      d.SetPixelAt(
          x, y, 0xFF000000u | (static_cast<std::uint32_t>(y) << 16) | static_cast<std::uint32_t>(x & 0xFFFF));
}

// Frame k of `count` filled with grey level levels[k], opaque.
void GreyFrames(TAbstractSuperDIB& d, int count, const std::vector<std::uint8_t>& levels) {
  const int fw = d.Width() / count;
  for (int y = 0; y < d.Height(); ++y)
    for (int x = 0; x < d.Width(); ++x) {
      const std::uint32_t g = levels[std::min(x / fw, count - 1)];
      d.SetPixelAt(x, y, 0xFF000000u | g | (g << 8) | (g << 16));
    }
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("plonk_dib_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A BMP of w x h pixels; pixel(x, y) gives BGRA for visual row y.
template <class F>
std::vector<std::uint8_t> MakeBmp(int w, int h, int bpp, F pixel) {
  const std::size_t row = ((w * bpp + 31) / 32) * 4;
  std::vector<std::uint8_t> b(54 + row * h, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, w);
  Put32(b, 22, h);
  b[26] = 1;
  b[28] = static_cast<std::uint8_t>(bpp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = pixel(x, h - 1 - y);
      for (int c = 0; c < bpp / 8; ++c) b[54 + y * row + x * (bpp / 8) + c] = (p >> (8 * c)) & 0xFF;
    }
  return b;
}

}  // namespace

TEST(DIBGlyphs, DrawGlyphCopiesOneFrame) {
  TMemoryDIB strip(5900, 59);
  ColumnStrip(strip);
  TMemoryDIB dst(100, 70);
  dst.Fill(framework::clBlack);
  strip.DrawGlyph(3, 4, 2, 100, dst);
  EXPECT_EQ(dst.PixelAt(3, 4), 0xFF000000u | 118);
  EXPECT_EQ(dst.PixelAt(3 + 58, 4 + 58), 0xFF000000u | (58u << 16) | 176);
  EXPECT_EQ(dst.PixelAt(3 + 59, 4), 0u);  // nothing beyond the frame
  EXPECT_EQ(dst.PixelAt(2, 4), 0u);

  // Frames that do not exist draw nothing.
  TMemoryDIB untouched(100, 70);
  untouched.Fill(framework::clBlack);
  strip.DrawGlyph(0, 0, 100, 100, untouched);
  strip.DrawGlyph(0, 0, -1, 100, untouched);
  strip.DrawGlyph(0, 0, 0, 0, untouched);
  for (std::size_t i = 0; i < 100 * 70; ++i) ASSERT_EQ(untouched.Pixels()[i], 0u);
}

TEST(DIBGlyphs, DrawGlyphUsesTheStripSettings) {
  TMemoryDIB strip(4, 2);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 2; ++y) strip.SetPixelAt(x, y, x < 2 ? 0x00FFFFFFu : 0xFFFFFFFFu);
  strip.SetMasked(true);
  TMemoryDIB dst(2, 2);
  dst.Fill(framework::clBlack);
  strip.DrawGlyph(0, 0, 0, 2, dst);  // frame 0: alpha 0, leaves black
  EXPECT_EQ(dst.PixelAt(0, 0), 0u);
  strip.DrawGlyph(0, 0, 1, 2, dst);  // frame 1: opaque white
  EXPECT_EQ(dst.PixelAt(1, 1), 0xFFFFFFFFu);
}

TEST(DIBGlyphs, BlendedGlyphWeights) {
  const std::vector<std::uint8_t> levels = {10, 50, 90, 130, 170};
  TMemoryDIB strip(5 * 3, 2);
  GreyFrames(strip, 5, levels);
  auto draw = [&](long double value, bool wrap) {
    TMemoryDIB dst(3, 2);
    dst.Fill(framework::clBlack);
    strip.DrawBlendedGlyph(0, 0, 5, dst, 0, 100, value, wrap);
    return dst.PixelAt(1, 1) & 0xFF;
  };
  // p = 3.5: blend = 255 - Round(127.5) = 127 of frame 3 over frame 4.
  EXPECT_EQ(draw(70, false), Mix(130, 170, 127));
  EXPECT_EQ(draw(60, false), 130u);   // exactly frame 3
  EXPECT_EQ(draw(100, false), 170u);  // Value = Max: the last frame
  EXPECT_EQ(draw(100, true), 10u);    // ... or the first when wrapping
  // p = 4.5: frame 5 does not exist; wrapping blends frame 4 towards frame 0.
  EXPECT_EQ(draw(90, true), Mix(170, 10, 127));
  EXPECT_EQ(draw(90, false), 170u);
  // p = 0.25: Round(63.75) = 64.
  EXPECT_EQ(draw(5, false), Mix(10, 50, 255 - 64));

  // The strip's own opacity applies to the result.
  strip.SetOpacity(100);
  TMemoryDIB dst(3, 2);
  dst.Fill(framework::clBlack);
  strip.DrawBlendedGlyph(0, 0, 5, dst, 0, 100, 60, false);
  EXPECT_EQ(dst.PixelAt(0, 0) & 0xFF, Mix(130, 0, 100));
}

TEST(DIBRegions, TransparentPictureHasNoRegion) {
  TMemoryDIB dib(8, 8);
  dib.Fill(framework::clWhite);  // alpha 0
  EXPECT_EQ(dib.AlphaRegion(0), nullptr);
  EXPECT_EQ(dib.ColorRegion(framework::clWhite), nullptr);
}

// A checkerboard has one run per inside pixel: far more than one 400-rectangle
// block, so the batches have to be combined.
TEST(DIBRegions, ManyRunsGiveTheUnionOfRuns) {
  TMemoryDIB dib(61, 40);
  std::vector<framework::TRect> runs;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 61; ++x) {
      const bool inside = (x + y) % 2 == 0 || (y == 7 && x > 50);
      dib.SetPixelAt(x, y, inside ? 0x80FF0000 : 0x10000000);
    }
  for (int y = 0; y < 40; ++y) {
    int x = 0;
    while (x < 61) {
      if ((dib.PixelAt(x, y) >> 24) <= 0x40) {
        ++x;
        continue;
      }
      const int x0 = x;
      while (x < 61 && (dib.PixelAt(x, y) >> 24) > 0x40) ++x;
      runs.push_back({x0, y, x, y + 1});
    }
  }
  ASSERT_GT(runs.size(), 1000u);
  auto region = dib.AlphaRegion(0x40);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(*region, framework::TRegion::FromRects(runs));
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 61; ++x)
      EXPECT_EQ(region->Contains(x, y), (dib.PixelAt(x, y) >> 24) > 0x40) << x << "," << y;
  EXPECT_FALSE(region->Contains(61, 7));  // the run reaching the edge ends at Width

  auto colour = dib.ColorRegion(0x0000FF);  // clRed = pixel 0x00FF0000
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(colour->Area(), 61 * 40 - static_cast<std::int64_t>(region->Area()));
}

TEST(DIBFilter, IdentityKernelKeepsInnerPixelsAndBlackensTheBorder) {
  TMemoryDIB dib(6, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) dib.SetPixelAt(x, y, 0x80000000u | (x * 40) | ((y * 50) << 8) | (77 << 16));
  TMemoryDIB before(6, 5);
  before.CopyPixelsFrom(dib);
  TDIBFilterKernel identity;
  identity.Weights[1][1] = 1;
  dib.ApplyFilter(identity);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool border = x == 0 || y == 0 || x == 5 || y == 4;
      EXPECT_EQ(dib.PixelAt(x, y), border ? 0u : before.PixelAt(x, y)) << x << "," << y;
    }
}

TEST(DIBFilter, WeightsOffsetsDivisorAndOpacity) {
  TMemoryDIB dib(3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) dib.SetPixelAt(x, y, 0xFF000000u | ((y * 3 + x) * 10));
  TDIBFilterKernel k;
  k.Weights[0][1] = 2;  // the row above
  k.Weights[1][1] = 1;
  k.BlueOffset = 3;
  k.RedOffset = -5;
  k.Divisor = 0;  // sum of weights, 3
  dib.ApplyFilter(k);
  // blue: (2 * 10 + 1 * 40 + 3) / 3 = 21; red: -5 / 3 clamps to 0.
  EXPECT_EQ(dib.PixelAt(1, 1), 0xFF000000u | 21);

  // Below full opacity the filtered picture is blended over the original.
  TMemoryDIB half(3, 3);
  half.Fill(framework::clWhite);
  half.SetAlpha(255);
  TDIBFilterKernel zero;
  zero.Weights[1][1] = 1;
  zero.Opacity = 128;
  half.ApplyFilter(zero);
  EXPECT_EQ(half.PixelAt(1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(half.PixelAt(0, 0) & 0xFF, Mix(0, 255, 128));
}

TEST(DIBRender8Bit, ErrorsAndLookup) {
  TMemoryDIB dib(3, 2);
  dib.SetPixelAt(0, 0, 0xFF000000);  // black
  dib.SetPixelAt(1, 0, 0xFFFF0000);  // red
  dib.SetPixelAt(2, 1, 0xFF0000FF);  // blue
  TDIBPalette palette;
  framework::TIndexedBitmap screen(4, 4);
  try {
    dib.Render8Bit(screen, 0, 0, palette, 0, 0, 3, 2);
    FAIL();
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "Render8Bit can only be used with a palette containing a lookup table");
  }
  palette.Entries() = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
  palette.BuildLookupTable();
  framework::TIndexedBitmap trueColour(4, 4, 32);
  try {
    dib.Render8Bit(trueColour, 0, 0, palette, 0, 0, 3, 2);
    FAIL();
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "Render8Bit can only be used to blit to an 8 bit DC");
  }
  dib.Render8Bit(screen, -2, 1, palette, 0, 0, 30, 20);  // raised to (0, 1), clipped to 3 x 2
  EXPECT_EQ(screen.IndexAt(0, 1), 0);
  EXPECT_EQ(screen.IndexAt(1, 1), 1);
  EXPECT_EQ(screen.IndexAt(2, 2), 2);
  EXPECT_EQ(screen.IndexAt(0, 2), 0);
  EXPECT_EQ(screen.IndexAt(3, 1), 0);
  dib.Render8Bit(screen, 0, 0, palette, 3, 0, 1, 1);  // SrcX at the width: nothing
}

TEST(DIBImport, PictureFilesAndMask) {
  // A 24-bit BMP: no alpha, so the picture becomes opaque and stays unmasked.
  const std::string bmp = TempPath("pic.bmp");
  WriteFile(bmp, MakeBmp(5, 3, 24, [](int x, int y) { return 0x000000u | (x * 50) | (y * 80) << 8; }));
  TMemoryDIB dib;
  dib.ImportPicture(bmp);
  EXPECT_EQ(dib.Width(), 5);
  EXPECT_EQ(dib.Height(), 3);
  EXPECT_EQ(dib.PixelAt(4, 2), 0xFF000000u | 200 | (160 << 8));
  EXPECT_FALSE(dib.Masked());
  EXPECT_EQ(dib.ImageFilename(), bmp);

  // A PNG with alpha keeps it and turns Masked on (where the build reads PNG).
  const std::string png = TempPath("pic.png");
#if PLONKRIFT_PNG_IMPORT
  {
    std::vector<std::uint8_t> rgba(4 * 2 * 4);
    for (int i = 0; i < 8; ++i) {
      rgba[i * 4 + 0] = static_cast<std::uint8_t>(i * 30);  // red
      rgba[i * 4 + 1] = 1;
      rgba[i * 4 + 2] = 2;
      rgba[i * 4 + 3] = static_cast<std::uint8_t>(i * 20);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 4;
    image.height = 2;
    image.format = PNG_FORMAT_RGBA;
    ASSERT_TRUE(png_image_write_to_file(&image, png.c_str(), 0, rgba.data(), 0, nullptr));
  }
  TMemoryDIB withAlpha;
  withAlpha.ImportPicture(png);
  EXPECT_TRUE(withAlpha.Masked());
  EXPECT_EQ(withAlpha.PixelAt(3, 1), (140u << 24) | (210u << 16) | (1u << 8) | 2u);
  EXPECT_EQ(withAlpha.PixelAt(0, 0), (0u << 24) | (1u << 8) | 2u);
#endif

  // The mask's blue channel, stretched to the picture, becomes the alpha.
  const std::string mask = TempPath("mask.bmp");
  WriteFile(mask, MakeBmp(2, 1, 24, [](int x, int) { return x == 0 ? 0x10u : 0xF0u; }));
  dib.SetTransparent(true);
  dib.ImportMask(mask);
  EXPECT_TRUE(dib.Masked());
  EXPECT_TRUE(dib.Transparent());  // stored directly: Transparent keeps its value
  EXPECT_EQ(dib.RowRoutine(), &TAbstractSuperDIB::MaskRows);
  EXPECT_EQ(dib.PixelAt(0, 0) >> 24, 0x10u);
  EXPECT_EQ(dib.PixelAt(4, 2) >> 24, 0xF0u);
  EXPECT_EQ(dib.PixelAt(4, 2) & 0xFFFFFF, 200u | (160u << 8));
  EXPECT_EQ(dib.MaskFilename(), mask);

  // Failures: an empty picture, then a file that is not a picture.
  TMemoryDIB empty;
  try {
    empty.ImportMask(mask);
    FAIL();
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "You cannot import a mask until you have an image.");
  }
  EXPECT_EQ(empty.MaskFilename(), "");
  const std::string junk = TempPath("junk.bmp");
  WriteFile(junk, {'B', 'M', 1, 2, 3});
  EXPECT_THROW(empty.ImportPicture(junk), framework::EInvalidGraphic);
  EXPECT_THROW(empty.ImportPicture(TempPath("missing.png")), framework::EInvalidGraphic);
  EXPECT_EQ(empty.ImageFilename(), "");
  for (const auto& f : {bmp, png, mask, junk}) std::remove(f.c_str());
}
