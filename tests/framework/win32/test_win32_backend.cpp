// The Win32 window system on its own, under Wine: a child window of a host's
// window that hears the host's message loop (nobody calls Update here), input
// as the window layer wants it, pictures the right way up, the capture and the
// framework's timers, windows closed from another thread, and the refusal of
// a handle that is no window.

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "framework/win32/Win32Backend.h"
#include "framework/window/Desktop.h"
#include "framework/window/Timer.h"
#include "tests/windows/WineHost.h"

namespace {

using framework::TWindowEvent;
using K = TWindowEvent::TKind;

// Records what the window layer is told, with the pointer and keyboard
// services' answers during each event.
struct TRecorder : framework::IWindowEvents {
  struct TSeen {
    TWindowEvent event;
    framework::TPoint pointer;
    framework::TShiftState state;
  };
  std::shared_ptr<framework::TWindowSystem> system;
  std::vector<TSeen> seen;
  void HandleWindowEvent(const TWindowEvent& e) override {
    seen.push_back({e, system->CursorPos(), system->KeyboardState()});
  }
  std::vector<TSeen> Of(K kind) const {
    std::vector<TSeen> out;
    for (const TSeen& s : seen)
      if (s.event.Kind == kind) out.push_back(s);
    return out;
  }
};

class Win32Backend : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = framework::MakeWin32Backend();
    recorder.system = backend;
    host = std::make_unique<wintest::THostWindow>(50, 40, 300, 200);
  }
  void TearDown() override {
    window.reset();
    host.reset();
  }
  void Make(const framework::TRect& bounds) {
    window =
        backend->CreateWindow(reinterpret_cast<framework::TWindowHandle>(host->Handle()), bounds, recorder);
    window->Show();
    wintest::Pump(30);
  }
  HWND Hwnd() const { return reinterpret_cast<HWND>(window->Handle()); }

  std::shared_ptr<framework::TWindowSystem> backend;
  std::unique_ptr<wintest::THostWindow> host;
  TRecorder recorder;
  std::unique_ptr<framework::TBackendWindow> window;
};

TEST_F(Win32Backend, AChildOfTheHostThatHearsItsMessageLoop) {
  Make({10, 20, 110, 100});
  ASSERT_NE(Hwnd(), nullptr);
  EXPECT_EQ(GetParent(Hwnd()), host->Handle());
  EXPECT_TRUE((GetWindowLongW(Hwnd(), GWL_STYLE) & WS_CHILD) != 0);
  EXPECT_FALSE(recorder.Of(K::Expose).empty()) << "the first paint is asked for";
  const framework::TPoint origin = window->ClientOrigin();
  const POINT hostOrigin = host->Screen(10, 20);
  EXPECT_EQ(origin.X, hostOrigin.x);
  EXPECT_EQ(origin.Y, hostOrigin.y);

  // Real input: a press and a release.
  recorder.seen.clear();
  ASSERT_TRUE(wintest::MoveTo(host->Screen(30, 40)));
  wintest::Press();
  wintest::Release();
  const auto downs = recorder.Of(K::MouseDown), ups = recorder.Of(K::MouseUp);
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].event.X, 20);
  EXPECT_EQ(downs[0].event.Y, 20);
  EXPECT_EQ(downs[0].event.Shift & framework::ssButtons, framework::ssLeft) << "the state after the press";
  EXPECT_EQ(downs[0].pointer.X, hostOrigin.x + 20) << "CursorPos answers from the event";
  EXPECT_EQ(downs[0].state & framework::ssLeft, framework::ssLeft);
  ASSERT_EQ(ups.size(), 1u);
  EXPECT_EQ(ups[0].event.Shift & framework::ssButtons, 0u) << "the state after the release";
}

TEST_F(Win32Backend, TheCaptureHoldsWhileAButtonIsDownAndNotBeyond) {
  Make({0, 0, 100, 100});
  // A window-layer handler takes the capture when the press comes.
  struct TCapturing : framework::IWindowEvents {
    framework::TBackendWindow* window = nullptr;
    std::vector<TWindowEvent> seen;
    void HandleWindowEvent(const TWindowEvent& e) override {
      seen.push_back(e);
      if (e.Kind == K::MouseDown) window->SetMouseCapture(true);
    }
  } capturing;
  window = backend->CreateWindow(reinterpret_cast<framework::TWindowHandle>(host->Handle()), {0, 0, 100, 100},
                                 capturing);
  capturing.window = window.get();
  window->Show();
  wintest::Pump(30);
  ASSERT_TRUE(wintest::MoveTo(host->Screen(50, 50)));
  wintest::Press();
  EXPECT_EQ(GetCapture(), Hwnd());
  ASSERT_TRUE(wintest::MoveTo(host->Screen(250, 180)));  // outside the window, held
  wintest::Release();
  EXPECT_EQ(GetCapture(), nullptr) << "released with the last button";
  bool movedOutside = false, releasedOutside = false;
  for (const TWindowEvent& e : capturing.seen) {
    movedOutside = movedOutside || (e.Kind == K::MouseMove && e.X == 250 && e.Y == 180);
    releasedOutside = releasedOutside || (e.Kind == K::MouseUp && e.X == 250);
  }
  EXPECT_TRUE(movedOutside);
  EXPECT_TRUE(releasedOutside);
}

TEST_F(Win32Backend, KeysGoToTheWindowOnlyOnceItWasClickedInto) {
  // A window-layer handler asks for the focus on a press, as controls do.
  struct TFocusing : TRecorder {
    framework::TBackendWindow* window = nullptr;
    void HandleWindowEvent(const TWindowEvent& e) override {
      TRecorder::HandleWindowEvent(e);
      if (e.Kind == K::MouseDown) window->SetFocus();
    }
  } focusing;
  focusing.system = backend;
  window = backend->CreateWindow(reinterpret_cast<framework::TWindowHandle>(host->Handle()), {0, 0, 100, 100},
                                 focusing);
  focusing.window = window.get();
  window->Show();
  wintest::Pump(30);
  const auto type = [](WORD key) {
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
    wintest::Pump(30);
  };
  window->SetFocus();  // not during a press: the host keeps the keyboard
  type('A');
  EXPECT_TRUE(focusing.Of(K::KeyDown).empty());
  ASSERT_TRUE(wintest::MoveTo(host->Screen(40, 40)));
  wintest::Press();
  wintest::Release();
  EXPECT_EQ(GetFocus(), Hwnd());
  EXPECT_EQ(focusing.Of(K::FocusIn).size(), 1u);
  type('A');
  type(VK_LEFT);
  const auto downs = focusing.Of(K::KeyDown), chars = focusing.Of(K::Char), ups = focusing.Of(K::KeyUp);
  ASSERT_EQ(downs.size(), 2u);
  EXPECT_EQ(downs[0].event.Key, 'A');
  EXPECT_EQ(downs[1].event.Key, VK_LEFT);  // the framework's code is Windows' own
  ASSERT_EQ(chars.size(), 1u) << "an arrow is no character";
  EXPECT_EQ(chars[0].event.Key, 'a');
  EXPECT_EQ(ups.size(), 2u);
}

TEST_F(Win32Backend, PicturesGoUpTheRightWayAndOnlyWhereAsked) {
  Make({0, 0, 64, 32});
  // A bottom-up picture: its first stored row is the bottom one (blue), the
  // rest red.
  std::vector<std::uint32_t> bits(64 * 32, 0xFFFF0000u);
  for (int x = 0; x < 64; ++x) bits[x] = 0xFF0000FFu;
  window->Present(reinterpret_cast<const std::uint8_t*>(bits.data()), 64, 32, {0, 0, 64, 32}, {0, 0});
  wintest::Pump(20);
  wintest::TPicture shown = wintest::Capture(Hwnd());
  ASSERT_EQ(shown.Width, 64);
  EXPECT_EQ(shown.At(5, 31), 0x0000FFu) << "bottom row";
  EXPECT_EQ(shown.At(5, 0), 0xFF0000u) << "top row";
  // Only a rectangle of a green picture: the rest stays.
  std::vector<std::uint32_t> green(64 * 32, 0xFF00FF00u);
  window->Present(reinterpret_cast<const std::uint8_t*>(green.data()), 64, 32, {10, 4, 20, 8}, {10, 4});
  wintest::Pump(20);
  shown = wintest::Capture(Hwnd());
  EXPECT_EQ(shown.At(10, 4), 0x00FF00u);
  EXPECT_EQ(shown.At(19, 7), 0x00FF00u);
  EXPECT_EQ(shown.At(20, 7), 0xFF0000u);
  EXPECT_EQ(shown.At(10, 8), 0xFF0000u);
}

TEST_F(Win32Backend, FrameworkTimersRunFromTheMessageLoopAlone) {
  Make({0, 0, 50, 50});
  framework::TTimer timer(nullptr);
  timer.SetWindowSystem(backend);
  int fired = 0;
  timer.OnTimer.Bind([&](framework::TObject*) { ++fired; });
  timer.SetInterval(50);
  timer.SetEnabled(true);
  wintest::Pump(520);
  // About ten periods; a loaded machine may lose one or two, never run fast.
  EXPECT_GE(fired, 6);
  EXPECT_LE(fired, 11);
  timer.SetEnabled(false);
  const int stopped = fired;
  wintest::Pump(150);
  EXPECT_EQ(fired, stopped);
}

// A window let go of on another thread while its own thread takes messages
// is destroyed by that thread before the call returns.
TEST_F(Win32Backend, ClosedFromAnotherThreadItsOwnThreadDestroysIt) {
  Make({0, 0, 50, 50});
  const HWND hwnd = Hwnd();
  bool goneAtReturn = false;
  std::thread other([&] {
    window.reset();
    goneAtReturn = !IsWindow(hwnd);
  });
  wintest::PumpUntil([&] { return !IsWindow(hwnd); }, 2000);
  other.join();
  EXPECT_TRUE(goneAtReturn);
}

// The same while its own thread waits for the closing one (a host that
// joins its worker): nothing waits for the other, the window is left to the
// system's own procedure with no timer of ours, and its thread closes it at
// its next messages. Another thread's hide does not wait either.
TEST_F(Win32Backend, ClosedFromAnotherThreadThatIsWaitedForItIsLeftInert) {
  Make({0, 0, 50, 50});
  framework::TTimer timer(nullptr);
  timer.SetWindowSystem(backend);
  int fired = 0;
  timer.OnTimer.Bind([&](framework::TObject*) { ++fired; });
  timer.SetInterval(20);
  wintest::Pump(60);
  ASSERT_GT(fired, 0);
  const HWND hwnd = Hwnd();
  std::thread([&] {
    window->Hide();
    window.reset();
  }).join();
  ASSERT_TRUE(IsWindow(hwnd)) << "its thread took no message yet";
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  const int before = fired;
  wintest::Pump(100);
  EXPECT_FALSE(IsWindow(hwnd)) << "closed at its thread's next messages";
  EXPECT_EQ(fired, before) << "no timer of a window that went";
}

TEST(Win32BackendChoice, EachRealWindowGetsASystemOfItsOwnAndOtherHandlesAreRefused) {
  EXPECT_THROW(framework::DesktopWindowSystemFor(0x1234), framework::EWindowError);
  EXPECT_THROW(framework::DesktopWindowSystemFor(0), framework::EWindowError);
  wintest::THostWindow host(0, 0, 10, 10);
  const auto handle = reinterpret_cast<framework::TWindowHandle>(host.Handle());
  const auto first = framework::DesktopWindowSystemFor(handle);
  EXPECT_TRUE(framework::IsWin32Backend(*first));
  EXPECT_NE(framework::DesktopWindowSystemFor(handle), first);
  EXPECT_EQ(first->FileDescriptor(), -1) << "the message loop drives it";
}

}  // namespace
