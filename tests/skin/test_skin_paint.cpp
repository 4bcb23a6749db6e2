// Composition: backgrounds, opacity blending, masks, tiles, what repaints,
// and the image control's geometry.

#include "tests/skin/SkinFixture.h"

namespace skintest {
namespace {

constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kRed = 0xFF0000;

// The blend of the row routines: s over d with weight a.
std::uint32_t Mix(std::uint32_t s, std::uint32_t d, unsigned a) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const unsigned sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
    out |= ((sc * a + dc * (255 - a) + 255) >> 8) << shift;
  }
  return out;
}

class PaintTest : public SkinTest {
 protected:
  void LoadPaint() {
    Load("paint.form", [this] {
      SetImage(0, 10, 10, [](int, int) { return 0xFFFFFFFFu; });
      // Left half opaque red, right half fully transparent green.
      SetImage(
          1, 10, 10, [](int x, int) { return x < 5 ? 0xFFFF0000u : 0x0000FF00u; }, true);
      SetImage(2, 10, 10, [](int, int) { return 0xFFFF0000u; });
    });
  }
  // From now on painted holds the rectangle of each paint of the container,
  // as the clip rectangle its BeforePaint handler sees.
  void RecordPaints() {
    painted.clear();
    container->BeforePaint.Bind([this](TObject*) {
      const TRect& clip = container->ComposedBuffer().ClipRect();  // inclusive
      painted.push_back({clip.Left, clip.Top, clip.Right + 1, clip.Bottom + 1});
    });
  }
  std::vector<TRect> painted;
};

TEST_F(PaintTest, OpacityBlendsTheControlOverWhatLiesBeneath) {
  LoadPaint();
  EXPECT_EQ(Pixel(5, 5), kBlue);                     // opacity 0: background unchanged
  EXPECT_EQ(Pixel(25, 5), Mix(kWhite, kBlue, 128));  // 128: a mix
  EXPECT_EQ(Pixel(25, 5), 0x8080FFu);
  EXPECT_EQ(Pixel(45, 5), kWhite);   // 255: the picture
  EXPECT_EQ(Pixel(15, 5), kBlue);    // between controls
  EXPECT_EQ(Pixel(62, 5), kRed);     // masked: opaque part
  EXPECT_EQ(Pixel(67, 5), kBlue);    // masked: transparent part
  EXPECT_EQ(Pixel(105, 25), kBlue);  // no image: nothing drawn
  // Overlap: the later control is mixed over the result of the earlier one.
  const std::uint32_t first = Mix(kRed, kBlue, 128);
  EXPECT_EQ(Pixel(82, 25), first);
  EXPECT_EQ(Pixel(87, 25), Mix(kWhite, first, 128));
  EXPECT_EQ(Pixel(92, 25), Mix(kWhite, kBlue, 128));
}

TEST_F(PaintTest, AnEqualOpacityCostsNothingAndAChangeRepaintsOnlyTheControl) {
  LoadPaint();
  auto* clear = Find<skin::TDIBImage>("clear");
  RecordPaints();
  clear->SetOpacity(0);
  EXPECT_FALSE(container->PaintPending());
  Pump();
  EXPECT_TRUE(painted.empty());

  Window().ClearPresented();
  clear->SetOpacity(255);
  Pump();
  EXPECT_EQ(painted, (std::vector<TRect>{{0, 0, 10, 10}}));
  ASSERT_EQ(Window().Presented().size(), 1u);
  EXPECT_EQ(Window().Presented()[0], (TRect{0, 0, 10, 10}));
  EXPECT_EQ(Pixel(5, 5), kWhite);
}

TEST_F(PaintTest, AControlPartlyOutsideTheContainerBlendsOnlyItsVisiblePart) {
  LoadPaint();
  auto* half = Find<skin::TDIBImage>("half");
  half->SetBounds(-5, -5, 10, 10);
  Pump();
  EXPECT_EQ(Pixel(2, 2), Mix(kWhite, kBlue, 128));
  EXPECT_EQ(Pixel(6, 6), kBlue);  // beyond the control
}

TEST_F(PaintTest, ImageChangesRepaintTheirControls) {
  LoadPaint();
  SetImage(0, 10, 10, [](int, int) { return 0xFF00FF00u; });
  Pump();
  EXPECT_EQ(Pixel(45, 5), 0x00FF00u);
  // Deleting the image leaves the control with nothing to draw.
  images->DIBImages().Delete(0);
  Pump();
  EXPECT_EQ(Find<skin::TDIBImage>("full")->IndexMain().DIBIndex(), -1);
  EXPECT_EQ(Find<skin::TDIBImage>("shape")->IndexMain().DIBIndex(), 0);
  EXPECT_EQ(Pixel(45, 5), kBlue);
  EXPECT_EQ(Pixel(62, 5), kRed);
}

TEST_F(PaintTest, ContainerWithoutImageOrChildrenShowsItsColor) {
  Load("tile.form");
  EXPECT_EQ(Pixel(0, 0), 0u);  // clBlack, no picture in the list yet
  container->SetColor(clRed);
  Pump();
  EXPECT_EQ(Pixel(150, 150), kRed);
}

// Each pixel of the tile picture names its own place in the tile.
TEST_F(PaintTest, TiledBackgroundRepaintsOnlyTheRectangle) {
  const auto tile = [](int x, int y) { return static_cast<std::uint32_t>((x % 64) << 8 | (y % 64)); };
  Load("tile.form", [&] { SetImage(0, 64, 64, [&](int x, int y) { return 0xFF000000u | tile(x, y); }); });
  EXPECT_EQ(Pixel(70, 71), 0x000607u);  // tile (64, 64), pixel (6, 7)
  // Marked before each paint: what the paint leaves alone keeps the mark.
  constexpr std::uint32_t kMark = 0x00FF00;
  container->BeforePaint.Bind([this](TObject*) { container->ComposedBuffer().Fill(clLime); });
  const TRect cases[] = {{70, 70, 120, 120}, {100, 100, 130, 130} /* four tiles */, {0, 0, 1, 1}};
  for (const TRect& r : cases) {
    Window().ClearPresented();
    container->InvalidateRect(r);
    Pump();
    int wrong = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) {
        const bool inside = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
        if ((container->ComposedBuffer().PixelAt(x, y) & 0xFFFFFF) != (inside ? tile(x, y) : kMark)) ++wrong;
      }
    EXPECT_EQ(wrong, 0) << r.Left << ", " << r.Top;
    ASSERT_EQ(Window().Presented().size(), 1u);
    EXPECT_EQ(Window().Presented()[0], r);
  }
}

TEST_F(PaintTest, CenteredBackgroundFillsTheMarginWithTheColor) {
  Load("tile.form", [this] {
    container->SetTileMethod(skin::tmCenter);
    container->SetColor(clRed);
    SetImage(0, 64, 64, [](int, int) { return 0xFF00FF00u; });
  });
  EXPECT_EQ(Pixel(100, 100), 0x00FF00u);
  EXPECT_EQ(Pixel(68, 68), 0x00FF00u);  // 200/2 - 64/2 = 68: the image's first column and row
  EXPECT_EQ(Pixel(67, 100), kRed);
  EXPECT_EQ(Pixel(100, 67), kRed);
  EXPECT_EQ(Pixel(0, 0), kRed);
}

// The background (colour, centred picture or tiles) is drawn around a child
// that declares itself opaque: what lay beneath the child before the paint
// (marked here by BeforePaint) stays, and only the child draws there.
TEST_F(PaintTest, TheBackgroundGoesAroundOpaqueChildren) {
  constexpr std::uint32_t kMark = 0x00FF00;
  const auto tiles = [](int x, int y) { return 0xFF000000u | static_cast<std::uint32_t>(x << 8 | y); };
  struct Case {
    const char* name;
    std::function<void()> load;
    std::uint32_t outside;  // expected at (75, 75), next to the child
  };
  const Case cases[] = {
      {"colour", [&] { Load("tile.form", [&] { container->SetColor(clBlue); }); }, kBlue},
      {"centred picture",
       [&] {
         Load("tile.form", [&] {
           container->SetTileMethod(skin::tmCenter);
           SetImage(0, 64, 64, [](int, int) { return 0xFFFFFFFFu; });
         });
       },
       kWhite},
      {"tiles", [&] { Load("tile.form", [&] { SetImage(0, 64, 64, tiles); }); }, 0x000B0B},
  };
  for (const Case& c : cases) {
    c.load();
    auto* lid = new skin::TDIBImage(form.get());  // draws nothing of its own
    lid->SetBounds(80, 60, 30, 30);
    lid->SetControlStyle(lid->ControlStyle() | csOpaque);
    container->BeforePaint.Bind([this](TObject*) { container->ComposedBuffer().Fill(clLime); });
    container->Invalidate();
    Pump();
    EXPECT_EQ(Pixel(80, 60), kMark) << c.name;
    EXPECT_EQ(Pixel(109, 89), kMark) << c.name;
    EXPECT_EQ(Pixel(75, 75), c.outside) << c.name;
    EXPECT_NE(Pixel(110, 90), kMark) << c.name;
    EXPECT_NE(Pixel(79, 59), kMark) << c.name;
    // A repaint of a rectangle that only partly meets the child.
    container->InvalidateRect(TRect{100, 50, 120, 70});
    Pump();
    EXPECT_EQ(Pixel(100, 60), kMark) << c.name;
    EXPECT_NE(Pixel(110, 60), kMark) << c.name;
    EXPECT_NE(Pixel(100, 59), kMark) << c.name;
  }
}

TEST_F(PaintTest, ImageControlGeometry) {
  LoadPaint();
  auto* img = Find<skin::TDIBImage>("full");
  // AutoSize takes the image's (evened) size.
  SetImage(0, 19, 18, [](int, int) { return 0xFFFFFFFFu; });
  img->SetAutoSize(true);
  EXPECT_EQ(img->Width(), 18);
  EXPECT_EQ(img->Height(), 18);
  SetImage(0, 36, 18, [](int, int) { return 0xFFFFFFFFu; });
  EXPECT_EQ(img->Width(), 36);
  EXPECT_EQ(img->Height(), 18);

  img->SetScale(50);  // 18 x 9, made even
  EXPECT_EQ(img->Width(), 18);
  EXPECT_EQ(img->Height(), 8);
  img->SetScale(100);
  img->SetAngle(90);  // turned: 18 x 36
  EXPECT_EQ(img->Width(), 18);
  EXPECT_EQ(img->Height(), 36);
  img->SetAngle(0);
  img->SetAutoSize(false);

  img->SetAngle(-90);
  EXPECT_EQ(img->Angle(), 270);
  img->SetAngle(720);
  EXPECT_EQ(img->Angle(), 0);

  // Stretch: each axis scaled to the control independently; AutoSize off.
  // Each pixel of the picture names its column and row; the control shows
  // the picture as the image library stretches it to 38 x 39: the columns
  // as they are, the rows by 19.5 % (a scale of a whole percent would show).
  const auto code = [](int x, int y) { return 0xFF000000u | static_cast<std::uint32_t>(x << 8 | y); };
  img->SetBounds(0, 0, 38, 39);
  SetImage(0, 38, 200, code);
  img->SetStretch(true);
  EXPECT_FALSE(img->AutoSize());
  Pump();
  image::TWinDIB picture, stretched(38, 39);
  FillPicture(picture, 38, 200, code);
  stretched.StretchFrom(picture);
  int wrong = 0;
  for (int y = 0; y < 39; ++y)
    for (int x = 0; x < 38; ++x)
      if (Pixel(x, y) != (stretched.PixelAt(x, y) & 0xFFFFFF)) ++wrong;
  EXPECT_EQ(wrong, 0);
  img->SetScale(100);
  EXPECT_FALSE(img->Stretch());

  // Center in a larger control (which reaches below the 40-row window).
  img->SetBounds(0, 0, 100, 100);
  SetImage(0, 30, 20, [](int, int) { return 0xFFFFFFFFu; });
  img->SetCenter(true);
  Pump();
  EXPECT_EQ(container->ComposedBuffer().PixelAt(35, 39) & 0xFFFFFF, kBlue);
  // Drawn at (35, 40) of the control: moved up, the image takes columns
  // 35..64 and rows 10..29 of the window, and no more.
  img->SetBounds(0, -30, 100, 100);
  Pump();
  EXPECT_EQ(Pixel(35, 10), kWhite);
  EXPECT_EQ(Pixel(64, 29), kWhite);
  EXPECT_EQ(Pixel(34, 10), kBlue);
  EXPECT_EQ(Pixel(65, 29), kBlue);
  EXPECT_EQ(Pixel(35, 9), kBlue);
  EXPECT_EQ(Pixel(64, 30), kBlue);
}

// A control whose picture reaches beyond its bounds asks for more.
class TExpander : public skin::TDIBImage {
 public:
  using skin::TDIBImage::TDIBImage;
  TRect grow{};
  void ExpandUpdateRect(TRect& r) override {
    r.Left -= grow.Left;
    r.Top -= grow.Top;
    r.Right += grow.Right;
    r.Bottom += grow.Bottom;
  }
};

TEST_F(PaintTest, ControlsMayEnlargeTheAreaBeingRepainted) {
  LoadPaint();
  auto* x = new TExpander(form.get());
  x->SetBounds(100, 0, 5, 5);
  struct Case {
    TRect grow, painted;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, {40, 0, 50, 10}}, {{3, 0, 0, 0}, {37, 0, 50, 10}},  // left edge moved
      {{0, 0, 4, 0}, {40, 0, 54, 10}},                                   // right edge moved
      {{0, 0, 0, 2}, {40, 0, 50, 10}},  // the bottom may move by 2 without a second paint
      {{0, 0, 0, 3}, {40, 0, 50, 13}},
  };
  for (const Case& c : cases) {
    x->grow = c.grow;
    Pump();
    RecordPaints();
    Window().ClearPresented();
    Find<skin::TDIBImage>("full")->Invalidate();
    Pump();
    // One paint: the first request only asked for more.
    EXPECT_EQ(painted, std::vector<TRect>{c.painted});
    ASSERT_EQ(Window().Presented().size(), 1u);
    EXPECT_EQ(Window().Presented()[0], c.painted);
  }
}

TEST_F(PaintTest, BorderGoesOverOrUnderTheControls) {
  Load("features.form", [this] {
    SetImage(0, 10, 10, [](int, int) { return 0xFFFFFFFFu; });
    SetImage(2, 4, 10, [](int, int) { return 0xFF0000FFu; });
  });
  auto* cover = new skin::TDIBImage(form.get());
  cover->SetBounds(0, 0, 10, 10);
  cover->SetDIBImageList(images);
  cover->IndexMain().SetDIBIndex(0);
  Pump();
  EXPECT_EQ(Pixel(1, 5), kWhite);  // bdUnderControls
  EXPECT_EQ(Pixel(1, 50), kBlue);
  container->SetBorderDrawPosition(skin::bdOverControls);
  Pump();
  EXPECT_EQ(Pixel(1, 5), kBlue);
  EXPECT_EQ(Pixel(5, 5), kWhite);
  // A border that goes away leaves the container.
  delete Find<skin::TDIBBorder>("Border");
  EXPECT_EQ(container->DIBBorder(), nullptr);
  Pump();
  EXPECT_EQ(Pixel(1, 50), 0u);
}

}  // namespace
}  // namespace skintest
