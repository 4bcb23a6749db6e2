// Mouse and keys: knob and slider drags by pointer travel, releases outside a
// control, the skinned focus order, keys, accelerators and auto-repeat.

#include "tests/skin/SkinFixture.h"

namespace skintest {
namespace {

class InputTest : public SkinTest {
 protected:
  void LoadKnobs() {
    Load("knobs.form", [this] {
      // 10 frames of 18 x 18 (frame k has red k * 20); 100 frames of 100 x 18.
      SetImage(0, 180, 18,
               [](int x, int) { return 0xFF000000u | static_cast<std::uint32_t>(x / 18 * 20) << 16; });
      SetImage(1, 10000, 18,
               [](int x, int) { return 0xFF000000u | static_cast<std::uint32_t>(x / 100) << 8; });
    });
    vol = Find<skin::TDIBKnob>("vol");
    pan = Find<skin::TDIBKnob>("pan");
    form->log.clear();
  }
  skin::TDIBKnob* vol = nullptr;
  skin::TDIBKnob* pan = nullptr;
};

TEST_F(InputTest, KnobsTakeTheSizeOfOneFrameAndShowTheirFrame) {
  LoadKnobs();
  EXPECT_EQ(vol->Width(), 18);
  EXPECT_EQ(vol->Height(), 18);
  EXPECT_EQ(pan->Width(), 100);  // AutoSize off: stored size
  // Position 50 of 0..100 with 10 frames: frame 50 * 10 div 101 = 4.
  EXPECT_EQ(vol->FrameIndex(), 4);
  EXPECT_EQ(Pixel(15, 15), 80u << 16);
}

TEST_F(InputTest, VerticalKnobFollowsPointerTravelWithThePointerHiddenAndHeld) {
  LoadKnobs();
  backend->MouseMove(Handle(), 15, 15);
  backend->MouseDown(Handle(), mbLeft, 15, 15);
  EXPECT_FALSE(backend->PointerVisible());
  backend->MouseMove(Handle(), 15, 12);  // 3 up in one move
  EXPECT_EQ(vol->Position(), 53);
  EXPECT_EQ(form->log, (std::vector<std::string>{"change vol 53"}));
  EXPECT_EQ(backend->CursorPos(), (TPoint{15, 15}));  // held at the press point
  backend->MouseMove(Handle(), 15, 18);               // 3 down
  EXPECT_EQ(vol->Position(), 50);
  backend->MouseMove(Handle(), 15, 15);  // no travel: nothing
  EXPECT_EQ(form->log.size(), 2u);
  backend->MouseUp(Handle(), mbLeft, 15, 15);
  EXPECT_TRUE(backend->PointerVisible());
  backend->MouseMove(Handle(), 15, 12);  // released: moves over it turn it no more
  EXPECT_EQ(vol->Position(), 50);
  EXPECT_EQ(form->log.size(), 2u);
  backend->MouseMove(Handle(), 15, 15);
  Pump();
  EXPECT_EQ(Pixel(15, 15), 80u << 16);
}

// A drag is announced when it begins and when it ends, also when the window
// is hidden under it and the release never comes.
TEST_F(InputTest, AKnobDragEndsAtTheReleaseOrWhenTheWindowIsHidden) {
  LoadKnobs();
  std::vector<std::string> events;
  vol->OnDragBegin.Bind([&](TObject*) { events.push_back("begin " + std::to_string(vol->Position())); });
  vol->OnDragEnd.Bind([&](TObject*) { events.push_back("end " + std::to_string(vol->Position())); });
  backend->MouseDown(Handle(), mbLeft, 15, 15);
  backend->MouseMove(Handle(), 15, 13);
  backend->MouseUp(Handle(), mbLeft, 15, 13);
  backend->MouseDown(Handle(), mbLeft, 15, 15);
  backend->MouseMove(Handle(), 15, 14);
  form->Hide();
  EXPECT_EQ(events, (std::vector<std::string>{"begin 50", "end 52", "begin 52", "end 53"}));
  EXPECT_TRUE(backend->PointerVisible());
  form->Show();
  backend->MouseMove(Handle(), 15, 12);  // the drag is over: no turn
  EXPECT_EQ(vol->Position(), 53);
  backend->MouseDown(Handle(), mbLeft, 15, 15);
  EXPECT_FALSE(backend->PointerVisible()) << "the next drag hides the pointer again";
  backend->MouseUp(Handle(), mbLeft, 15, 15);
  EXPECT_TRUE(backend->PointerVisible());
}

TEST_F(InputTest, SliderDraggedFarRightStopsAtMaxAndThePointerReturnsToThePress) {
  LoadKnobs();
  backend->MouseMove(Handle(), 50, 15);
  backend->MouseDown(Handle(), mbLeft, 50, 15);
  backend->MouseMove(Handle(), 300, 15);  // 250 right, outside the window
  EXPECT_EQ(pan->Position(), 100);
  EXPECT_EQ(form->log, (std::vector<std::string>{"change pan 100"}));
  backend->MouseUp(Handle(), mbLeft, 300, 15);
  EXPECT_TRUE(backend->PointerVisible());
  EXPECT_EQ(backend->Warps().back(), (TPoint{50, 15}));
  Pump();
  EXPECT_EQ(Pixel(60, 15), 99u << 8);  // frame 99
}

TEST_F(InputTest, RightButtonDoesNotDrag) {
  LoadKnobs();
  backend->MouseDown(Handle(), mbRight, 15, 15);
  EXPECT_TRUE(backend->PointerVisible());
  backend->MouseMove(Handle(), 15, 5, 0);
  backend->MouseUp(Handle(), mbRight, 15, 5);
  EXPECT_EQ(vol->Position(), 50);
  EXPECT_TRUE(backend->PointerVisible());
}

TEST_F(InputTest, ReleaseOutsideHandsTheHoverOverToTheControlBeneath) {
  LoadKnobs();
  auto* pad = Find<skin::TDIBImage>("pad");
  std::vector<std::string> events;
  vol->OnMouseLeave.Bind([&](TObject*) { events.push_back("vol leave"); });
  vol->OnMouseUp.Bind([&](TObject*, TMouseButton, TShiftState, int, int) { events.push_back("vol up"); });
  pad->OnMouseEnter.Bind([&](TObject*) { events.push_back("pad enter"); });
  backend->MouseMove(Handle(), 15, 15);
  backend->MouseDown(Handle(), mbLeft, 15, 15);
  backend->MouseMove(Handle(), 160, 20);  // over the pad, still captured
  EXPECT_TRUE(vol->MouseEntered());
  EXPECT_FALSE(vol->MouseInControl());
  EXPECT_TRUE(events.empty());  // the leave waits for the release
  backend->MouseUp(Handle(), mbLeft, 160, 20);
  EXPECT_EQ(events, (std::vector<std::string>{"pad enter", "vol up", "vol leave"}));
  EXPECT_FALSE(vol->MouseEntered());
  EXPECT_TRUE(pad->MouseInControl());
  EXPECT_EQ(form->log, (std::vector<std::string>{"change vol 45"}));  // 5 pixels down
}

TEST_F(InputTest, PressOnAControlAndReleaseOutsideItDoesNotClick) {
  LoadKnobs();
  backend->MouseMove(Handle(), 160, 20);
  backend->MouseDown(Handle(), mbLeft, 160, 20);
  backend->MouseMove(Handle(), 190, 90);
  backend->MouseUp(Handle(), mbLeft, 190, 90);
  EXPECT_TRUE(form->log.empty());
  backend->ClickAt(Handle(), 160, 20);
  EXPECT_EQ(form->log, (std::vector<std::string>{"click pad"}));
  // A control that is not in the focus order never takes the focus.
  EXPECT_EQ(container->ActiveControl(), nullptr);
}

TEST_F(InputTest, CellsWithTheEmptyStyleLetADragSweepAcrossThem) {
  LoadKnobs();
  auto* a = Find<skin::TDIBImage>("a");
  auto* b = Find<skin::TDIBImage>("b");
  std::vector<std::string> events;
  for (skin::TDIBImage* cell : {a, b}) {
    cell->SetControlStyle(0);
    const std::string n = cell->Name();
    cell->OnMouseDown.Bind(
        [&events, n](TObject*, TMouseButton, TShiftState, int, int) { events.push_back(n + " down"); });
    cell->OnMouseMove.Bind([&events, n](TObject*, TShiftState shift, int, int) {
      events.push_back(n + (shift == ssLeft ? " move left" : " move"));
    });
    cell->OnMouseUp.Bind(
        [&events, n](TObject*, TMouseButton, TShiftState, int, int) { events.push_back(n + " up"); });
    cell->OnMouseEnter.Bind([&events, n](TObject*) { events.push_back(n + " enter"); });
    cell->OnMouseLeave.Bind([&events, n](TObject*) { events.push_back(n + " leave"); });
  }
  backend->MouseMove(Handle(), 15, 65);
  backend->MouseDown(Handle(), mbLeft, 15, 65);
  backend->MouseMove(Handle(), 45, 65);
  backend->MouseUp(Handle(), mbLeft, 45, 65);
  EXPECT_EQ(events, (std::vector<std::string>{"a enter", "a move", "a down", "a leave", "b enter",
                                              "b move left", "b up"}));
  EXPECT_EQ(form->log, (std::vector<std::string>{}));  // no click events with the empty style
  EXPECT_EQ(container->CaptureControl(), nullptr);
}

TEST_F(InputTest, TheWindowShowsTheCursorOfTheControlUnderThePointer) {
  LoadKnobs();
  backend->MouseMove(Handle(), 15, 15);
  EXPECT_EQ(Window().Cursor(), crSizeNS);
  backend->MouseMove(Handle(), 60, 15);
  EXPECT_EQ(Window().Cursor(), crSizeWE);
  backend->MouseMove(Handle(), 190, 90);
  EXPECT_EQ(Window().Cursor(), crDefault);
}

TEST_F(InputTest, TabWalksTheFocusListAndLeavesTheContainerAtTheEnd) {
  LoadKnobs();
  auto* a = Find<skin::TDIBImage>("a");
  auto* b = Find<skin::TDIBImage>("b");
  auto* c = Find<skin::TDIBKnob>("c");
  ASSERT_EQ(container->FocusList(), (std::vector<skin::TCustomDIBControl*>{a, b, c}));
  std::vector<std::string> events;
  for (skin::TCustomDIBControl* x : std::vector<skin::TCustomDIBControl*>{a, b, c}) {
    x->OnEnter.Bind([&events, x](TObject*) { events.push_back(x->Name() + " enter"); });
    x->OnExit.Bind([&events, x](TObject*) { events.push_back(x->Name() + " exit"); });
  }
  backend->ClickAt(Handle(), 45, 65);  // b
  EXPECT_EQ(container->ActiveControl(), b);
  EXPECT_TRUE(b->DIBFocused());
  EXPECT_TRUE(container->Focused());
  backend->KeyDown(Handle(), VK_TAB);
  EXPECT_EQ(container->ActiveControl(), c);
  backend->KeyDown(Handle(), VK_TAB, ssShift);
  backend->KeyDown(Handle(), VK_TAB, ssShift);
  EXPECT_EQ(container->ActiveControl(), a);
  EXPECT_EQ(events, (std::vector<std::string>{"b enter", "b exit", "c enter", "c exit", "b enter", "b exit",
                                              "a enter"}));

  // From b with c disabled, the next one would wrap round to a: the focus
  // leaves the skinned controls.
  container->SetActiveControl(b);
  c->SetEnabled(false);
  backend->KeyDown(Handle(), VK_TAB);
  EXPECT_EQ(container->ActiveControl(), nullptr);
  EXPECT_FALSE(b->DIBFocused());
}

// Stepping takes every enabled skinned control, shown or not, and then the
// container's windowed children that are tab stops, in their tab order.
TEST_F(InputTest, FocusSteppingTakesHiddenControlsAndThenWindowedChildren) {
  LoadKnobs();
  auto* a = Find<skin::TDIBImage>("a");
  auto* b = Find<skin::TDIBImage>("b");
  auto* c = Find<skin::TDIBKnob>("c");
  b->SetVisible(false);
  container->SetActiveControl(a);
  container->SetFocus();
  backend->KeyDown(Handle(), VK_TAB);
  EXPECT_EQ(container->ActiveControl(), b);

  auto* later = new TCustomControl(form.get());
  auto* first = new TCustomControl(form.get());
  for (TCustomControl* w : {later, first}) {
    w->SetParent(container);
    w->SetTabStop(true);
  }
  first->SetTabOrder(0);
  bool wrapped = true;
  container->SetActiveControl(c);
  EXPECT_EQ(container->FindNextDIBControl(true, &wrapped), first);
  EXPECT_FALSE(wrapped);
  backend->KeyDown(Handle(), VK_TAB);
  EXPECT_TRUE(first->Focused());
  EXPECT_EQ(container->ActiveControl(), nullptr);

  // Backwards from the first skinned control the step wraps round to the
  // last windowed child: the key is the framework's.
  container->SetActiveControl(a);
  EXPECT_EQ(container->FindNextDIBControl(false, &wrapped), later);
  EXPECT_TRUE(wrapped);
  // Windowed children that are no tab stops, or cannot take the focus, are passed over.
  first->SetTabStop(false);
  later->SetEnabled(false);
  container->SetActiveControl(c);
  EXPECT_EQ(container->FindNextDIBControl(true, &wrapped), a);
  EXPECT_TRUE(wrapped);
}

// A key the active control claims as a special key is left to the framework:
// the container handles it as its own, the control never sees it.
TEST_F(InputTest, KeysClaimedAsSpecialAreLeftToTheFramework) {
  LoadKnobs();
  class TClaimer : public skin::TDIBImage {
   public:
    using TDIBImage::TDIBImage;
    bool ClaimsSpecialKey(const TMessage& m) override { return m.Key == VK_RETURN || m.Key == 'x'; }
  };
  auto* claimer = new TClaimer(form.get());
  claimer->SetDialogCode(dcWantAllKeys);
  claimer->SetDIBTabOrder(3);
  std::vector<std::string> seen;
  claimer->OnKeyDown.Bind(
      [&](TObject*, std::uint16_t& key, TShiftState) { seen.push_back("control " + std::to_string(key)); });
  claimer->OnKeyPress.Bind([&](TObject*, char& key) { seen.push_back(std::string("control ") + key); });
  container->OnKeyDown.Bind(
      [&](TObject*, std::uint16_t& key, TShiftState) { seen.push_back("container " + std::to_string(key)); });
  container->OnKeyPress.Bind([&](TObject*, char& key) { seen.push_back(std::string("container ") + key); });
  container->SetActiveControl(claimer);
  container->SetFocus();
  backend->KeyDown(Handle(), VK_RETURN);
  backend->KeyDown(Handle(), VK_ESCAPE);
  backend->Char(Handle(), 'x');
  backend->Char(Handle(), 'y');
  EXPECT_EQ(seen, (std::vector<std::string>{"container 13", "control 27", "container x", "control y"}));
}

TEST_F(InputTest, FocusedKnobMovesWithItsKeys) {
  LoadKnobs();
  auto* c = Find<skin::TDIBKnob>("c");
  container->SetActiveControl(c);
  container->SetFocus();
  struct Case {
    std::uint16_t key;
    int expected;
  };
  const Case cases[] = {{VK_PRIOR, 5}, {VK_UP, 6},   {VK_RIGHT, 7}, {VK_DOWN, 6},
                        {VK_LEFT, 5},  {VK_NEXT, 0}, {'A', 0}};
  for (const Case& k : cases) {
    backend->KeyDown(Handle(), k.key);
    EXPECT_EQ(c->Position(), k.expected) << k.key;
  }
  // A handler that clears the key stops the knob's own reaction.
  c->OnKeyDown.Bind([](TObject*, std::uint16_t& key, TShiftState) { key = 0; });
  backend->KeyDown(Handle(), VK_UP);
  EXPECT_EQ(c->Position(), 0);
  // Arrows are only delivered to controls that ask for them.
  c->OnKeyDown.Clear();
  c->SetDialogCode(0);
  backend->KeyDown(Handle(), VK_UP);
  EXPECT_EQ(c->Position(), 0);
  backend->KeyDown(Handle(), VK_PRIOR);
  EXPECT_EQ(c->Position(), 5);
}

TEST_F(InputTest, AFormThatPreviewsKeysSeesThemFirst) {
  LoadKnobs();
  auto* c = Find<skin::TDIBKnob>("c");
  container->SetActiveControl(c);
  container->SetFocus();
  std::vector<std::uint16_t> seen;
  form->SetKeyPreview(true);
  form->OnKeyDown.Bind([&](TObject*, std::uint16_t& key, TShiftState) {
    seen.push_back(key);
    if (key == VK_UP) key = 0;  // consumed
  });
  backend->KeyDown(Handle(), VK_UP);
  EXPECT_EQ(c->Position(), 0);
  backend->KeyDown(Handle(), VK_PRIOR);
  EXPECT_EQ(c->Position(), 5);
  EXPECT_EQ(seen, (std::vector<std::uint16_t>{VK_UP, VK_PRIOR}));
}

// b's accelerator is 'B': only that character, and only with Alt, clicks it.
TEST_F(InputTest, AcceleratorClicksWithAltAndItsExactCharacter) {
  LoadKnobs();
  backend->Char(Handle(), 'B');
  backend->Char(Handle(), 'b', ssAlt);
  EXPECT_TRUE(form->log.empty());
  EXPECT_EQ(container->ActiveControl(), nullptr);
  backend->Char(Handle(), 'B', ssAlt);
  EXPECT_EQ(form->log, (std::vector<std::string>{"click b"}));
  EXPECT_EQ(container->ActiveControl(), Find<skin::TDIBImage>("b"));
}

TEST_F(InputTest, KnobPositionAndRangeRules) {
  LoadKnobs();
  vol->SetPosition(100);
  form->log.clear();
  container->Update();
  vol->SetPosition(150);
  EXPECT_EQ(vol->Position(), 100);
  EXPECT_TRUE(form->log.empty());          // already 100
  EXPECT_TRUE(container->PaintPending());  // repainted anyway
  vol->SetPosition(20);
  vol->SetPosition(150);
  EXPECT_EQ(form->log, (std::vector<std::string>{"change vol 20", "change vol 100"}));

  vol->SetMin(100);
  EXPECT_EQ(vol->Max(), 101);
  vol->SetMax(10);
  EXPECT_EQ(vol->Min(), 9);
  EXPECT_EQ(vol->Position(), 10);

  try {
    vol->SetNumGlyphs(0);
    FAIL();
  } catch (const skin::EDIBKnobError& e) {
    EXPECT_STREQ(e.what(), "NumGlyphs must be greater than 0.");
  }
  EXPECT_EQ(vol->NumGlyphs(), 10);
}

TEST_F(InputTest, FrameIndexWithAndWithoutTweens) {
  LoadKnobs();
  struct Case {
    int glyphs, position, frame;
  };
  for (const Case& c :
       {Case{100, 0, 0}, Case{100, 1, 0}, Case{100, 50, 49}, Case{100, 100, 99}, Case{57, 100, 56}}) {
    vol->SetNumGlyphs(c.glyphs);
    vol->SetPosition(c.position);
    EXPECT_EQ(vol->FrameIndex(), c.frame) << c.glyphs << " " << c.position;
  }
  vol->SetNumGlyphs(10);
  vol->SetDrawTweens(true);
  auto redAt = [&](int position, bool loop) {
    vol->SetLoopLastFrame(loop);
    vol->SetPosition(position);
    Pump();
    return Pixel(15, 15) >> 16;
  };
  EXPECT_EQ(redAt(100, false), 180u);              // the frame after the last shows the last
  EXPECT_EQ(redAt(100, true), 0u);                 // or the first
  EXPECT_EQ(redAt(20, false), 40u);                // exactly frame 2
  const std::uint32_t between = redAt(25, false);  // frame 2 at 127 over frame 3
  EXPECT_EQ(between, (40u * 127 + 60u * 128 + 255) >> 8);
}

TEST_F(InputTest, AutoRepeatRedeliversAHeldPress) {
  LoadKnobs();
  auto* pad = Find<skin::TDIBImage>("pad");
  int presses = 0;
  pad->OnMouseDown.Bind([&](TObject*, TMouseButton, TShiftState, int, int) { ++presses; });
  pad->SetRepeatEnabled(true);
  pad->SetRepeatInterval(100);
  backend->MouseMove(Handle(), 160, 20);
  backend->MouseDown(Handle(), mbLeft, 160, 20);
  backend->AdvanceTime(350);
  EXPECT_EQ(presses, 4);
  pad->StopRepeat();
  backend->AdvanceTime(100);
  EXPECT_FALSE(pad->RepeatTimer().Running());
  EXPECT_EQ(presses, 4);
  backend->MouseUp(Handle(), mbLeft, 160, 20);
  backend->MouseDown(Handle(), mbLeft, 160, 20);
  backend->MouseUp(Handle(), mbLeft, 160, 20);  // the release stops it
  backend->AdvanceTime(300);
  EXPECT_EQ(presses, 5);
}

// A feature that records the presses it sees, in the control's coordinates,
// and keeps every press after the first from the control when asked to.
class TPressLog : public skin::TDIBFeature {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TPressLog(TComponent* owner) : TDIBFeature(owner) {}
  bool HandleMessage(TMessage& m) override {
    if (m.Id != TMessageId::MouseDown) return false;
    presses.push_back({m.X, m.Y});
    return keepRepeats && presses.size() > 1;
  }
  std::vector<TPoint> presses;
  bool keepRepeats = false;
};

const ClassInfo& TPressLog::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TPressLog, skin::TDIBFeature>("TPressLog").Build();
  return info;
}

// Each repeat is the held press delivered again: the control's features see
// it (and may keep it), and the press takes the capture as a real one does.
TEST_F(InputTest, AutoRepeatPassesThroughFeaturesAndTakesTheCapture) {
  LoadKnobs();
  skin::RegisterDIBFeature(TPressLog::StaticClassInfo());
  auto* pad = Find<skin::TDIBImage>("pad");
  skin::TDIBFeatureItem* item = pad->DIBFeatures().Add();
  item->SetFeatureClassName("TPressLog");
  auto& log = dynamic_cast<TPressLog&>(*item->Feature());
  std::vector<bool> captured;
  pad->OnMouseDown.Bind([&](TObject*, TMouseButton, TShiftState, int, int) {
    captured.push_back(pad->MouseCapture());
    pad->SetMouseCapture(false);  // let go after every press
  });
  pad->SetRepeatEnabled(true);
  pad->SetRepeatInterval(100);
  backend->MouseMove(Handle(), 160, 20);
  backend->MouseDown(Handle(), mbLeft, 160, 20);
  backend->AdvanceTime(250);
  EXPECT_EQ(log.presses, (std::vector<TPoint>{{10, 10}, {10, 10}, {10, 10}}));
  EXPECT_EQ(captured, (std::vector<bool>{true, true, true}));
  backend->MouseUp(Handle(), mbLeft, 160, 20);

  log.presses.clear();
  captured.clear();
  log.keepRepeats = true;
  backend->MouseDown(Handle(), mbLeft, 160, 20);
  backend->AdvanceTime(250);
  EXPECT_EQ(log.presses.size(), 3u);
  EXPECT_EQ(captured.size(), 1u);  // the repeats went no further than the feature
  backend->MouseUp(Handle(), mbLeft, 160, 20);
}

}  // namespace
}  // namespace skintest
