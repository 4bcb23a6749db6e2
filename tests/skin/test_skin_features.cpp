// Children that move along, the features, borders and the repeat timer.

#include "tests/skin/SkinFixture.h"

namespace skintest {
namespace {

class FeatureTest : public SkinTest {
 protected:
  void LoadFeatures() {
    Load("features.form", [this] {
      SetImage(0, 10, 10, [](int, int) { return 0xFFFFFFFFu; });
      // Magenta where x + y is even (the bottom-left pixel among them), green elsewhere.
      SetImage(1, 20, 20, [](int x, int y) { return (x + y) % 2 == 1 ? 0xFFFF00FFu : 0xFF00FF00u; });
      SetImage(2, 4, 10, [](int, int y) { return 0xFF000000u | static_cast<std::uint32_t>(y + 1); });
    });
    form->log.clear();
  }
};

TEST_F(FeatureTest, MovingAControlMovesItsChildrenByTheSameOffset) {
  LoadFeatures();
  auto* mover = Find<skin::TDIBImage>("mover");
  auto* kid1 = Find<skin::TDIBImage>("kid1");
  auto* kid2 = Find<skin::TDIBImage>("kid2");
  ASSERT_EQ(mover->Children().Count(), 2);
  EXPECT_EQ(mover->Children().Items(0)->DisplayName(), "kid1");
  mover->SetBounds(mover->Left() + 10, mover->Top() - 5, mover->Width(), mover->Height());
  EXPECT_EQ(kid1->BoundsRect(), (TRect{60, 55, 65, 60}));
  EXPECT_EQ(kid2->BoundsRect(), (TRect{40, 75, 45, 80}));
  // A resize in place moves nobody.
  mover->SetBounds(mover->Left(), mover->Top(), 20, 20);
  EXPECT_EQ(kid1->Left(), 60);
  // A child that goes leaves the list.
  delete kid2;
  EXPECT_EQ(mover->Children().Count(), 1);
}

TEST_F(FeatureTest, ChildrenListRefusesNilAndDuplicates) {
  LoadFeatures();
  auto* mover = Find<skin::TDIBImage>("mover");
  auto* kid1 = Find<skin::TDIBImage>("kid1");
  skin::TControlItem* item = mover->Children().Add();
  try {
    item->SetControl(nullptr);
    FAIL();
  } catch (const skin::EDIBControlError& e) {
    EXPECT_STREQ(e.what(), "You cannot set Control to nil");
  }
  try {
    item->SetControl(kid1);
    FAIL();
  } catch (const skin::EDIBControlError& e) {
    EXPECT_STREQ(e.what(), "Control already exists in list.");
  }
}

TEST_F(FeatureTest, MoveableSnapsTheDragToItsSnapSize) {
  LoadFeatures();
  auto* mover = Find<skin::TDIBImage>("mover");
  auto& item = *mover->DIBFeatures().Items(0);
  ASSERT_NE(dynamic_cast<skin::TMoveableDIB*>(item.Feature()), nullptr);
  EXPECT_EQ(item.DisplayName(), "Moveable DIB");
  backend->MouseMove(Handle(), 32, 62);
  backend->MouseDown(Handle(), mbLeft, 32, 62);
  backend->MouseMove(Handle(), 59, 62);  // 27 right
  EXPECT_EQ(mover->Left(), 50);          // 20, cut towards zero
  EXPECT_EQ(Find<skin::TDIBImage>("kid1")->Left(), 70);
  backend->MouseMove(Handle(), 20, 62);  // -12 from the press: -10
  EXPECT_EQ(mover->Left(), 20);
  backend->MouseUp(Handle(), mbLeft, 20, 62);
  backend->MouseMove(Handle(), 80, 62);
  EXPECT_EQ(mover->Left(), 20);  // the move ended with the release
  // Arrow keys move by SnapSize and are not passed on.
  container->SetActiveControl(mover);
  container->SetFocus();
  backend->KeyDown(Handle(), VK_DOWN);
  EXPECT_EQ(mover->Top(), 70);
}

TEST_F(FeatureTest, HighlightShowsItsOpacityWhileHovered) {
  LoadFeatures();
  auto* lamp = Find<skin::TDIBImage>("lamp");
  EXPECT_EQ(Pixel(15, 15), 0xFFFFFFu);
  backend->MouseMove(Handle(), 15, 15);
  EXPECT_EQ(lamp->Opacity(), 128);
  EXPECT_EQ(Pixel(15, 15), 0x808080u);
  backend->MouseMove(Handle(), 60, 100);
  EXPECT_EQ(lamp->Opacity(), 255);
  EXPECT_EQ(Pixel(15, 15), 0xFFFFFFu);
}

TEST_F(FeatureTest, HighlightAlsoFollowsTheSkinnedFocus) {
  LoadFeatures();
  auto* lamp = Find<skin::TDIBImage>("lamp");
  lamp->SetDIBTabOrder(0);
  EXPECT_EQ(container->FocusList().size(), 1u);
  container->SetActiveControl(lamp);
  EXPECT_TRUE(lamp->DIBFocused());
  EXPECT_EQ(lamp->Opacity(), 128);
  // Hovering a focused control changes nothing; leaving the focus restores.
  backend->MouseMove(Handle(), 15, 15);
  backend->MouseMove(Handle(), 60, 100);
  EXPECT_EQ(lamp->Opacity(), 128);
  container->SetActiveControl(nullptr);
  EXPECT_EQ(lamp->Opacity(), 255);
  // A disabled item passes nothing to its feature.
  lamp->DIBFeatures().Items(0)->SetEnabled(false);
  backend->MouseMove(Handle(), 15, 15);
  EXPECT_EQ(lamp->Opacity(), 255);
}

TEST_F(FeatureTest, ShapeableLetsClicksThroughItsTransparentColour) {
  LoadFeatures();
  // (100, 29) is the shaped control's bottom-left pixel: magenta, so it
  // picks magenta as transparent.
  backend->ClickAt(Handle(), 100, 29);
  backend->ClickAt(Handle(), 101, 29);
  backend->ClickAt(Handle(), 110, 20);
  backend->ClickAt(Handle(), 130, 40);
  EXPECT_EQ(form->log,
            (std::vector<std::string>{"click back", "click shaped", "click shaped", "click back"}));
  auto* shaped = Find<skin::TDIBImage>("shaped");
  auto* feature = dynamic_cast<skin::TShapeableDIB*>(shaped->DIBFeatures().Items(0)->Feature());
  ASSERT_NE(feature, nullptr);
  EXPECT_EQ(feature->Rebuilds(), 1);  // cached until the control repaints
  shaped->SetOpacity(254);
  backend->ClickAt(Handle(), 101, 29);
  EXPECT_EQ(feature->Rebuilds(), 2);
}

TEST_F(FeatureTest, UnknownFeatureClassIsRefusedByName) {
  LoadFeatures();
  auto* lamp = Find<skin::TDIBImage>("lamp");
  try {
    lamp->DIBFeatures().Add()->SetFeatureClassName("TNoSuchFeature");
    FAIL();
  } catch (const skin::EDIBFeatureError& e) {
    EXPECT_STREQ(e.what(), "TNoSuchFeature has not been registered");
  }
  EXPECT_EQ(lamp->DIBFeatures().Items(1)->DisplayName(), "DIB feature");
}

TEST_F(FeatureTest, BorderTilesItsFillerAndCutsTheLastCopy) {
  LoadFeatures();
  // The form's left edge: a 4 x 10 filler drawn under the controls.
  EXPECT_EQ(Pixel(1, 0), 1u);
  EXPECT_EQ(Pixel(1, 9), 10u);
  EXPECT_EQ(Pixel(1, 10), 1u);
  EXPECT_EQ(Pixel(1, 119), 10u);
  EXPECT_EQ(Pixel(4, 50), 0u);
  EXPECT_EQ(container->DIBClientRect(), (TRect{4, 0, 200, 120}));

  // Caps of 5 rows leave a 35-row gap: three whole copies and one of 5 rows.
  skin::TDIBBorder& border = *Find<skin::TDIBBorder>("Border");
  images->DIBImages().Add();
  SetImage(3, 4, 5, [](int, int) { return 0xFFFF0000u; });
  border.BorderLeft().Start().SetDIBIndex(3);
  border.BorderLeft().End().SetDIBIndex(3);
  image::TWinDIB dest(10, 45);
  dest.Fill(clBlack);
  border.BorderLeft().Draw(dest, TRect{0, 0, 10, 45});
  std::vector<std::uint32_t> column;
  for (int y = 0; y < 45; ++y) column.push_back(dest.PixelAt(0, y) & 0xFFFFFF);
  std::vector<std::uint32_t> expected;
  for (int y = 0; y < 5; ++y) expected.push_back(0xFF0000);
  for (int y = 0; y < 35; ++y) expected.push_back(static_cast<std::uint32_t>(y % 10 + 1));
  for (int y = 0; y < 5; ++y) expected.push_back(0xFF0000);
  EXPECT_EQ(column, expected);

  // Stretched, the filler covers the gap once.
  border.BorderLeft().SetDrawStyle(skin::dsStretch);
  dest.Fill(clBlack);
  border.BorderLeft().Draw(dest, TRect{0, 0, 10, 45});
  EXPECT_EQ(dest.PixelAt(0, 5) & 0xFFFFFF, 1u);
  EXPECT_EQ(dest.PixelAt(0, 39) & 0xFFFFFF, 10u);
  // The edge's size is its widest image; a fixed size when asked.
  EXPECT_EQ(border.BorderLeft().EdgeSize(), 4);
  border.BorderLeft().SetAutoCalcSize(false);
  EXPECT_EQ(border.BorderLeft().EdgeSize(), 32);
}

// The border takes its edges from the client area: setting or clearing it
// lays the aligned children out again and, with AutoSize, resizes the
// container so that its unaligned children stay clear of the border.
TEST_F(FeatureTest, TheBorderShrinksTheClientAreaForAlignmentAndAutoSize) {
  LoadFeatures();
  auto* footer = Find<skin::TDIBImage>("footer");  // aligned to the bottom
  skin::TDIBBorder* border = Find<skin::TDIBBorder>("Border");
  border->BorderBottom().Middle().SetDIBIndex(0);  // 10 rows high; the left edge is 4 columns wide
  container->SetDIBBorder(nullptr);
  auto aligned = [&](skin::TAlign align) {
    auto* c = new skin::TDIBImage(form.get());
    c->SetBounds(150, 90, 20, 10);
    c->SetAlign(align);
    return c;
  };
  skin::TDIBImage* top = aligned(skin::alTop);
  skin::TDIBImage* side = aligned(skin::alLeft);
  skin::TDIBImage* fill = aligned(skin::alClient);
  fill->SetDIBImageList(images);
  fill->IndexMain().SetDIBIndex(0);
  fill->SetStretch(true);
  auto layout = [&] {
    return std::vector<TRect>{top->BoundsRect(), footer->BoundsRect(), side->BoundsRect(),
                              fill->BoundsRect()};
  };
  EXPECT_EQ(layout(),
            (std::vector<TRect>{{0, 0, 200, 10}, {0, 110, 200, 120}, {0, 10, 20, 110}, {20, 10, 200, 110}}));

  // An aligned control put elsewhere goes back to its edge, keeping its new height.
  top->SetBounds(50, 50, 10, 20);
  EXPECT_EQ(layout(),
            (std::vector<TRect>{{0, 0, 200, 20}, {0, 110, 200, 120}, {0, 20, 20, 110}, {20, 20, 200, 110}}));
  top->SetHeight(10);

  container->SetDIBBorder(border);
  EXPECT_EQ(container->DIBClientRect(), (TRect{4, 0, 200, 110}));
  EXPECT_EQ(layout(),
            (std::vector<TRect>{{4, 0, 200, 10}, {4, 100, 200, 110}, {4, 10, 24, 100}, {24, 10, 200, 100}}));

  // The unaligned children reach x 140 (back) and y 85 (kid2).
  container->SetAutoSize(true);
  EXPECT_EQ(container->BoundsRect(), (TRect{0, 0, 140, 95}));
  EXPECT_EQ(fill->BoundsRect(), (TRect{24, 10, 140, 75}));
  container->SetDIBBorder(nullptr);
  EXPECT_EQ(container->BoundsRect(), (TRect{0, 0, 140, 85}));
  EXPECT_EQ(layout(),
            (std::vector<TRect>{{0, 0, 140, 10}, {0, 75, 140, 85}, {0, 10, 20, 75}, {20, 10, 140, 75}}));

  // A removed border lays them out again too; so does a resize.
  container->SetAutoSize(false);
  container->SetDIBBorder(border);
  delete border;
  EXPECT_EQ(fill->BoundsRect(), (TRect{20, 10, 140, 75}));
  container->SetBounds(0, 0, 160, 100);
  EXPECT_EQ(fill->BoundsRect(), (TRect{20, 10, 160, 90}));
  Pump();
  EXPECT_EQ(Pixel(30, 20), 0xFFFFFFu);  // the client-aligned picture, stretched over its new place
}

TEST_F(FeatureTest, TimerRunsOnlyWithEnabledIntervalAndHandler) {
  LoadFeatures();
  skin::TDIBTimer timer(form.get());  // runs in the form's window system
  int ticks = 0;
  timer.SetEnabled(true);
  EXPECT_FALSE(timer.Running());  // no handler yet
  timer.SetInterval(50);
  timer.SetOnTimer(TNotifyEvent([&](TObject*) { ++ticks; }));
  EXPECT_TRUE(timer.Running());
  backend->AdvanceTime(120);
  EXPECT_EQ(ticks, 2);
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Running());
  backend->AdvanceTime(200);
  EXPECT_EQ(ticks, 2);
  // A handler's exception goes to the framework's handler.
  std::vector<std::string> caught;
  SetExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      caught.push_back(x.what());
    }
  });
  timer.SetOnTimer(TNotifyEvent([](TObject*) { throw Exception("tick failed"); }));
  timer.SetInterval(10);
  backend->AdvanceTime(10);
  SetExceptionHandler(nullptr);
  EXPECT_EQ(caught, (std::vector<std::string>{"tick failed"}));
}

}  // namespace
}  // namespace skintest
