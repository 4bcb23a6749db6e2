// Buffer layout, settings, notification and the eight row routines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "image/cDIB.h"

using namespace image;

namespace {

std::uint32_t Px(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
  return b | (g << 8) | (r << 16) | (std::uint32_t{a} << 24);
}

std::uint8_t Mix(unsigned s, unsigned d, unsigned a) {
  return static_cast<std::uint8_t>((s * a + d * (255 - a) + 255) >> 8);
}

}  // namespace

TEST(DIBLayout, RowsAreStoredBottomUp) {
  TMemoryDIB dib(3, 2);
  dib.SetPixelAt(0, 0, 0x11111111);  // top-left
  dib.SetPixelAt(0, 1, 0x22222222);  // bottom-left
  EXPECT_EQ(dib.Pixels()[0], 0x22222222u);
  EXPECT_EQ(dib.Pixels()[3], 0x11111111u);
  EXPECT_EQ(dib.ScanLine(0), dib.Bits() + 3 * 4);
  EXPECT_EQ(dib.ScanLine(1), dib.Bits());
}

TEST(DIBLayout, SetSizeReplacesZeroAndKeepsPixelsWhenUnchanged) {
  TMemoryDIB dib;
  EXPECT_FALSE(dib.HasData());
  dib.SetSize(0, 5);
  EXPECT_EQ(dib.Width(), 1);
  EXPECT_EQ(dib.Height(), 5);
  EXPECT_EQ(dib.ClipRect(), (framework::TRect{0, 0, 0, 4}));
  dib.Pixels()[2] = 0xDEADBEEF;
  const std::uint8_t* before = dib.Bits();
  dib.SetSize(1, 5);
  EXPECT_EQ(dib.Bits(), before);
  EXPECT_EQ(dib.Pixels()[2], 0xDEADBEEFu);

  int changes = 0;
  dib.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  dib.SetSize(7, 9);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(dib.ClipRect(), (framework::TRect{0, 0, 6, 8}));
}

TEST(DIBLayout, ClipRectIsOrderedAndClamped) {
  TMemoryDIB dib(10, 8);
  dib.SetClipRect(20, 12, -3, 2);
  EXPECT_EQ(dib.ClipRect(), (framework::TRect{0, 2, 9, 7}));
  dib.SetClipRect(2, 3, 4, 5);
  EXPECT_EQ(dib.ClipRect(), (framework::TRect{2, 3, 4, 5}));
}

TEST(DIBSettings, DefaultsAndAngleNormalisation) {
  TMemoryDIB dib;
  EXPECT_EQ(dib.Angle(), 0);
  EXPECT_FALSE(dib.Masked());
  EXPECT_EQ(dib.Opacity(), 255);
  EXPECT_EQ(dib.ScaleX(), 100);
  EXPECT_EQ(dib.ScaleY(), 100);
  EXPECT_FALSE(dib.Transparent());
  EXPECT_EQ(dib.TransparentMode(), tmAuto);
  EXPECT_TRUE(dib.StoreData());

  const struct {
    long double in, out;
  } angles[] = {{-90, 270}, {720, 0}, {359.5L, 359.5L}, {-720.25L, 359.75L}, {360, 0}};
  for (const auto& c : angles) {
    dib.SetAngle(c.in);
    EXPECT_EQ(dib.Angle(), c.out) << static_cast<double>(c.in);
  }
  EXPECT_EQ(NormalizeAngle(-1e-30L), 0);                         // 360 - tiny rounds to 360, which wraps
  EXPECT_EQ(NormalizeAngle(1e300L), std::fmod(1e300L, 360.0L));  // finishes at once
}

TEST(DIBSettings, SettersNotifyOnlyOnRealChanges) {
  TMemoryDIB dib(2, 2);
  int changes = 0;
  dib.SetOnChange([&](TAbstractSuperDIB& sender) {
    EXPECT_EQ(&sender, &dib);
    ++changes;
  });
  dib.SetOpacity(255);
  dib.SetAngle(360);
  dib.SetScale(100);
  dib.SetMasked(false);
  dib.SetTransparentColor(framework::clBlack);
  EXPECT_EQ(changes, 0);
  dib.SetOpacity(10);
  dib.SetAngle(-350);  // 10
  dib.SetScale(50);
  dib.SetScaleY(60);
  dib.SetAutoSize(true);
  dib.SetTransparentMode(tmFixed);
  dib.SetTransparentColor(framework::clRed);
  EXPECT_EQ(changes, 7);
  EXPECT_EQ(dib.ScaleX(), 50);
  EXPECT_EQ(dib.ScaleY(), 60);
  dib.SetScale(50);  // differs from ScaleY
  EXPECT_EQ(changes, 8);
  EXPECT_EQ(dib.ScaleY(), 50);
}

TEST(DIBSettings, MaskedAndTransparentExcludeEachOther) {
  TMemoryDIB dib;
  dib.SetTransparent(true);
  dib.SetMasked(true);
  EXPECT_TRUE(dib.Masked());
  EXPECT_FALSE(dib.Transparent());
  dib.SetTransparent(true);
  EXPECT_FALSE(dib.Masked());
  EXPECT_TRUE(dib.Transparent());
}

TEST(DIBSettings, TransparentColorFollowsModeAndColourOrder) {
  TMemoryDIB dib(4, 3);
  dib.Fill(framework::clWhite);
  dib.SetPixelAt(0, 2, Px(0x30, 0x20, 0x10, 0x99));  // bottom-left: R=10 G=20 B=30
  dib.SetTransparentColor(0x00332211);               // B=33 G=22 R=11
  EXPECT_EQ(dib.StoredTransparentColor(), 0x00112233u);
  EXPECT_EQ(dib.TransparentColor(), 0x00302010);  // tmAuto: bottom-left pixel
  dib.SetTransparentMode(tmFixed);
  EXPECT_EQ(dib.TransparentColor(), 0x00332211);
  // System colours are resolved before conversion.
  EXPECT_EQ(ColorToPixel(framework::clWindow), 0x00FFFFFFu);
  EXPECT_EQ(PixelToColor(0xAA112233), 0x00332211);

  TMemoryDIB empty;
  empty.SetTransparentColor(framework::clBlue);
  EXPECT_EQ(empty.TransparentColor(), framework::clBlue);  // no pixels: the stored colour
}

TEST(DIBNotification, UpdatesAreBatchedAndEndUpdateIsChecked) {
  TMemoryDIB dib(2, 2);
  int changes = 0;
  dib.SetOnChange([&](TAbstractSuperDIB&) { ++changes; });
  dib.BeginUpdate();
  dib.BeginUpdate();
  dib.SetOpacity(3);
  dib.SetMasked(true);
  dib.EndUpdate();
  EXPECT_EQ(changes, 0);
  // The routine follows the settings even while notifications are held.
  EXPECT_EQ(dib.RowRoutine(), &TAbstractSuperDIB::MaskBlendRows);
  dib.EndUpdate();
  EXPECT_EQ(changes, 1);
  try {
    dib.EndUpdate();
    FAIL() << "EndUpdate without BeginUpdate did not fail";
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "EndUpdate without BeginUpdate");
  }
  EXPECT_EQ(dib.UpdateCount(), 0);
}

TEST(DIBNotification, SelectRowRoutineTable) {
  const struct {
    std::uint8_t opacity;
    bool masked, transparent;
    TAbstractSuperDIB::TRowRoutine routine;
  } rows[] = {
      {255, true, false, &TAbstractSuperDIB::MaskRows},
      {255, false, true, &TAbstractSuperDIB::KeyRows},
      {255, false, false, &TAbstractSuperDIB::CopyRows},
      {254, true, false, &TAbstractSuperDIB::MaskBlendRows},
      {0, false, true, &TAbstractSuperDIB::KeyBlendRows},
      {128, false, false, &TAbstractSuperDIB::BlendRows},
  };
  for (const auto& r : rows) {
    TMemoryDIB dib;
    TMemoryDIB other;
    dib.SetRowRoutine(&TAbstractSuperDIB::AlphaToGreyRows, &other);
    dib.SetOpacity(r.opacity);
    dib.SetMasked(r.masked);
    dib.SetTransparent(r.transparent);
    dib.Changed();
    EXPECT_EQ(dib.RowRoutine(), r.routine) << int{r.opacity} << r.masked << r.transparent;
    EXPECT_EQ(dib.RoutineOwner(), &dib);
  }
}

// The worked mixing cases, one pixel each, through Draw.
TEST(DIBRowRoutines, MixFormulaCases) {
  struct Case {
    const char* name;
    std::uint8_t opacity;
    bool masked, transparent;
    std::uint32_t key;  // stored pixel form
    std::uint32_t src, dst, expected;
  };
  const Case cases[] = {
      {"mask alpha 0 keeps colour, larger alpha", 255, true, false, 0, Px(200, 100, 50, 0),
       Px(10, 20, 30, 40), Px(10, 20, 30, 40)},
      {"mask alpha 255 takes source", 255, true, false, 0, Px(200, 100, 50, 255), Px(10, 20, 30, 40),
       Px(200, 100, 50, 255)},
      {"mask alpha 128", 255, true, false, 0, Px(255, 0, 100, 128), Px(0, 255, 100, 200),
       Px(Mix(255, 0, 128), Mix(0, 255, 128), Mix(100, 100, 128), 200)},
      {"blend 128 white over black", 128, false, false, 0, Px(255, 255, 255, 0), Px(0, 0, 0, 7),
       Px(128, 128, 128, 7)},
      {"mask blend scales alpha", 100, true, false, 0, Px(255, 255, 255, 200), Px(0, 0, 0, 0),
       Px(Mix(255, 0, (200 * 100) >> 8), Mix(255, 0, 78), Mix(255, 0, 78), 200)},
      {"key writes alpha 0", 255, false, true, 0x000000FF, Px(1, 2, 3, 99), Px(9, 9, 9, 9), Px(1, 2, 3, 0)},
      {"key colour leaves destination", 255, false, true, 0x00030201, Px(1, 2, 3, 99), Px(9, 9, 9, 9),
       Px(9, 9, 9, 9)},
      {"key blend copies source alpha", 128, false, true, 0, Px(255, 255, 255, 77), Px(0, 0, 0, 200),
       Px(128, 128, 128, 77)},
      {"key blend skips key", 128, false, true, 0x00FFFFFF, Px(255, 255, 255, 77), Px(0, 0, 0, 200),
       Px(0, 0, 0, 200)},
      {"copy all four bytes", 255, false, false, 0, Px(1, 2, 3, 4), Px(9, 9, 9, 9), Px(1, 2, 3, 4)},
  };
  for (const auto& c : cases) {
    TMemoryDIB src(1, 1), dst(1, 1);
    src.Pixels()[0] = c.src;
    dst.Pixels()[0] = c.dst;
    src.SetMasked(c.masked);
    src.SetTransparent(c.transparent);
    src.SetOpacity(c.opacity);
    src.SetTransparentColor(PixelToColor(c.key));
    src.Changed();
    src.Draw(0, 0, 1, 1, dst, 0, 0);
    EXPECT_EQ(dst.Pixels()[0], c.expected) << c.name;
  }

  TMemoryDIB src(1, 1), dst(1, 1);
  src.Pixels()[0] = Px(1, 2, 3, 50);
  dst.Pixels()[0] = Px(9, 8, 7, 6);
  src.DrawAlpha(0, 0, 1, 1, dst, 0, 0);
  EXPECT_EQ(dst.Pixels()[0], Px(9, 8, 7, 50));
  src.DrawMask(0, 0, 1, 1, dst, 0, 0);
  EXPECT_EQ(dst.Pixels()[0], Px(50, 50, 50, 50));
}

// Every routine against the per-pixel formulas on random pictures, drawn as
// odd-sized sub-rectangles so that strides, row order and any vectorised
// tails are exercised; also with sources whose alpha runs clear and opaque
// across whole groups of pixels, as skins do, where routines may take short
// cuts.
TEST(DIBRowRoutines, MatchFormulasOnRandomRectangles) {
  std::mt19937 rng(7);
  auto randomFill = [&](TAbstractSuperDIB& d) {
    for (std::size_t i = 0; i < d.ByteCount(); ++i) d.Bits()[i] = static_cast<std::uint8_t>(rng());
  };
  auto ch = [](std::uint32_t p, int c) { return (p >> (8 * c)) & 0xFF; };
  struct Mode {
    const char* name;
    bool masked, transparent;
    std::uint8_t opacity;
  };
  const Mode modes[] = {{"copy", false, false, 255}, {"blend", false, false, 77},
                        {"mask", true, false, 255},  {"maskblend", true, false, 190},
                        {"key", false, true, 255},   {"keyblend", false, true, 33}};
  for (const bool runs : {false, true})
    for (const Mode& m : modes) {
      TMemoryDIB src(37, 11), dst(29, 13);
      randomFill(src);
      randomFill(dst);
      if (runs)
        for (std::size_t i = 0; i < std::size_t{37} * 11; ++i)
          if ((i / 6) % 3 != 2) src.Bits()[i * 4 + 3] = (i / 6) % 3 == 0 ? 0 : 255;
      // Make the key colour actually occur.
      for (int i = 0; i < 40; ++i) src.Pixels()[rng() % (37 * 11)] = 0x55123456;
      src.SetMasked(m.masked);
      src.SetTransparent(m.transparent);
      src.SetOpacity(m.opacity);
      src.SetTransparentMode(tmFixed);
      src.SetTransparentColor(PixelToColor(0x00123456));
      TMemoryDIB expected(29, 13);
      expected.CopyPixelsFrom(dst);
      const int X = 3, Y = 2, W = 23, H = 9, SX = 5, SY = 1;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const std::uint32_t s = src.PixelAt(SX + x, SY + y), d = dst.PixelAt(X + x, Y + y);
          std::uint32_t r = d;
          const unsigned o = m.opacity, sa = ch(s, 3), da = ch(d, 3);
          const bool isKey = (s & 0xFFFFFF) == 0x123456;
          auto mixed = [&](unsigned a, unsigned alpha) {
            return Mix(ch(s, 0), ch(d, 0), a) | (Mix(ch(s, 1), ch(d, 1), a) << 8) |
                   (Mix(ch(s, 2), ch(d, 2), a) << 16) | (alpha << 24);
          };
          if (m.masked)
            r = mixed(o == 255 ? sa : (sa * o) >> 8, std::max(sa, da));
          else if (m.transparent)
            r = isKey ? d : o == 255 ? (s & 0xFFFFFF) : mixed(o, sa);
          else
            r = o == 255 ? s : mixed(o, std::max(sa, da));
          expected.SetPixelAt(X + x, Y + y, r);
        }
      src.Draw(X, Y, W, H, dst, SX, SY);
      EXPECT_EQ(0, std::memcmp(dst.Bits(), expected.Bits(), dst.ByteCount()))
          << m.name << (runs ? " runs" : "");
    }
}
