// Mouse routing, enter/leave, capture, clicks, focus and keys of controls in a
// window driven through the headless backend.

#include <gmock/gmock.h>

#include "tests/framework/window/WindowFixture.h"

namespace wtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// a: 10..60 x 10..60, b overlaps its right half and lies above it.
class MouseTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    a = new TProbe(form.get(), "a", {10, 10, 60, 60}, log, 0xFF0000);
    b = new TProbe(form.get(), "b", {40, 10, 90, 60}, log, 0x00FF00);
    Open();
  }
  TProbe* a = nullptr;
  TProbe* b = nullptr;
};

TEST_F(MouseTest, InputGoesToTheTopmostVisibleEnabledControl) {
  auto* hidden = new TProbe(form.get(), "hidden", {0, 0, 200, 100}, log);
  hidden->SetVisible(false);
  auto* disabled = new TProbe(form.get(), "disabled", {45, 0, 55, 100}, log);
  disabled->SetEnabled(false);
  auto* panel = new TFocusProbe(form.get(), "panel", {100, 10, 150, 60}, log);
  // Windowless children of the window lie below a windowed child created before them.
  new TProbe(form.get(), "under-panel", {100, 10, 150, 60}, log);
  auto* inner = new TProbe(panel, "inner", {5, 5, 15, 15}, log);
  (void)inner;

  struct Case {
    TPoint at;
    std::string receiver;  // "" = the form itself
  } cases[] = {
      {{15, 15}, "a"}, {{45, 15}, "b"},
      {{50, 30}, "b"},  // disabled above b is skipped
      {{89, 59}, "b"}, {{90, 60}, ""},
      {{9, 15}, ""},   {{107, 17}, "inner down 2,2"},  // coordinates are the control's own
      {{130, 30}, ""},                                 // the panel itself (not a probe)
  };
  for (const Case& c : cases) {
    log.clear();
    backend->MouseDown(H(), mbRight, c.at.X, c.at.Y);
    backend->MouseUp(H(), mbRight, c.at.X, c.at.Y);
    std::vector<std::string> downs;
    for (const auto& line : log)
      if (line.find(" down ") != std::string::npos) downs.push_back(line);
    if (c.receiver.empty()) {
      EXPECT_THAT(downs, IsEmpty()) << c.at.X << "," << c.at.Y;
    } else {
      ASSERT_EQ(downs.size(), 1u) << c.at.X << "," << c.at.Y;
      EXPECT_EQ(downs[0].rfind(c.receiver, 0), 0u) << downs[0];
    }
  }
  EXPECT_EQ(form->ControlAtPos({50, 30}), b);
  EXPECT_EQ(form->ControlAtPos({50, 30}, true), disabled);
  EXPECT_EQ(form->ControlAtPos({120, 30}, false, true), panel);
}

TEST_F(MouseTest, EnterAndLeaveFollowThePointerAcrossControlsAndOutOfTheWindow) {
  Move(20, 20);
  Move(50, 20);  // into b (over a's right half)
  Move(95, 20);  // background
  Move(20, 20);
  backend->MouseExit(H());
  EXPECT_THAT(log, ElementsAre("a enter", "a move 10,10", "a leave", "b enter", "b move 10,10", "b leave",
                               "a enter", "a move 10,10", "a leave"));
}

// Press on a, move over b, release over b: who gets what, by style.
TEST_F(MouseTest, DefaultStyleCapturesThePressedControlUntilRelease) {
  Move(20, 20);
  log.clear();
  Down(20, 20);
  EXPECT_TRUE(a->MouseCapture());
  EXPECT_TRUE(window->Captured());
  Move(70, 20);
  Move(300, 300);  // outside the window: still a's
  Up(70, 30);
  EXPECT_FALSE(a->MouseCapture());
  EXPECT_FALSE(window->Captured());
  // The capturing control hears that the pointer left it; b hears of no
  // entry while a holds the capture, and no click happens outside a.
  EXPECT_THAT(log, ElementsAre("a down 10,10", "a leave", "a move 60,10", "a move 290,290", "a up 60,20"));
  log.clear();
  Move(71, 30);  // the next move finds b already under the pointer
  EXPECT_THAT(log, ElementsAre("b move 31,20"));
}

TEST_F(MouseTest, EmptyStyleSendsEachEventToTheControlUnderThePointer) {
  a->SetControlStyle(0);
  b->SetControlStyle(0);
  Move(20, 20);
  log.clear();
  Down(20, 20);
  EXPECT_FALSE(a->MouseCapture());
  Move(70, 20);
  Move(300, 300);
  Move(75, 20);
  Up(75, 30);
  EXPECT_THAT(log, ElementsAre("a down 10,10", "a leave", "b enter", "b move 30,10", "b leave", "b enter",
                               "b move 35,10", "b up 35,20"));
}

TEST_F(MouseTest, ClickFiresBeforeMouseUpOnlyWhenReleasedOverThePressedControl) {
  int clicks = 0;
  b->OnClick.Bind([&](TObject* sender) {
    EXPECT_EQ(sender, b);
    ++clicks;
  });
  backend->ClickAt(H(), 70, 20);
  EXPECT_EQ(clicks, 1);
  EXPECT_THAT(std::vector<std::string>(log.end() - 3, log.end()),
              ElementsAre("b down 30,10", "b click", "b up 30,10"));

  // Out and back in while captured: still a click.
  Down(70, 20);
  Move(150, 20);
  Move(70, 25);
  Up(70, 25);
  EXPECT_EQ(clicks, 2);

  // Released outside: no click; nor for a release over b after a press elsewhere.
  Down(70, 20);
  Up(150, 20);
  b->SetControlStyle(csClickEvents);  // no capture
  Down(150, 20);
  Move(70, 20);
  Up(70, 20);
  // A right press and release is no click either.
  Down(70, 20, mbRight);
  Up(70, 20, mbRight);
  EXPECT_EQ(clicks, 2);
}

TEST_F(MouseTest, ASecondPressIsADoubleClickOnlyForStylesThatAskForIt) {
  struct Case {
    TControlStyle style;
    int clicks, doubleClicks;
  } cases[] = {
      {csCaptureMouse | csClickEvents | csDoubleClicks, 1, 1},
      {csCaptureMouse | csClickEvents, 2, 0},
      {0, 0, 0},
  };
  for (const Case& c : cases) {
    b->SetControlStyle(c.style);
    int clicks = 0, doubleClicks = 0;
    b->OnClick.Bind([&](TObject*) { ++clicks; });
    b->OnDblClick.Bind([&](TObject*) { ++doubleClicks; });
    std::vector<TShiftState> downs;
    b->OnMouseDown.Bind([&](TObject*, TMouseButton, TShiftState shift, int, int) { downs.push_back(shift); });
    backend->ClickAt(H(), 70, 20);
    backend->MouseDown(H(), mbLeft, 70, 20, ssDouble);
    backend->MouseUp(H(), mbLeft, 70, 20);
    EXPECT_EQ(clicks, c.clicks) << c.style;
    EXPECT_EQ(doubleClicks, c.doubleClicks) << c.style;
    EXPECT_THAT(downs, ElementsAre(ssLeft, (c.style & csDoubleClicks) ? ssLeft | ssDouble : ssLeft));
  }
}

TEST_F(MouseTest, EventHandlersReceiveSenderButtonShiftAndClientCoordinates) {
  std::vector<std::string> seen;
  auto name = [&](TObject* s) { return s == a ? std::string("a") : std::string("?"); };
  a->OnMouseDown.Bind([&](TObject* s, TMouseButton button, TShiftState shift, int x, int y) {
    seen.push_back(name(s) + " down " + std::to_string(button) + " " + std::to_string(shift) + " " +
                   std::to_string(x) + "," + std::to_string(y));
  });
  a->OnMouseMove.Bind([&](TObject* s, TShiftState shift, int x, int y) {
    seen.push_back(name(s) + " move " + std::to_string(shift) + " " + std::to_string(x) + "," +
                   std::to_string(y));
  });
  a->OnMouseUp.Bind([&](TObject* s, TMouseButton button, TShiftState shift, int, int) {
    seen.push_back(name(s) + " up " + std::to_string(button) + " " + std::to_string(shift));
  });
  a->OnMouseEnter.Bind([&](TObject* s) { seen.push_back(name(s) + " enter"); });
  a->OnMouseLeave.Bind([&](TObject* s) { seen.push_back(name(s) + " leave"); });
  Move(12, 15, ssShift);
  Down(12, 15, mbRight);
  Move(13, 15);
  Up(13, 15, mbRight);
  Move(5, 5);
  // Shift: ssShift = 1, ssRight = 16; right button = 1.
  EXPECT_THAT(seen, ElementsAre("a enter", "a move 1 2,5", "a down 1 16 2,5", "a move 16 3,5", "a up 1 0",
                                "a leave"));
}

TEST_F(MouseTest, ControlsThatGoDuringADragOrALeaveLeaveNothingDangling) {
  Down(20, 20);
  ASSERT_TRUE(a->MouseCapture());
  delete a;
  EXPECT_EQ(form->CaptureControl(), nullptr);
  EXPECT_FALSE(window->Captured());
  Move(70, 20);
  Up(70, 20);
  EXPECT_EQ(log.back(), "b up 30,10");

  // Leaving c destroys d, the control the pointer moves onto.
  auto* c = new TProbe(form.get(), "c", {100, 10, 120, 60}, log);
  TProbe* d = new TProbe(form.get(), "d", {120, 10, 140, 60}, log);
  c->OnMouseLeave.Bind([&](TObject*) {
    delete d;
    d = nullptr;
  });
  Move(110, 20);
  Move(130, 20);
  EXPECT_EQ(log.back(), "c leave");
  Move(110, 20);
  EXPECT_EQ(log.back(), "c move 10,10");
}

TEST_F(MouseTest, HidingTheWindowMidDragCancelsTheCapture) {
  struct TDragger : TProbe {
    using TProbe::TProbe;
    void WndProc(TMessage& m) override {
      if (m.Id == TMessageId::CancelMode) Log("cancel");
      TProbe::WndProc(m);
    }
  };
  auto* knob = new TDragger(form.get(), "knob", {100, 10, 120, 30}, log);
  Down(110, 20);
  ASSERT_TRUE(knob->MouseCapture());
  form->Hide();  // the host closes the editor during the drag
  EXPECT_FALSE(knob->MouseCapture());
  EXPECT_FALSE(window->Captured());
  ASSERT_GE(log.size(), 2u);
  // The drag ends, and the pointer is no longer over a window that is gone.
  EXPECT_EQ(log[log.size() - 2], "knob cancel");
  EXPECT_EQ(log.back(), "knob leave");
  form->Show();
  Up(50, 20);  // the release, when it comes, goes where the pointer is
  EXPECT_EQ(log.back(), "b up 10,10");
}

// The window sees every move, press and release before the control that gets
// it, and also those that no control gets (a release outside the window
// after a press on a control that takes no capture).
TEST_F(WindowTest, TheWindowPreviewsEveryMovePressAndReleaseFirst) {
  struct TPreviewForm : TForm {
    explicit TPreviewForm(std::vector<std::string>& log) : log_(log) {}
    void PreviewMouse(const TMessage& m) override {
      const char* kind = m.Id == TMessageId::MouseDown ? "down" : m.Id == TMessageId::MouseUp ? "up" : "move";
      log_.push_back(std::string("form ") + kind + " " + std::to_string(m.X) + "," + std::to_string(m.Y));
    }
    std::vector<std::string>& log_;
  };
  form = std::make_unique<TPreviewForm>(log);
  form->SetWindowSystem(backend);
  form->SetBounds(30, 40, 200, 100);
  new TProbe(form.get(), "a", {10, 10, 60, 60}, log);
  auto* b = new TProbe(form.get(), "b", {40, 10, 90, 60}, log);
  b->SetControlStyle(0);
  Open();
  Move(20, 20);
  Down(20, 20);
  Move(300, 300);
  Up(300, 300);
  Move(70, 20);
  Down(70, 20);
  Move(300, 300);
  Up(300, 300);
  EXPECT_THAT(log, ElementsAre("form move 20,20", "a enter", "a move 10,10",      //
                               "form down 20,20", "a down 10,10",                 //
                               "form move 300,300", "a leave", "a move 290,290",  //
                               "form up 300,300", "a up 290,290",                 //
                               "form move 70,20", "b enter", "b move 30,10",      //
                               "form down 70,20", "b down 30,10",                 //
                               "form move 300,300", "b leave",                    //
                               "form up 300,300"));
}

TEST_F(MouseTest, CursorFollowsTheControlUnderThePointerAndItsParents) {
  a->SetCursor(crHandPoint);
  form->SetCursor(crSizeWE);
  Move(20, 20);
  EXPECT_EQ(window->Cursor(), crHandPoint);
  Move(70, 20);  // b has none: its parent's
  EXPECT_EQ(window->Cursor(), crSizeWE);
  b->SetCursor(crSizeNS);  // changing the cursor under the pointer shows at once
  EXPECT_EQ(window->Cursor(), crSizeNS);
}

// ---------------------------------------------------------------------------

class FocusTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    e1 = new TFocusProbe(form.get(), "e1", {0, 0, 20, 20}, log);
    e2 = new TFocusProbe(form.get(), "e2", {20, 0, 40, 20}, log);
    e3 = new TFocusProbe(form.get(), "e3", {40, 0, 60, 20}, log);
    e3->SetTabStop(false);
    Open();
  }
  void Key(std::uint16_t key, TShiftState mods = 0) { backend->KeyDown(H(), key, mods); }
  TFocusProbe *e1 = nullptr, *e2 = nullptr, *e3 = nullptr;
};

TEST_F(FocusTest, TabAndShiftTabCycleThroughTabStopsInTabOrder) {
  e2->SetTabOrder(0);  // e2, e1, e3
  EXPECT_EQ(e1->TabOrder(), 1);
  backend->Focus(H(), true);  // the window gets the focus: the first tab stop takes it
  EXPECT_TRUE(e2->Focused());
  Key(VK_TAB);
  Key(VK_TAB);  // wraps around, skipping e3 (no tab stop)
  Key(VK_TAB, ssShift);
  e1->SetEnabled(false);
  Key(VK_TAB);  // only e2 can take it: nothing moves
  EXPECT_THAT(
      log, ElementsAre("e2 enter-focus", "e2 exit-focus", "e1 enter-focus", "e1 exit-focus", "e2 enter-focus",
                       "e2 exit-focus", "e1 enter-focus", "e1 exit-focus", "e2 enter-focus"));
  EXPECT_TRUE(e2->Focused());
  EXPECT_TRUE(window->HasFocus());
}

TEST_F(FocusTest, AControlThatWantsTabGetsItAndMayPassItOn) {
  e1->SetFocus();
  e1->WantTab = true;
  e1->EatTab = true;
  log.clear();
  Key(VK_TAB);
  EXPECT_THAT(log, ElementsAre("e1 key 9"));
  EXPECT_TRUE(e1->Focused());
  e1->EatTab = false;  // left unhandled: the window moves on
  Key(VK_TAB, ssShift);
  EXPECT_THAT(log, ElementsAre("e1 key 9", "e1 key 9 shift", "e1 exit-focus", "e2 enter-focus"));
}

TEST_F(FocusTest, KeysAndCharactersGoToTheFocusedControlAfterTheFormsPreview) {
  e2->SetFocus();
  log.clear();
  Key('A', ssShift);
  backend->Char(H(), 'a');
  std::vector<std::string> preview;
  form->SetKeyPreview(true);
  form->OnKeyDown.Bind([&](TObject*, std::uint16_t& key, TShiftState) {
    preview.push_back("form " + std::to_string(key));
    if (key == 'Q') key = 0;  // consumed by the form
  });
  Key('Q');
  Key('W');
  EXPECT_THAT(log, ElementsAre("e2 key 65 shift", "e2 char a", "e2 key 87"));
  EXPECT_THAT(preview, ElementsAre("form 81", "form 87"));
}

TEST_F(FocusTest, AltCharacterIsOfferedToEveryControlAsAnAccelerator) {
  struct TAccel : TControl {
    using TControl::TControl;
    int hits = 0;
    void WndProc(TMessage& m) override {
      if (m.Id == TMessageId::DialogChar && m.Key == 'g' && (m.Shift & ssAlt)) {
        ++hits;
        m.Result = 1;
        return;
      }
      TControl::WndProc(m);
    }
  };
  auto* accel = new TAccel(nullptr);
  accel->SetParent(e3);  // inside a windowed child
  e1->SetFocus();
  log.clear();
  backend->Char(H(), 'g', ssAlt);
  backend->Char(H(), 'h', ssAlt);
  EXPECT_EQ(accel->hits, 1);
  EXPECT_THAT(log, ElementsAre("e1 char h"));
}

TEST_F(FocusTest, FocusMovesOnlyToControlsThatCanTakeIt) {
  e3->SetVisible(false);
  e3->SetFocus();
  EXPECT_FALSE(e3->Focused());
  e1->SetFocus();
  backend->Focus(H(), false);
  backend->Focus(H(), true);
  EXPECT_THAT(log, ElementsAre("e1 enter-focus", "e1 exit-focus", "e1 enter-focus"));
  delete e1;  // the focused control goes: nothing dangles
  EXPECT_EQ(form->FocusedControl(), nullptr);
  Key('X');
}

}  // namespace
}  // namespace wtest

namespace {

// Positions from a damaged form must not push edges or origins out of range.
TEST(ControlBounds, ExtremeValuesAreHeldInRange) {
  framework::TControl control(nullptr);
  control.SetBounds(INT32_MAX, INT32_MIN, INT32_MAX, -5);
  const framework::TRect r = control.BoundsRect();
  EXPECT_GT(r.Right, r.Left);
  EXPECT_EQ(r.Bottom, r.Top);
  EXPECT_LE(r.Right, 1 << 25);
  EXPECT_GE(r.Top, -(1 << 24));
}

}  // namespace
