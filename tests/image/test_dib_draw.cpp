// Drawing paths: clipping, temporary routines, scaling, rotation, fills and
// the copying of pictures and settings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "framework/core/Stream.h"
#include "image/cDIB.h"

using namespace image;

namespace {

// Each pixel tells where it came from: blue = column, green = visual row.
void Numbered(TAbstractSuperDIB& d, std::uint8_t alpha = 255) {
  for (int y = 0; y < d.Height(); ++y)
    for (int x = 0; x < d.Width(); ++x)
      d.SetPixelAt(x, y,
                   static_cast<std::uint32_t>(x) | (static_cast<std::uint32_t>(y) << 8) |
                       (std::uint32_t{alpha} << 24));
}

constexpr std::uint32_t kBack = 0xEEEEEEEE;

}  // namespace

TEST(DIBDraw, ClipsAtNegativePositionsAndToClipRect) {
  TMemoryDIB src(10, 4);
  Numbered(src);
  TMemoryDIB dst(8, 8);
  std::fill_n(dst.Pixels(), 64, kBack);
  src.Draw(-5, -1, 10, 4, dst, 0, 0);
  // The first 5 source columns and the first row are skipped.
  EXPECT_EQ(dst.PixelAt(0, 0), 0xFF000105u);
  EXPECT_EQ(dst.PixelAt(4, 2), 0xFF000309u);
  EXPECT_EQ(dst.PixelAt(5, 0), kBack);
  EXPECT_EQ(dst.PixelAt(0, 3), kBack);

  std::fill_n(dst.Pixels(), 64, kBack);
  dst.SetClipRect(2, 3, 4, 5);  // inclusive
  src.Draw(0, 0, 10, 4, dst, 1, 0);
  EXPECT_EQ(dst.PixelAt(2, 3), 0xFF000303u);  // source (1 + 2, 3)
  EXPECT_EQ(dst.PixelAt(4, 3), 0xFF000305u);
  EXPECT_EQ(dst.PixelAt(5, 3), kBack);
  EXPECT_EQ(dst.PixelAt(2, 4), kBack);  // source has only 4 rows
  EXPECT_EQ(dst.PixelAt(1, 3), kBack);
}

TEST(DIBDraw, NothingOutsideFiresNoChange) {
  TMemoryDIB src(4, 4), dst(4, 4);
  Numbered(src);
  int changes = 0;
  dst.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  src.Draw(4, 0, 4, 4, dst, 0, 0);
  src.Draw(-4, 0, 4, 4, dst, 0, 0);
  src.Draw(0, 0, 0, 4, dst, 0, 0);
  src.Draw(0, 0, 4, 4, dst, 4, 0);
  EXPECT_EQ(changes, 0);
  src.Draw(3, 3, 4, 4, dst, 0, 0);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.PixelAt(3, 3), 0xFF000000u);
}

TEST(DIBDraw, DrawCopyIgnoresAndRestoresSettings) {
  TMemoryDIB src(4, 4), dst(4, 4);
  Numbered(src, 0);
  std::fill_n(dst.Pixels(), 16, kBack);
  src.SetMasked(true);
  src.SetOpacity(10);
  src.SetAngle(45);
  src.SetScale(300);
  const auto routine = src.RowRoutine();
  src.DrawCopy(1, 1, 2, 2, dst, 0, 0);
  EXPECT_EQ(dst.PixelAt(1, 1), 0x00000000u);  // verbatim, alpha 0 included
  EXPECT_EQ(dst.PixelAt(2, 2), 0x00000101u);
  EXPECT_EQ(dst.PixelAt(0, 0), kBack);
  EXPECT_EQ(src.Angle(), 45);
  EXPECT_EQ(src.ScaleX(), 300);
  EXPECT_EQ(src.ScaleY(), 300);
  EXPECT_EQ(src.RowRoutine(), routine);
  EXPECT_EQ(src.RoutineOwner(), &src);
}

TEST(DIBDraw, RotatedSizeValues) {
  const struct {
    int w, h;
    long double angle, sx, sy;
    TSize size;
  } cases[] = {
      {17, 23, 0, 100, 100, {16, 22}},   {10, 10, 45, 100, 100, {14, 14}}, {10, 20, 0, 50, 150, {4, 30}},
      {10, 20, 270, 100, 100, {20, 10}}, {40, 10, 30, 100, 100, {40, 28}},  // 34.64+5 = 39.6 -> 40; 20+8.66
                                                                            // -> 29 -> 28
  };
  for (const auto& c : cases)
    EXPECT_EQ(RotatedSize(c.w, c.h, c.angle, c.sx, c.sy), c.size)
        << c.w << "x" << c.h << " at " << static_cast<double>(c.angle);
}

TEST(DIBDraw, TrigTablesFollowTheirRounding) {
  const std::int32_t* sin = trig::SinTable();
  const std::int32_t* cos = trig::CosTable();
  EXPECT_EQ(sin[0], 0);
  EXPECT_EQ(cos[0], 65536);
  EXPECT_EQ(trig::SinPlus90Table()[0], 65536);
  EXPECT_EQ(sin[90000], 65536);
  EXPECT_TRUE(cos[90000] == 0 || cos[90000] == 1);
  EXPECT_EQ(cos[180000], -65536);
  EXPECT_EQ(trig::CosPlus90Table()[90000], -65536);
  EXPECT_EQ(trig::Index(30.0009L), 30000);
  EXPECT_EQ(trig::Index(359.9999L), 359999);
}

// Angle 0 at scale 100 maps each destination pixel onto the same source pixel,
// which makes the sampling window visible.
TEST(DIBDraw, DrawRotatedSamplesStrictlyInsideTheHalfSizes) {
  for (int size : {4, 5}) {
    TMemoryDIB src(size, size), dst(size, size);
    Numbered(src);
    src.SetTransparentMode(tmFixed);
    src.SetTransparentColor(0x00332211);
    std::fill_n(dst.Pixels(), size * size, kBack);
    src.DrawRotated(dst);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        // Never used: the leftmost column and the bottom row, and for an odd
        // size also the rightmost column and the top row.
        const bool outside = x == 0 || y == size - 1 || (size % 2 == 1 && (x == size - 1 || y == 0));
        const std::uint32_t expected = outside ? 0x00112233u : src.PixelAt(x, y);
        EXPECT_EQ(dst.PixelAt(x, y), expected) << size << ": " << x << "," << y;
      }
    src.SetMasked(true);  // background becomes 0
    src.DrawRotated(dst);
    EXPECT_EQ(dst.PixelAt(0, 0), 0u);
  }
}

TEST(DIBDraw, RotationTurnsClockwiseOnScreen) {
  TMemoryDIB src(9, 9), dst(9, 9);
  src.Fill(framework::clBlack);
  for (int x = 2; x <= 6; ++x) src.SetPixelAt(x, 2, 0xFFFF0000);  // a bar above the centre
  src.SetAngle(90);
  src.SetMasked(true);
  src.DrawRotated(dst);
  // Turned clockwise, the bar stands right of the centre.
  int right = 0, elsewhere = 0;
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x)
      if (dst.PixelAt(x, y) == 0xFFFF0000u) (x == 6 ? right : elsewhere)++;
  EXPECT_GE(right, 4);
  EXPECT_EQ(elsewhere, 0);
}

TEST(DIBDraw, StretchFromIsAnchoredBottomLeft) {
  TMemoryDIB src(3, 2), dst(7, 5);
  Numbered(src);
  dst.StretchFrom(src);
  const std::uint32_t rx = (3u << 16) / 7, ry = (2u << 16) / 5;
  for (std::uint32_t j = 0; j < 5; ++j)
    for (std::uint32_t x = 0; x < 7; ++x)
      EXPECT_EQ(dst.Pixels()[j * 7 + x], src.Pixels()[((j * ry) >> 16) * 3 + ((x * rx) >> 16)]);
}

TEST(DIBDraw, TransformedPathScalesTheWholePicture) {
  TMemoryDIB src(4, 4), dst(10, 10);
  Numbered(src);
  std::fill_n(dst.Pixels(), 100, kBack);
  src.SetScale(200);
  src.SetAutoSize(true);
  int changes = 0;
  dst.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  src.Draw(1, 1, 3, 3, dst, 2, 2);  // SrcX/SrcY play no part; target Ceil(6) x Ceil(6)
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.PixelAt(1, 6), 0xFF000300u);  // bottom-left of the 6 x 6 target: source (0, 3)
  EXPECT_EQ(dst.PixelAt(6, 6), 0xFF000303u);  // columns 0,0,1,1,2,3
  EXPECT_EQ(dst.PixelAt(7, 6), kBack);
  EXPECT_EQ(dst.PixelAt(1, 7), kBack);

  // Without AutoSize the target keeps the requested size, and the blend uses
  // this buffer's opacity.
  std::fill_n(dst.Pixels(), 100, 0xFF000000);
  src.SetAutoSize(false);
  src.SetScale(50);
  src.SetOpacity(128);
  src.Draw(0, 0, 2, 2, dst, 0, 0);
  // Source (0, 1) and (2, 3) at half weight over black.
  EXPECT_EQ(dst.PixelAt(0, 0), 0xFF000100u);
  EXPECT_EQ(dst.PixelAt(1, 1), 0xFF000201u);
  EXPECT_EQ(dst.PixelAt(2, 2), 0xFF000000u);
}

TEST(DIBDraw, FillAndFillRect) {
  TMemoryDIB dib(5, 4);
  int changes = 0;
  dib.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  dib.Fill(0x00332211);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dib.PixelAt(4, 3), 0x00112233u);
  dib.FillRect(framework::clWhite, -2, 2, 4, 10);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dib.PixelAt(1, 3), 0x00FFFFFFu);
  EXPECT_EQ(dib.PixelAt(2, 3), 0x00112233u);
  EXPECT_EQ(dib.PixelAt(1, 1), 0x00112233u);
  dib.FillRect(framework::clBlack, 5, 0, 3, 3);
  dib.FillRect(framework::clBlack, 0, 0, 0, 3);
  for (int i = 0; i < 20; ++i) EXPECT_NE(dib.Pixels()[i], 0u);
}

TEST(DIBCopying, ShareCopyAndAssign) {
  TMemoryDIB src(6, 3);
  Numbered(src);
  src.SetOpacity(40);
  src.SetTransparent(true);
  src.SetImageFilename("a.png");

  TMemoryDIB alias(kShare, src);
  EXPECT_FALSE(alias.OwnsPixels());
  EXPECT_TRUE(alias.HasData());
  EXPECT_EQ(alias.Bits(), src.Bits());
  EXPECT_EQ(alias.Width(), 6);
  EXPECT_EQ(alias.Opacity(), 40);
  EXPECT_EQ(alias.RoutineOwner(), &src);
  // Growing an alias takes pixels of its own instead of reaching past the source.
  alias.SetSize(60, 30);
  EXPECT_TRUE(alias.OwnsPixels());
  EXPECT_NE(alias.Bits(), src.Bits());

  TMemoryDIB owner(2, 2);
  src.CopyPropertiesTo(owner);
  EXPECT_EQ(owner.Width(), 2);  // owners keep their size
  EXPECT_TRUE(owner.Transparent());

  TMemoryDIB copy;
  int changes = 0;
  copy.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  copy.Assign(src);
  EXPECT_GE(changes, 1);
  EXPECT_EQ(copy.Width(), 6);
  EXPECT_NE(copy.Bits(), src.Bits());
  EXPECT_EQ(0, std::memcmp(copy.Bits(), src.Bits(), src.ByteCount()));
  EXPECT_EQ(copy.ImageFilename(), "a.png");
  EXPECT_EQ(copy.RoutineOwner(), &copy);  // Changed reselected it

  TWinDIB win;
  src.AssignTo(win);
  EXPECT_EQ(win.Opacity(), 40);
  EXPECT_EQ(0, std::memcmp(win.Bits(), src.Bits(), src.ByteCount()));
}

TEST(DIBCopying, OtherObjectsAreRefused) {
  TMemoryDIB dib(2, 2);
  EXPECT_EQ(dib.ClassName(), "TMemoryDIB");
  EXPECT_EQ(TWinDIB().ClassName(), "TWinDIB");
  framework::TPersistent other;
  try {
    dib.CopyPropertiesTo(other);
    FAIL();
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TAbstractDIB to a TPersistent");
  }
  EXPECT_THROW(other.Assign(dib), framework::EConvertError);
  EXPECT_THROW(dib.Assign(other), framework::EConvertError);
}

TEST(DIBStoredData, MemoryBuffersNarrowReadAndWrite) {
  TMemoryDIB dib(3, 2);
  for (int i = 0; i < 6; ++i) dib.Pixels()[i] = 0x01020304u * (i + 1);
  framework::TMemoryStream stream;
  dib.SetStoreData(false);
  dib.WriteData(stream);
  EXPECT_EQ(stream.Size(), 0);  // pictures loaded from files store nothing
  dib.SetStoreData(true);
  dib.WriteData(stream);
  ASSERT_GT(stream.Size(), 0);

  TMemoryDIB back;
  stream.SetPosition(0);
  back.ReadData(stream, static_cast<std::size_t>(stream.Size()));
  ASSERT_EQ(back.Width(), 3);
  ASSERT_EQ(back.Height(), 2);
  EXPECT_EQ(0, std::memcmp(back.Bits(), dib.Bits(), dib.ByteCount()));

  int changes = 0;
  back.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  back.ReadData(stream, 0);  // an empty value reads as nothing
  EXPECT_EQ(back.Width(), 3);
  EXPECT_EQ(changes, 0);
}

TEST(DIBDraw, RunawayOrEmptyTargetsDrawNothing) {
  TMemoryDIB src(100, 100), dst(10, 10);
  src.Fill(framework::clWhite);
  dst.Fill(framework::clBlack);
  int changes = 0;
  dst.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  src.SetAutoSize(true);
  src.SetScale(1e6L);  // would be 65535 x 65535
  src.Draw(0, 0, 100, 100, dst, 0, 0);
  src.SetAutoSize(false);
  src.SetScale(50);
  src.Draw(0, 0, -3, 5, dst, 0, 0);  // a negative size is no picture
  src.Draw(0, 0, 5, 0, dst, 0, 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(dst.PixelAt(0, 0), 0u);
}
