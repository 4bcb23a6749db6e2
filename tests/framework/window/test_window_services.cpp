// Painting and presenting, timers, the window system's loop, the pointer, the
// shell, and windows read from a stored form.

#include <gmock/gmock.h>

#include <chrono>
#include <future>
#include <thread>

#include "framework/core/FormStream.h"
#include "framework/core/TextForm.h"
#include "framework/window/Shell.h"
#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "tests/framework/window/WindowFixture.h"

namespace wtest {
namespace {

using ::testing::ElementsAre;

constexpr std::uint32_t kBlue = 0xFF0000FF;  // the form's colour as a pixel

TEST_F(WindowTest, PaintingPresentsTheFormAndItsControlsAndRepaintsOnlyWhatChanged) {
  auto* red = new TProbe(form.get(), "red", {10, 10, 30, 30}, log, 0xFF0000);
  auto* green = new TProbe(form.get(), "green", {20, 20, 40, 40}, log, 0x00FF00);
  Open();
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(window->ParentHandle(), 0x77u);
  EXPECT_EQ(window->Bounds(), (TRect{30, 40, 230, 140}));
  EXPECT_EQ(window->PixelAt(0, 0), kBlue);
  EXPECT_EQ(window->PixelAt(199, 99), kBlue);
  EXPECT_EQ(window->PixelAt(15, 15), 0xFFFF0000u);
  EXPECT_EQ(window->PixelAt(25, 25), 0xFF00FF00u);  // the later control lies on top
  EXPECT_EQ(window->PixelAt(35, 15), kBlue);

  window->ClearPresented();
  red->Invalidate();
  EXPECT_TRUE(window->Presented().empty());  // paints wait for the pump...
  red->Update();                             // ...or run at once
  EXPECT_THAT(window->Presented(), ElementsAre(TRect{10, 10, 30, 30}));
  EXPECT_EQ(window->PixelAt(25, 25), 0xFF00FF00u);

  window->ClearPresented();
  green->SetLeft(150);  // a move repaints the old and the new place
  backend->Update();
  EXPECT_THAT(window->Presented(), ElementsAre(TRect{20, 20, 170, 40}));
  EXPECT_EQ(window->PixelAt(35, 35), kBlue);
  EXPECT_EQ(window->PixelAt(155, 25), 0xFF00FF00u);

  window->ClearPresented();
  green->SetVisible(false);
  backend->Update();
  EXPECT_EQ(window->PixelAt(155, 25), kBlue);
  backend->Update();
  EXPECT_EQ(window->Presented().size(), 1u);  // nothing pending, nothing presented

  form->Hide();
  EXPECT_FALSE(window->Visible());
  form->Show();
  EXPECT_TRUE(window->Visible());
}

TEST_F(WindowTest, AWindowedChildPresentsItsOwnPictureAndTheParentLeavesItsAreaAlone) {
  struct TSquare : TCustomControl {
    using TCustomControl::TCustomControl;
    int paints = 0;
    void Paint() override {
      ++paints;
      Canvas().BrushColor = clRed;
      Canvas().FillRect({0, 0, 5, 5});
    }
  };
  auto* child = new TSquare(nullptr);
  child->SetBounds(100, 50, 20, 10);
  child->SetColor(clLime);
  child->SetParent(form.get());
  Open();
  EXPECT_EQ(window->PixelAt(102, 52), 0xFFFF0000u);
  EXPECT_EQ(window->PixelAt(110, 55), 0xFF00FF00u);
  const int paints = child->paints;
  window->ClearPresented();
  form->Repaint();  // the form alone: around the child
  EXPECT_EQ(child->paints, paints);
  EXPECT_EQ(window->PixelAt(110, 55), 0xFF00FF00u);
  for (const TRect& r : window->Presented())
    EXPECT_TRUE(r.Right <= 100 || r.Left >= 120 || r.Bottom <= 50 || r.Top >= 60);
  backend->Expose(H(), {0, 0, 200, 100});  // the desktop lost the pixels
  EXPECT_EQ(child->paints, paints + 1);
}

// A windowed child taller than the form (the editor's container) paints only
// what shows; what comes into view later, by a move or a larger form, is
// painted then. A form its windowed children cover paints nothing itself.
TEST_F(WindowTest, WhatTheParentsHideIsPaintedOnlyOnceItShows) {
  auto* tall = new TCustomControl(nullptr);
  tall->SetBounds(0, 0, 200, 300);
  tall->SetParent(form.get());
  TProbe inside(tall, "inside", {10, 10, 30, 30}, log, 0x00FF00);
  TProbe below(tall, "below", {10, 150, 30, 170}, log, 0xFF0000);
  TProbe covered(form.get(), "covered", {50, 50, 60, 60}, log, 0x0000FF);
  Open();
  EXPECT_EQ(window->PixelAt(15, 15), Opaque(0x00FF00));
  EXPECT_EQ(below.paints, 0);
  EXPECT_EQ(covered.paints, 0);

  below.SetTop(50);
  backend->Update();
  EXPECT_EQ(below.paints, 1);
  EXPECT_EQ(window->PixelAt(15, 55), Opaque(0xFF0000));

  below.SetTop(150);
  backend->Update();
  const int paints = below.paints;
  form->SetBounds(30, 40, 200, 200);
  backend->Update();
  EXPECT_EQ(below.paints, paints + 1);
  EXPECT_EQ(window->PixelAt(15, 155), Opaque(0xFF0000));
  EXPECT_EQ(covered.paints, 0);
}

TEST_F(WindowTest, LabelDrawsItsCaptionWithItsFontInsideItsBoundsOnly) {
  auto* label = new TLabel(nullptr);
  label->SetParent(form.get());
  label->SetAutoSize(false);
  label->SetBounds(10, 10, 80, 20);
  label->SetTransparent(true);
  label->Font().SetColor(clWhite);
  label->Font().SetHeight(-16);
  label->SetCaption("WWWWWWWWWWWWWWWW");  // far wider than the label
  Open();
  int white = 0, other = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) {
      const std::uint32_t p = window->PixelAt(x, y);
      const bool inside = x >= 10 && x < 90 && y >= 10 && y < 30;
      if (!inside) {
        ASSERT_EQ(p, kBlue) << x << "," << y;
      } else if (p == 0xFFFFFFFFu) {
        ++white;
      } else if (p != kBlue) {
        ++other;  // anti-aliased edges
      }
    }
  EXPECT_GT(white, 40);
  EXPECT_GT(other + white, 80);

  // Opaque: the label's colour fills its rectangle; auto-size fits the text.
  label->SetTransparent(false);
  label->SetColor(clBlack);
  label->SetCaption("Hi");
  label->SetAutoSize(true);
  EXPECT_GT(label->Width(), 5);
  EXPECT_LT(label->Width(), 60);
  EXPECT_GT(label->Height(), 10);
  backend->Update();
  EXPECT_EQ(window->PixelAt(10 + label->Width() - 1, 10), 0xFF000000u);
  EXPECT_EQ(window->PixelAt(10 + label->Width(), 10), kBlue);
}

TEST_F(WindowTest, TimerFiresEveryIntervalOfTheVirtualClock) {
  TTimer timer(form.get());
  EXPECT_TRUE(timer.Running());  // enabled, 1000 ms by default
  int ticks = 0;
  timer.OnTimer.Bind([&](TObject* sender) {
    EXPECT_EQ(sender, &timer);
    ++ticks;
  });
  timer.SetInterval(50);
  backend->AdvanceTime(49);
  EXPECT_EQ(ticks, 0);
  backend->AdvanceTime(1);
  EXPECT_EQ(ticks, 1);
  backend->AdvanceTime(200);  // one step: still one tick per 50 ms
  EXPECT_EQ(ticks, 5);
  for (int i = 0; i < 10; ++i) backend->AdvanceTime(7);
  EXPECT_EQ(ticks, 6);  // 70 ms after 250: one more at 300
  timer.SetEnabled(false);
  backend->AdvanceTime(500);
  EXPECT_EQ(ticks, 6);
  timer.SetEnabled(true);  // restarts the period
  backend->AdvanceTime(49);
  EXPECT_EQ(ticks, 6);
  backend->AdvanceTime(1);
  EXPECT_EQ(ticks, 7);
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Running());
}

TEST_F(WindowTest, APumpInsideATimerHandlerFiresNoTimerTwice) {
  TTimer first(form.get()), second(form.get());
  first.SetInterval(50);
  second.SetInterval(50);
  int firstTicks = 0, secondTicks = 0;
  first.OnTimer.Bind([&](TObject*) {
    ++firstTicks;
    backend->Update();  // a handler that lets the window breathe
  });
  second.OnTimer.Bind([&](TObject*) { ++secondTicks; });
  backend->AdvanceTime(50);
  EXPECT_EQ(firstTicks, 1);
  EXPECT_EQ(secondTicks, 1);
}

// Each editor lives on the thread that calls its opcodes; one thread's update
// must never run another thread's timers.
TEST_F(WindowTest, TimersFireOnlyOnTheThreadThatStartedThem) {
  int mainTicks = 0, otherTicks = 0;
  TTimer mine(form.get());
  mine.SetInterval(50);
  mine.OnTimer.Bind([&](TObject*) { ++mainTicks; });
  std::promise<void> started, advanced;
  std::thread other([&] {
    TTimer theirs(nullptr);
    theirs.SetWindowSystem(backend);
    theirs.SetInterval(50);
    theirs.OnTimer.Bind([&](TObject*) { ++otherTicks; });
    started.set_value();
    advanced.get_future().wait();
    EXPECT_EQ(otherTicks, 0);
    backend->Update();  // the clock stands at 100: due once
    backend->Update();
  });
  started.get_future().wait();
  backend->AdvanceTime(100);
  EXPECT_EQ(mainTicks, 2);
  advanced.set_value();
  other.join();
  EXPECT_EQ(otherTicks, 1);
  EXPECT_EQ(mainTicks, 2);
}

// A timer runs in the window system of the window its owners live in: it
// waits while that window has none, starts when it gets one, and moves with
// the window to another.
TEST_F(WindowTest, TimersRunInTheSystemOfTheirWindow) {
  TForm other;
  other.SetBounds(0, 0, 50, 50);
  auto* child = new TCustomControl(&other);
  child->SetParent(&other);
  TTimer timer(child);
  timer.SetInterval(50);
  int ticks = 0;
  timer.OnTimer.Bind([&](TObject*) { ++ticks; });
  EXPECT_FALSE(timer.Running()) << "no window system yet";
  EXPECT_THROW(other.Show(), EInvalidOperation) << "no window without a window system";

  auto first = std::make_shared<THeadlessBackend>(), second = std::make_shared<THeadlessBackend>();
  other.SetWindowSystem(first);
  EXPECT_TRUE(timer.Running());
  first->AdvanceTime(100);
  EXPECT_EQ(ticks, 2);
  backend->AdvanceTime(100);
  EXPECT_EQ(ticks, 2) << "another system's clock is not this timer's";

  other.SetParentWindow(0x55);
  ASSERT_NE(first->Window(other.Handle()), nullptr);
  other.SetWindowSystem(second);
  EXPECT_TRUE(first->Windows().empty()) << "the window of the old system went";
  EXPECT_FALSE(other.HandleAllocated());
  first->AdvanceTime(100);
  EXPECT_EQ(ticks, 2);
  second->AdvanceTime(50);
  EXPECT_EQ(ticks, 3);
  other.HandleNeeded();
  EXPECT_NE(second->Window(other.Handle()), nullptr);
}

// What a host's run loop waits for: the next timer, or at once when input or
// paints are waiting; nothing when neither. The headless system has no
// descriptor to watch.
TEST_F(WindowTest, NextDueIsTheNextTimerOrNowWhenSomethingWaits) {
  EXPECT_EQ(backend->FileDescriptor(), -1);
  EXPECT_EQ(backend->NextDue(), std::nullopt);
  auto* probe = new TProbe(form.get(), "p", {0, 0, 10, 10}, log);
  Open();
  EXPECT_EQ(backend->NextDue(), std::nullopt) << "painted, nothing scheduled";
  TTimer timer(form.get());
  timer.SetInterval(50);
  backend->AdvanceTime(20);
  EXPECT_EQ(backend->NextDue(), std::optional<std::uint64_t>(50));
  probe->Invalidate();
  EXPECT_EQ(backend->NextDue(), std::optional<std::uint64_t>(20)) << "a paint waits: now";
  backend->Update();
  EXPECT_EQ(backend->NextDue(), std::optional<std::uint64_t>(50));
  TWindowEvent move;
  move.X = 3;
  move.Y = 4;
  backend->Post(H(), move);
  EXPECT_EQ(backend->NextDue(), std::optional<std::uint64_t>(20)) << "input waits: now";
  backend->Update();
  EXPECT_EQ(log.back(), "p move 3,4");
  EXPECT_EQ(backend->NextDue(), std::optional<std::uint64_t>(50));
}

TEST_F(WindowTest, HandlerExceptionsReachTheExceptionHandlerAndNeverThePump) {
  std::vector<std::string> caught;
  SetExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      caught.push_back(x.what());
    }
  });
  TTimer timer(form.get());
  timer.SetInterval(50);
  timer.OnTimer.Bind([](TObject*) { throw EInvalidOperation("tick failed"); });
  auto* probe = new TProbe(form.get(), "p", {0, 0, 10, 10}, log);
  probe->OnClick.Bind([](TObject*) { throw EInvalidOperation("click failed"); });
  Open();
  EXPECT_NO_THROW(backend->AdvanceTime(100));
  EXPECT_NO_THROW(backend->ClickAt(H(), 5, 5));
  EXPECT_THAT(caught, ElementsAre("tick failed", "tick failed", "click failed"));
  EXPECT_TRUE(timer.Running());
  EXPECT_EQ(form->CaptureControl(), nullptr);  // the failed release still ended the capture
}

TEST_F(WindowTest, PointerHideShowAndWarpAreRecordedInScreenCoordinates) {
  Open();
  Move(5, 6);
  EXPECT_EQ(backend->CursorPos(), (TPoint{35, 46}));  // the window sits at (30, 40)
  auto* probe = new TProbe(form.get(), "p", {10, 10, 20, 20}, log);
  EXPECT_EQ(probe->ClientToScreen({1, 2}), (TPoint{41, 52}));
  EXPECT_EQ(probe->ScreenToClient({41, 52}), (TPoint{1, 2}));
  EXPECT_EQ(probe->WindowSystem(), backend.get());

  EXPECT_EQ(backend->ShowCursor(false), -1);
  EXPECT_FALSE(backend->PointerVisible());
  EXPECT_EQ(backend->ShowCursor(false), -2);
  EXPECT_EQ(backend->ShowCursor(true), -1);
  EXPECT_FALSE(backend->PointerVisible());  // hides nest
  backend->SetCursorPos({100, 200});
  EXPECT_EQ(backend->CursorPos(), (TPoint{100, 200}));
  EXPECT_EQ(backend->ShowCursor(true), 0);
  EXPECT_TRUE(backend->PointerVisible());
  EXPECT_THAT(backend->Warps(), ElementsAre(TPoint{100, 200}));
}

// Two window systems in one process (two editors): each has its own windows,
// clock, timers and pointer; one going leaves the other as it was.
TEST_F(WindowTest, TwoWindowSystemsKeepToThemselves) {
  auto* probe = new TProbe(form.get(), "p", {0, 0, 10, 10}, log);
  Open();
  TTimer timer(form.get());
  timer.SetInterval(50);
  int ticks = 0, otherTicks = 0;
  timer.OnTimer.Bind([&](TObject*) { ++ticks; });
  auto second = std::make_shared<THeadlessBackend>();
  auto other = std::make_unique<TForm>();
  other->SetWindowSystem(second);
  other->SetBounds(0, 0, 40, 40);
  other->SetParentWindow(0x78);
  other->Show();
  auto* otherTimer = new TTimer(other.get());
  otherTimer->SetInterval(50);
  otherTimer->OnTimer.Bind([&](TObject*) { ++otherTicks; });

  second->AdvanceTime(100);
  EXPECT_EQ(otherTicks, 2);
  EXPECT_EQ(ticks, 0);
  second->ShowCursor(false);
  EXPECT_TRUE(backend->PointerVisible());
  EXPECT_EQ(second->Windows().size(), 1u);
  EXPECT_EQ(backend->Windows().size(), 1u);
  second->ClickAt(other->Handle(), 5, 5);
  EXPECT_TRUE(log.empty()) << "a click in the other system's window is none of this one's";

  other.reset();
  second.reset();
  backend->AdvanceTime(50);
  EXPECT_EQ(ticks, 1);
  backend->ClickAt(H(), 5, 5);
  EXPECT_THAT(log, ElementsAre("p enter", "p move 5,5", "p down 5,5", "p click", "p up 5,5"));
  static_cast<void>(probe);
}

TEST_F(WindowTest, ShellRequestsAreRecordedNotPerformed) {
  EXPECT_TRUE(backend->ShellOpen("https://example.org/plonk"));
  EXPECT_FALSE(backend->ShellOpen(""));
  EXPECT_FALSE(backend->ShellOpen("--help"));  // the opener would take it as an option
  EXPECT_THAT(backend->OpenedUrls(), ElementsAre("https://example.org/plonk"));
}

TEST(ShellTest, SpawnedProgramsAreReapedWithoutWaiting) {
  EXPECT_FALSE(SpawnDetached({}));
  EXPECT_FALSE(SpawnDetached({"plonkrift-no-such-program-here"}));
  const std::size_t before = PendingChildren();
  ASSERT_TRUE(SpawnDetached({"sleep", "1"}));
  EXPECT_EQ(PendingChildren(), before + 1);  // still running: not waited for
  for (int i = 0; i < 1000 && PendingChildren() > before; ++i) {
    ReapChildren();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(PendingChildren(), before);
  EXPECT_FALSE(OpenUrlWithDesktop("-x"));
}

// ---------------------------------------------------------------------------

class TTestWindow : public TForm {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TTestWindow(TComponent* owner = nullptr) : TForm(owner) {}
  void FormCreate(TObject*) { calls.push_back("create"); }
  void CellDown(TObject* s, TMouseButton, TShiftState, int x, int y) {
    calls.push_back(dynamic_cast<TComponent*>(s)->Name() + " down " + std::to_string(x) + "," +
                    std::to_string(y));
  }
  void Tick(TObject*) { calls.push_back("tick"); }
  std::vector<std::string> calls;
};

const ClassInfo& TTestWindow::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TTestWindow, TForm>("TTestWindow")
                                     .Method("FormCreate", &TTestWindow::FormCreate)
                                     .Method("CellDown", &TTestWindow::CellDown)
                                     .Method("Tick", &TTestWindow::Tick)
                                     .Build();
  return info;
}

constexpr const char* kForm = R"(TTestWindow TestWindow {
  Left = 248
  Top = 152
  Color = 16760831
  Visible = True
  BorderIcons = []
  BorderStyle = bsNone
  Caption = "Plonk"
  ClientHeight = 60
  ClientWidth = 120
  Font.Color = clWhite
  Font.Height = -5
  Font.Name = "MS Sans Serif"
  Scaled = False
  OnCreate = FormCreate
  TTimer Timer1 {
    Interval = 50
    OnTimer = Tick
  }
  TCustomControl panel {
    Left = 0
    Top = 0
    Width = 120
    Height = 60
    Color = clBlack
    TabOrder = 0
    TControl cell1 {
      Left = 10
      Top = 20
      Width = 30
      Height = 20
      Anchors = [akLeft, akBottom]
      Cursor = crHandPoint
      OnMouseDown = CellDown
    }
    TLabel version {
      Left = 50
      Top = 30
      Width = 40
      Height = 12
      AutoSize = False
      Caption = "Version 2.0"
      Font.Color = clWhite
      Font.Height = -16
      Font.Name = "MS Sans Serif"
      ParentFont = False
      Transparent = True
    }
  }
}
)";

TEST_F(WindowTest, AWindowReadFromAStoredFormWorksAndWritesBackTheSameBytes) {
  RegisterWindowClasses();
  RegisterClass(TTestWindow::StaticClassInfo());
  const std::vector<std::uint8_t> bytes = TextFormToBinary(kForm);
  TTestWindow w;
  ReadForm(bytes, w);
  w.DoCreate();
  w.SetWindowSystem(backend);
  EXPECT_EQ(WriteForm(w), bytes);

  auto* panel = dynamic_cast<TCustomControl*>(w.FindComponent("panel"));
  auto* cell = dynamic_cast<TControl*>(w.FindComponent("CELL1"));
  ASSERT_TRUE(panel && cell);
  EXPECT_EQ(panel->Parent(), &w);
  EXPECT_EQ(cell->Parent(), panel);
  EXPECT_EQ(cell->Cursor(), crHandPoint);
  EXPECT_EQ(cell->Anchors(), akLeft | akBottom);
  EXPECT_EQ(w.ClientWidth(), 120);
  EXPECT_EQ(w.BorderStyle(), bsNone);
  EXPECT_EQ(w.Font().Size(), 4);

  // Opened as the editor's window is: inside a host's window, at (0, 0).
  w.SetParentWindow(0x99);
  w.SetBounds(0, 0, w.Width(), w.Height());
  w.Show();
  backend->Update();
  THeadlessWindow* win = backend->Window(w.Handle());
  ASSERT_NE(win, nullptr);
  EXPECT_TRUE(win->Visible());  // stored Visible shows it as soon as it has a window
  EXPECT_EQ(win->Bounds(), (TRect{0, 0, 120, 60}));
  EXPECT_EQ(win->PixelAt(5, 5), 0xFF000000u);  // the panel covers the form
  bool text = false;
  for (int y = 30; y < 42; ++y)
    for (int x = 50; x < 90; ++x) text = text || win->PixelAt(x, y) == 0xFFFFFFFFu;
  EXPECT_TRUE(text);
  backend->ClickAt(w.Handle(), 12, 25);
  backend->AdvanceTime(100);
  EXPECT_EQ(win->Cursor(), crHandPoint);
  EXPECT_THAT(w.calls, ElementsAre("create", "cell1 down 2,5", "tick", "tick"));
}

}  // namespace
}  // namespace wtest
