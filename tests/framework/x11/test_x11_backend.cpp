// The X11 backend against a private Xvfb server: a test client makes the
// host's parent windows, plays the user with XTest and reads the screen back.

#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/window/Controls.h"
#include "framework/window/Desktop.h"
#include "framework/window/Shell.h"
#include "framework/window/Timer.h"
#include "framework/x11/X11Backend.h"
#include "tests/framework/x11/XResProbe.h"
#include "tests/framework/x11/XvfbServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

// X.h's event type macros collide with the window layer's event kinds.
#undef Expose
#undef FocusIn
#undef FocusOut

// When the server goes away, Xlib unlocks a display twice on its way out of
// its lost-connection path (harmless with glibc's mutexes, but reported by
// ThreadSanitizer). Only mutex misuse inside libX11 is hidden, no data race.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  return "mutex:libX11.so\n";
}

namespace framework {
namespace {

using plonktest::ClientResources;
using plonktest::ServerClients;
using plonktest::TXvfbServer;
using K = TWindowEvent::TKind;

struct TRecorder : IWindowEvents {
  std::vector<TWindowEvent> events;
  std::function<void(const TWindowEvent&)> hook;
  void HandleWindowEvent(const TWindowEvent& e) override {
    events.push_back(e);
    if (hook) hook(e);
  }
  std::vector<TWindowEvent> Of(K kind) const {
    std::vector<TWindowEvent> out;
    for (const auto& e : events)
      if (e.Kind == kind) out.push_back(e);
    return out;
  }
  std::vector<TWindowEvent> Mouse() const {
    std::vector<TWindowEvent> out;
    for (const auto& e : events)
      if (e.Kind == K::MouseMove || e.Kind == K::MouseDown || e.Kind == K::MouseUp) out.push_back(e);
    return out;
  }
};

int gHostErrors = 0;
int HostErrorHandler(Display*, XErrorEvent*) {
  ++gHostErrors;
  return 0;
}

int OpenFileDescriptors() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++n;
    closedir(dir);
  }
  return n;
}

// A picture of w x h in the backend's format (BGRA, bottom-up) whose top-left
// quadrant is red, top-right green, bottom-left blue, bottom-right white.
std::vector<std::uint32_t> Quadrants(int w, int h) {
  std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool right = x >= w / 2, bottom = y >= h / 2;
      const std::uint32_t c =
          !bottom ? (!right ? 0xFFFF0000u : 0xFF00FF00u) : (!right ? 0xFF0000FFu : 0xFFFFFFFFu);
      px[static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] = c;
    }
  return px;
}

class X11Test : public ::testing::Test {
 protected:
  void StartServer(int depth, const std::vector<std::string>& without = {}) {
    if (!TXvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed; the X11 backend tests need it";
    server_ = std::make_unique<TXvfbServer>(depth, without);
    ASSERT_FALSE(server_->Name().empty()) << "Xvfb did not start";
    x_ = XOpenDisplay(server_->Name().c_str());
    ASSERT_NE(x_, nullptr);
    int a, b, c, d;
    ASSERT_TRUE(XTestQueryExtension(x_, &a, &b, &c, &d));
    gHostErrors = 0;
    XSetErrorHandler(&HostErrorHandler);
    backend_ = MakeX11Backend(server_->Name());
  }
  void SetUp() override { StartServer(24); }
  void TearDown() override {
    windows_.clear();
    backend_.reset();
    if (x_) {
      XSetErrorHandler(nullptr);
      XCloseDisplay(x_);
    }
  }

  // A mapped top-level window of the "host" at (x, y).
  Window HostWindow(int x, int y, int w, int h) {
    const Window win = XCreateSimpleWindow(x_, DefaultRootWindow(x_), x, y, static_cast<unsigned>(w),
                                           static_cast<unsigned>(h), 0, 0, 0x808080);
    XMapWindow(x_, win);
    XSync(x_, False);
    return win;
  }

  // A backend window made and shown as the window layer does; it lives until
  // the test ends.
  TBackendWindow& Shown(Window parent, const TRect& bounds, TRecorder& recorder) {
    windows_.push_back(backend_->CreateWindow(parent, bounds, recorder));
    windows_.back()->Show();
    return *windows_.back();
  }
  // Lets the backend read everything the server did up to now.
  void Pump() {
    XSync(x_, False);
    backend_->Update();
  }
  void MoveTo(int x, int y) { XTestFakeMotionEvent(x_, 0, x, y, CurrentTime); }
  void MoveBy(int dx, int dy) { XTestFakeRelativeMotionEvent(x_, dx, dy, CurrentTime); }
  void Button(unsigned b, bool press) { XTestFakeButtonEvent(x_, b, press ? True : False, CurrentTime); }
  void Key(KeySym sym, bool press) {
    XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, sym), press ? True : False, CurrentTime);
  }
  TPoint Pointer() {
    Window r, c;
    int rx = 0, ry = 0, wx, wy;
    unsigned m;
    XQueryPointer(x_, DefaultRootWindow(x_), &r, &c, &rx, &ry, &wx, &wy, &m);
    return {rx, ry};
  }
  // The colour on screen at a window's pixel, as 0xRRGGBB.
  std::uint32_t ColourAt(Window w, int x, int y) {
    XImage* image = XGetImage(x_, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xDEADBEEF;
    XColor colour{};
    colour.pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    XQueryColor(x_, DefaultColormap(x_, DefaultScreen(x_)), &colour);
    return (static_cast<std::uint32_t>(colour.red >> 8) << 16) |
           (static_cast<std::uint32_t>(colour.green >> 8) << 8) |
           static_cast<std::uint32_t>(colour.blue >> 8);
  }
  // The pointer's shape now: whether it shows any pixel, and its pixels.
  std::vector<unsigned long> CursorPixels() {
    std::vector<unsigned long> px;
    if (XFixesCursorImage* img = XFixesGetCursorImage(x_)) {
      px.assign(img->pixels, img->pixels + static_cast<std::size_t>(img->width) * img->height);
      XFree(img);
    }
    return px;
  }
  static bool Invisible(const std::vector<unsigned long>& px) {
    return !px.empty() && std::all_of(px.begin(), px.end(), [](unsigned long p) { return (p >> 24) == 0; });
  }
  std::vector<Window> Children(Window w) {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    std::vector<Window> out;
    if (XQueryTree(x_, w, &root, &parent, &children, &n)) {
      out.assign(children, children + n);
      if (children) XFree(children);
    }
    return out;
  }
  Window ParentOf(Window w) {
    Window root, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(x_, w, &root, &parent, &children, &n) && children) XFree(children);
    return parent;
  }

  std::unique_ptr<TXvfbServer> server_;
  Display* x_ = nullptr;
  std::shared_ptr<TWindowSystem> backend_;
  std::vector<std::unique_ptr<TBackendWindow>> windows_;
};

// --- pictures -----------------------------------------------------------------

// A screen depth, and whether the server shares memory with its local
// clients (MIT-SHM) or takes pictures over the socket only (a remote display).
struct TServerKind {
  int depth;
  bool sharedMemory;
};

class X11PresentTest : public X11Test, public ::testing::WithParamInterface<TServerKind> {
 protected:
  void SetUp() override {
    StartServer(GetParam().depth,
                GetParam().sharedMemory ? std::vector<std::string>{} : std::vector<std::string>{"MIT-SHM"});
  }
};

TEST_P(X11PresentTest, PresentedPictureIsUprightInTheHostsWindow) {
  const int depth = GetParam().depth;
  const Window host = HostWindow(0, 0, 200, 150);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{10, 20, 74, 68}, rec);
  const Window win = static_cast<Window>(w.Handle());
  EXPECT_EQ(ParentOf(win), host);

  const auto picture = Quadrants(64, 48);
  const auto* bits = reinterpret_cast<const std::uint8_t*>(picture.data());
  w.Present(bits, 64, 48, {0, 0, 64, 48}, {0, 0});
  // A part of the picture (its red corner) over the white quadrant, and a
  // source hanging over every edge, which is clipped.
  w.Present(bits, 64, 48, {0, 0, 8, 8}, {56, 40});
  w.Present(bits, 64, 48, {-5, 44, 70, 60}, {-100, 200});
  Pump();

  // Screen colours per depth: 8-bit gets black or white by brightness.
  const auto expect = [&](std::uint32_t rgb) {
    if (depth != 8) return rgb;
    const std::uint32_t r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return r * 299 + g * 587 + b * 114 >= 128000 ? 0xFFFFFFu : 0u;
  };
  const struct {
    int x, y;
    std::uint32_t rgb;
  } cases[] = {{2, 2, 0xFF0000},   {61, 2, 0x00FF00},  {2, 45, 0x0000FF},  {40, 30, 0xFFFFFF},
               {60, 44, 0xFF0000}, {55, 39, 0xFFFFFF}, {31, 23, 0xFF0000}, {32, 24, 0xFFFFFF}};
  for (const auto& c : cases) {
    const std::uint32_t got = ColourAt(win, c.x, c.y), want = expect(c.rgb);
    for (int shift : {16, 8, 0})
      EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF), static_cast<int>((want >> shift) & 0xFF), 8)
          << "depth " << depth << " at " << c.x << "," << c.y << std::hex << " got " << got << " want "
          << want;
  }
  EXPECT_EQ(gHostErrors, 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, X11PresentTest,
                         ::testing::Values(TServerKind{24, true}, TServerKind{24, false},
                                           TServerKind{16, true}, TServerKind{8, true}),
                         [](const ::testing::TestParamInfo<TServerKind>& info) {
                           return "Depth" + std::to_string(info.param.depth) +
                                  (info.param.sharedMemory ? "" : "WithoutSharedMemory");
                         });

// Pictures reach a local server through shared memory; the segment is gone
// from the system once the connection closes with its window system,
// whatever the process does next.
TEST_F(X11Test, SharedPictureMemoryEndsWithTheConnection) {
  const auto ours = [] {
    int count = 0;
    std::ifstream table("/proc/sysvipc/shm");
    std::string line;
    std::getline(table, line);  // the header
    while (std::getline(table, line)) {
      std::istringstream fields(line);
      long key = 0, id = 0, size = 0, creator = 0;
      std::string perms;
      fields >> key >> id >> perms >> size >> creator;
      if (creator == static_cast<long>(getpid())) ++count;
    }
    return count;
  };
  const int before = ours();
  const Window host = HostWindow(0, 0, 200, 150);
  TRecorder rec;
  {
    auto w = backend_->CreateWindow(host, {0, 0, 100, 80}, rec);
    w->Show();
    const auto picture = Quadrants(100, 80);
    w->Present(reinterpret_cast<const std::uint8_t*>(picture.data()), 100, 80, {0, 0, 100, 80}, {0, 0});
    XSync(x_, False);
    EXPECT_EQ(ColourAt(static_cast<Window>(w->Handle()), 2, 2), 0xFF0000u);
    EXPECT_EQ(ours(), before + 1) << "one segment for the connection";
  }
  EXPECT_EQ(ours(), before + 1) << "kept while the system lives";
  backend_.reset();
  EXPECT_EQ(ours(), before);
}

// A host window with an alpha channel (a compositing host): the editor is
// opaque whatever alpha its pictures carry.
TEST_F(X11Test, InADepth32HostWindowThePictureIsOpaque) {
  XVisualInfo vi{};
  ASSERT_TRUE(XMatchVisualInfo(x_, DefaultScreen(x_), 32, TrueColor, &vi));
  XSetWindowAttributes swa{};
  swa.colormap = XCreateColormap(x_, DefaultRootWindow(x_), vi.visual, AllocNone);
  const Window host = XCreateWindow(x_, DefaultRootWindow(x_), 0, 0, 100, 100, 0, 32, InputOutput, vi.visual,
                                    CWColormap | CWBorderPixel | CWBackPixel, &swa);
  XMapWindow(x_, host);
  XSync(x_, False);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{0, 0, 64, 48}, rec);
  auto picture = Quadrants(64, 48);
  for (auto& p : picture) p &= 0x00FFFFFF;  // fully transparent pixels
  w.Present(reinterpret_cast<const std::uint8_t*>(picture.data()), 64, 48, {0, 0, 64, 48}, {0, 0});
  Pump();
  XImage* image = XGetImage(x_, static_cast<Window>(w.Handle()), 0, 0, 64, 48, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->depth, 32);
  EXPECT_EQ(XGetPixel(image, 2, 2) & 0xFFFFFFFF, 0xFFFF0000u);
  EXPECT_EQ(XGetPixel(image, 61, 45) & 0xFFFFFFFF, 0xFFFFFFFFu);
  XDestroyImage(image);
  XFreeColormap(x_, swa.colormap);
  EXPECT_EQ(gHostErrors, 0);
}

TEST_F(X11Test, ExposeIsReportedForTheShownWindowAndForClearedAreas) {
  const Window host = HostWindow(0, 0, 200, 150);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{0, 0, 100, 80}, rec);
  Pump();
  TRect all{1000, 1000, -1, -1};
  for (const auto& e : rec.Of(K::Expose))
    all = {std::min(all.Left, e.Rect.Left), std::min(all.Top, e.Rect.Top), std::max(all.Right, e.Rect.Right),
           std::max(all.Bottom, e.Rect.Bottom)};
  EXPECT_EQ(all, (TRect{0, 0, 100, 80}));

  rec.events.clear();
  XClearArea(x_, static_cast<Window>(w.Handle()), 5, 6, 10, 12, True);
  Pump();
  ASSERT_EQ(rec.Of(K::Expose).size(), 1u);
  EXPECT_EQ(rec.Of(K::Expose)[0].Rect, (TRect{5, 6, 15, 18}));
}

// --- mouse ----------------------------------------------------------------------

TEST_F(X11Test, PressDragAndReleaseOutsideArriveWithButtonsAndCapture) {
  const Window host = HostWindow(100, 100, 300, 200);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{20, 30, 120, 110}, rec);
  // What the window layer does with a control of the default style.
  rec.hook = [&](const TWindowEvent& e) {
    if (e.Kind == K::MouseDown) w.SetMouseCapture(true);
    if (e.Kind == K::MouseUp && (e.Shift & ssButtons) == 0) w.SetMouseCapture(false);
  };
  Pump();
  const auto hostCanGrab = [&] {
    const bool ok = XGrabPointer(x_, host, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                                 CurrentTime) == GrabSuccess;
    XUngrabPointer(x_, CurrentTime);
    XSync(x_, False);
    return ok;
  };
  const struct {
    unsigned xbutton;
    TMouseButton button;
    TShiftState shift;
  } buttons[] = {{1, mbLeft, ssLeft}, {2, mbMiddle, ssMiddle}, {3, mbRight, ssRight}};
  for (const auto& b : buttons) {
    SCOPED_TRACE(b.xbutton);
    MoveTo(170, 170);  // client (50, 40)
    Pump();
    rec.events.clear();
    Button(b.xbutton, true);
    MoveTo(60, 50);  // outside the window and the host's window
    Pump();
    Button(b.xbutton, false);
    Pump();
    const auto mouse = rec.Mouse();
    ASSERT_EQ(mouse.size(), 3u);
    EXPECT_EQ(mouse[0].Kind, K::MouseDown);
    EXPECT_EQ(mouse[0].Button, b.button);
    EXPECT_EQ(mouse[0].Shift, b.shift);
    EXPECT_EQ((TPoint{mouse[0].X, mouse[0].Y}), (TPoint{50, 40}));
    EXPECT_EQ(mouse[1].Kind, K::MouseMove);
    EXPECT_EQ((TPoint{mouse[1].X, mouse[1].Y}), (TPoint{-60, -80}));
    EXPECT_EQ(mouse[1].Shift, b.shift);
    EXPECT_EQ(mouse[2].Kind, K::MouseUp);
    EXPECT_EQ(mouse[2].Button, b.button);
    EXPECT_EQ(mouse[2].Shift, 0u);
    EXPECT_EQ((TPoint{mouse[2].X, mouse[2].Y}), (TPoint{-60, -80}));
    // The capture ended with the release: the host can take the pointer.
    EXPECT_TRUE(hostCanGrab());
  }
  // Whatever the window asks, the pointer is never held without a button:
  // neither a capture asked with no button down, nor one left over after
  // the release.
  w.SetMouseCapture(true);
  Pump();
  EXPECT_TRUE(hostCanGrab());
  w.SetMouseCapture(false);
  rec.hook = [&](const TWindowEvent& e) {
    if (e.Kind == K::MouseDown) w.SetMouseCapture(true);
  };
  MoveTo(170, 170);
  Button(1, true);
  Pump();
  Button(1, false);
  Pump();
  EXPECT_TRUE(hostCanGrab());
  rec.hook = nullptr;

  // Leaving the window with no button held.
  MoveTo(170, 170);
  Pump();
  rec.events.clear();
  MoveTo(5, 5);
  Pump();
  EXPECT_EQ(rec.Of(K::MouseExit).size(), 1u);
  EXPECT_EQ(gHostErrors, 0);
}

TEST_F(X11Test, QueuedMovesFoldIntoTheLatestWithoutCrossingPresses) {
  const Window host = HostWindow(100, 100, 300, 200);
  TRecorder rec;
  Shown(host, TRect{20, 30, 220, 180}, rec);
  MoveTo(130, 140);
  Pump();
  rec.events.clear();
  for (int i = 0; i < 60; ++i) MoveTo(131 + i, 141 + i / 2);  // last: (190, 170)
  Button(1, true);
  for (int i = 0; i < 40; ++i) MoveTo(200 - i, 200);  // last: (161, 200)
  Pump();
  const auto mouse = rec.Mouse();
  ASSERT_EQ(mouse.size(), 3u);
  EXPECT_EQ(mouse[0].Kind, K::MouseMove);
  EXPECT_EQ((TPoint{mouse[0].X, mouse[0].Y}), (TPoint{190 - 120, 170 - 130}));
  EXPECT_EQ(mouse[1].Kind, K::MouseDown);
  EXPECT_EQ((TPoint{mouse[1].X, mouse[1].Y}), (TPoint{190 - 120, 170 - 130}));
  EXPECT_EQ(mouse[2].Kind, K::MouseMove);
  EXPECT_EQ((TPoint{mouse[2].X, mouse[2].Y}), (TPoint{161 - 120, 200 - 130}));
  EXPECT_EQ(mouse[2].Shift, ssLeft);
  Button(1, false);
  Pump();
}

// The window's arrow is defined only when the pointer first comes in, and
// from then on it shows there, not the shape of the host's window.
TEST_F(X11Test, TheArrowShowsOverAWindowFromThePointersFirstVisit) {
  const Window host = HostWindow(100, 100, 300, 200);
  const Cursor watch = XCreateFontCursor(x_, XC_watch);
  XDefineCursor(x_, host, watch);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{20, 30, 220, 180}, rec);
  MoveTo(110, 110);  // over the host's window only
  Pump();
  const auto hostShape = CursorPixels();
  MoveTo(170, 170);
  Pump();
  const auto shown = CursorPixels();
  EXPECT_FALSE(Invisible(shown));
  EXPECT_NE(shown, hostShape);
  w.SetCursor(crArrow);
  Pump();
  EXPECT_EQ(CursorPixels(), shown);
  XFreeCursor(x_, watch);
  EXPECT_EQ(gHostErrors, 0);
}

// A knob's drag: hide the pointer, measure each move from the press point and
// put the pointer back there.
TEST_F(X11Test, DragHoldsTheHiddenPointerAndCountsEveryPixelOfTravel) {
  const Window host = HostWindow(100, 100, 300, 200);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{20, 30, 220, 180}, rec);
  TPoint hold;
  int travel = 0, moves = 0, lateMoves = 0;
  bool dragging = false;
  rec.hook = [&](const TWindowEvent& e) {
    if (e.Kind == K::MouseDown) {
      w.SetMouseCapture(true);
      dragging = true;
      hold = backend_->CursorPos();
      backend_->ShowCursor(false);
    } else if (e.Kind == K::MouseMove && dragging) {
      ++moves;
      const TPoint p = backend_->CursorPos();
      // The user goes on moving while this move is handled: those moves
      // reach the server before the warp below.
      for (; lateMoves > 0; --lateMoves) MoveBy(2, 0);
      XSync(x_, False);
      if (p.X != hold.X) {
        travel += p.X - hold.X;
        backend_->SetCursorPos(hold);
      }
    } else if (e.Kind == K::MouseUp) {
      dragging = false;
      // The user moves on while the release is handled.
      MoveTo(300, 250);
      XSync(x_, False);
      backend_->SetCursorPos(hold);
      backend_->ShowCursor(true);
      w.SetMouseCapture(false);
    }
  };
  w.SetCursor(crHandPoint);
  MoveTo(170, 170);
  Pump();
  const auto hand = CursorPixels();
  ASSERT_FALSE(Invisible(hand));

  Button(1, true);
  Pump();
  EXPECT_EQ(hold, (TPoint{170, 170}));
  EXPECT_TRUE(Invisible(CursorPixels()));
  // Moves queued while the host is slow to idle, then more after each pump:
  // each batch is handled as one move, every pixel counts once, and the
  // warps' own moves are not the user's.
  const struct {
    int count, step, late;
  } batches[] = {{10, 3, 0}, {5, 2, 0}, {40, -1, 0}, {1, 7, 0}, {3, 1, 4}, {2, -3, 1}};
  int expected = 0;
  for (const auto& b : batches) {
    SCOPED_TRACE(b.count * b.step);
    for (int i = 0; i < b.count; ++i) MoveBy(b.step, 0);
    expected += b.count * b.step + 2 * b.late;
    lateMoves = b.late;
    moves = 0;
    Pump();
    Pump();
    Pump();
    EXPECT_EQ(travel, expected);
    EXPECT_EQ(moves, b.late > 0 ? 2 : 1);
    EXPECT_EQ(Pointer(), (TPoint{170, 170}));
  }
  Button(1, false);
  Pump();
  Pump();
  EXPECT_EQ(travel, expected);
  EXPECT_EQ(Pointer(), (TPoint{170, 170}));
  EXPECT_EQ(CursorPixels(), hand);

  // After the drag, moves are reported where they really are.
  rec.events.clear();
  MoveTo(171, 172);
  Pump();
  ASSERT_FALSE(rec.Of(K::MouseMove).empty());
  EXPECT_EQ((TPoint{rec.Of(K::MouseMove).back().X, rec.Of(K::MouseMove).back().Y}), (TPoint{51, 42}));

  w.SetCursor(crSizeWE);
  Pump();
  const auto sizeWE = CursorPixels();
  EXPECT_FALSE(Invisible(sizeWE));
  EXPECT_NE(sizeWE, hand);
  EXPECT_EQ(gHostErrors, 0);
}

// --- keyboard ---------------------------------------------------------------------

TEST_F(X11Test, FocusIsTakenOnlyOnAClickAndKeysArriveAsVirtualKeys) {
  const Window host = HostWindow(100, 100, 300, 200);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{20, 30, 220, 180}, rec);
  Pump();
  Window before = 0, focus = 0;
  int revert = 0;
  XGetInputFocus(x_, &before, &revert);
  w.SetFocus();  // not on a click: the host keeps the keyboard
  Pump();
  XGetInputFocus(x_, &focus, &revert);
  EXPECT_EQ(focus, before);

  rec.hook = [&](const TWindowEvent& e) {
    if (e.Kind == K::MouseDown) w.SetFocus();
  };
  MoveTo(170, 170);
  Button(1, true);
  Button(1, false);
  Pump();
  Pump();
  XGetInputFocus(x_, &focus, &revert);
  EXPECT_EQ(focus, static_cast<Window>(w.Handle()));
  EXPECT_EQ(rec.Of(K::FocusIn).size(), 1u);

  const struct {
    KeySym sym;
    std::uint16_t vk;
    int ch;  // -1: no character
  } keys[] = {{XK_a, 'A', 'a'},           {XK_5, '5', '5'},           {XK_Left, VK_LEFT, -1},
              {XK_Prior, VK_PRIOR, -1},   {XK_Return, VK_RETURN, 13}, {XK_Escape, VK_ESCAPE, 27},
              {XK_Delete, VK_DELETE, -1}, {XK_Tab, VK_TAB, 9}};
  for (const auto& k : keys) {
    SCOPED_TRACE(k.vk);
    rec.events.clear();
    Key(k.sym, true);
    Key(k.sym, false);
    Pump();
    std::vector<TWindowEvent> got;
    for (const auto& e : rec.events)
      if (e.Kind == K::KeyDown || e.Kind == K::KeyUp || e.Kind == K::Char) got.push_back(e);
    ASSERT_EQ(got.size(), k.ch < 0 ? 2u : 3u);
    EXPECT_EQ(got.front().Kind, K::KeyDown);
    EXPECT_EQ(got.front().Key, k.vk);
    if (k.ch >= 0) {
      EXPECT_EQ(got[1].Kind, K::Char);
      EXPECT_EQ(got[1].Key, k.ch);
    }
    EXPECT_EQ(got.back().Kind, K::KeyUp);
    EXPECT_EQ(got.back().Key, k.vk);
  }
  // Shift is reported with the key.
  rec.events.clear();
  Key(XK_Shift_L, true);
  Key(XK_b, true);
  Key(XK_b, false);
  Key(XK_Shift_L, false);
  Pump();
  const auto chars = rec.Of(K::Char);
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars[0].Key, 'B');
  EXPECT_EQ(chars[0].Shift, ssShift);
}

// --- failures -----------------------------------------------------------------------

TEST_F(X11Test, AParentThatIsNoWindowRaisesWindowErrorAndTheHostsHandlerStays) {
  const Window gone = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(x_, gone);
  XSync(x_, False);
  TRecorder rec;
  const TWindowHandle bad[] = {static_cast<TWindowHandle>(gone), 0x1FFFFFFF, TWindowHandle{1} << 40,
                               0x00ABCDEF};
  for (TWindowHandle parent : bad) {
    SCOPED_TRACE(parent);
    EXPECT_THROW(backend_->CreateWindow(parent, {0, 0, 50, 50}, rec), EWindowError);
  }
  EXPECT_EQ(XSetErrorHandler(&HostErrorHandler), &HostErrorHandler);
  EXPECT_EQ(gHostErrors, 0);
  // The backend goes on working.
  const Window host = HostWindow(0, 0, 100, 100);
  auto w = backend_->CreateWindow(host, {0, 0, 50, 50}, rec);
  EXPECT_EQ(ParentOf(static_cast<Window>(w->Handle())), host);

  auto nowhere = MakeX11Backend(":98765");
  EXPECT_THROW(nowhere->CreateWindow(host, {0, 0, 50, 50}, rec), EWindowError);
}

TEST_F(X11Test, AWindowWhoseParentVanishedIsHarmless) {
  const Window host = HostWindow(0, 0, 200, 150);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{0, 0, 100, 80}, rec);
  Pump();
  XDestroyWindow(x_, host);
  XSync(x_, False);
  const auto picture = Quadrants(100, 80);
  w.Present(reinterpret_cast<const std::uint8_t*>(picture.data()), 100, 80, {0, 0, 100, 80}, {0, 0});
  w.SetCursor(crHandPoint);
  w.SetMouseCapture(true);
  w.SetBounds({5, 5, 50, 50});
  w.Hide();
  w.Show();
  backend_->ShowCursor(false);
  backend_->ShowCursor(true);
  (void)w.ClientOrigin();
  Pump();
  w.SetFocus();
  windows_.clear();
  EXPECT_EQ(gHostErrors, 0);
  const Window again = HostWindow(0, 0, 100, 100);
  EXPECT_NO_THROW(Shown(again, TRect{0, 0, 10, 10}, rec));
}

TEST_F(X11Test, ALostServerNeitherEndsTheProcessNorBlocks) {
  TXvfbServer doomed;
  ASSERT_FALSE(doomed.Name().empty());
  auto backend = MakeX11Backend(doomed.Name());
  TRecorder rec;
  {
    auto w = backend->CreateWindow(0, {0, 0, 60, 40}, rec);
    w->Show();
    backend->Update();
    doomed.Kill();
    const auto picture = Quadrants(60, 40);
    w->Present(reinterpret_cast<const std::uint8_t*>(picture.data()), 60, 40, {0, 0, 60, 40}, {0, 0});
    w->SetCursor(crHandPoint);
    backend->Update();
    backend->Update();
    (void)backend->CursorPos();
    (void)backend->KeyboardState();
    w->SetMouseCapture(true);
  }
  EXPECT_THROW(backend->CreateWindow(0, {0, 0, 60, 40}, rec), EWindowError);
}

// --- lifetime -----------------------------------------------------------------------

TEST_F(X11Test, ManyOpensAndClosesLeaveNoResourceBehind) {
  const Window host = HostWindow(100, 100, 300, 200);
  const auto picture = Quadrants(100, 80);
  const auto* bits = reinterpret_cast<const std::uint8_t*>(picture.data());
  TRecorder rec;
  const auto cycle = [&] {
    auto w = backend_->CreateWindow(host, {0, 0, 100, 80}, rec);
    w->Show();
    w->Present(bits, 100, 80, {0, 0, 100, 80}, {0, 0});
    for (TCursor c : {crHandPoint, crSizeWE, crSizeNS, crNone, crDefault}) w->SetCursor(c);
    backend_->ShowCursor(false);
    w->SetMouseCapture(true);
    backend_->SetCursorPos({150, 150});
    backend_->Update();
    w->SetMouseCapture(false);
    backend_->ShowCursor(true);
    w->Hide();
  };
  // Each editor with a system of its own: its connection closes with the
  // system.
  const int fds = OpenFileDescriptors();
  const int clients = ServerClients(x_);
  ASSERT_GT(clients, 0);
  for (int i = 0; i < 200; ++i) {
    backend_ = MakeX11Backend(server_->Name());
    cycle();
    EXPECT_GE(backend_->FileDescriptor(), 0);
  }
  backend_ = MakeX11Backend(server_->Name());
  EXPECT_EQ(OpenFileDescriptors(), fds);
  EXPECT_EQ(ServerClients(x_), clients);
  EXPECT_TRUE(Children(host).empty());

  // With a window that stays, what each cycle made on the server must be
  // gone after it.
  auto keeper = backend_->CreateWindow(host, {200, 0, 250, 50}, rec);
  const XID ours = static_cast<XID>(keeper->Handle());
  cycle();
  const auto after1 = ClientResources(x_, ours);
  ASSERT_FALSE(after1.empty());
  for (int i = 0; i < 199; ++i) cycle();
  EXPECT_EQ(ClientResources(x_, ours), after1);
  EXPECT_EQ(ServerClients(x_), clients + 1);
  keeper.reset();
  backend_.reset();
  EXPECT_EQ(ServerClients(x_), clients);
  EXPECT_EQ(gHostErrors, 0);
}

// A closed editor's window leaves the host's window before the host destroys
// it, waits hidden on the screen's root, and moves into the next host window;
// a parent that is no window is refused and the window stays where it was.
TEST_F(X11Test, AWindowMovesOutOfItsHostAndIntoTheNext) {
  const Window first = HostWindow(0, 0, 200, 150);
  TRecorder rec;
  TBackendWindow& w = Shown(first, TRect{10, 10, 110, 90}, rec);
  const auto picture = Quadrants(100, 80);
  w.Present(reinterpret_cast<const std::uint8_t*>(picture.data()), 100, 80, {0, 0, 100, 80}, {0, 0});
  const Window ours = static_cast<Window>(w.Handle());
  w.Hide();
  ASSERT_TRUE(w.Reparent(0));
  EXPECT_EQ(ParentOf(ours), DefaultRootWindow(x_));
  XWindowAttributes attrs{};
  ASSERT_TRUE(XGetWindowAttributes(x_, ours, &attrs));
  EXPECT_EQ(attrs.map_state, IsUnmapped) << "nothing shows on the desktop";
  XDestroyWindow(x_, first);
  Pump();

  const Window second = HostWindow(300, 0, 200, 150);
  EXPECT_FALSE(w.Reparent(0x1FFFFF00u)) << "no such window";
  EXPECT_FALSE(w.Reparent(0xFFFFFFFFFull)) << "no X resource id";
  EXPECT_EQ(ParentOf(ours), DefaultRootWindow(x_));
  ASSERT_TRUE(w.Reparent(second));
  w.Show();
  w.Present(reinterpret_cast<const std::uint8_t*>(picture.data()), 100, 80, {0, 0, 100, 80}, {0, 0});
  Pump();
  EXPECT_EQ(ParentOf(ours), second);
  EXPECT_EQ(ColourAt(second, 12, 12), 0xFF0000u) << "at its place in the new host";
  EXPECT_EQ(ColourAt(second, 108, 88), 0xFFFFFFu);
  EXPECT_EQ(gHostErrors, 0);
}

TEST_F(X11Test, EachThreadPumpsOnlyItsOwnWindows) {
  const Window host = HostWindow(0, 0, 300, 200);
  TRecorder mainRec, otherRec;
  Shown(host, TRect{0, 0, 100, 100}, mainRec);
  std::unique_ptr<TBackendWindow> other;
  std::thread([&] {
    other = backend_->CreateWindow(host, {150, 0, 250, 100}, otherRec);
    other->Show();
  }).join();
  Pump();
  EXPECT_FALSE(mainRec.Of(K::Expose).empty());
  EXPECT_TRUE(otherRec.events.empty());
  std::thread([&] {
    backend_->Update();
    other.reset();
  }).join();
  EXPECT_FALSE(otherRec.Of(K::Expose).empty());
}

// The window layer on top: a form made a child of the host's window paints
// its colour, hears a click and ticks its timer, all from Update.
TEST_F(X11Test, AFormInTheHostsWindowPaintsClicksAndTicks) {
  const Window host = HostWindow(100, 100, 300, 200);
  {
    TForm form;
    form.SetWindowSystem(backend_);
    form.SetBounds(0, 0, 120, 90);
    form.SetColor(0x0000FF);  // red, as 0x00BBGGRR
    int clicks = 0, ticks = 0;
    form.OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
    TTimer timer(&form);
    timer.SetInterval(20);
    timer.OnTimer = TNotifyEvent([&](TObject*) { ++ticks; });
    form.SetParentWindow(static_cast<TWindowHandle>(host));
    form.Show();
    EXPECT_EQ(ParentOf(static_cast<Window>(form.Handle())), host);
    for (int i = 0; i < 500 && ticks < 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      backend_->Update();
    }
    EXPECT_GE(ticks, 2);
    XSync(x_, False);
    backend_->Update();
    EXPECT_EQ(ColourAt(static_cast<Window>(form.Handle()), 60, 45), 0xFF0000u);
    MoveTo(150, 150);
    Button(1, true);
    Button(1, false);
    XSync(x_, False);
    backend_->Update();
    EXPECT_EQ(clicks, 1);
  }
  EXPECT_TRUE(Children(host).empty());
}

// --- desktop services ---------------------------------------------------------------

TEST_F(X11Test, ShellOpenStartsTheOpenerWithoutWaiting) {
  char dir[] = "/tmp/plonk-x11-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string opener = std::string(dir) + "/xdg-open", out = std::string(dir) + "/opened";
  {
    std::ofstream script(opener);
    // Waits until the test says go, so it cannot finish before ShellOpen returns.
    script << "#!/bin/sh\nn=0\nwhile [ ! -e " << dir
           << "/go ] && [ $n -lt 400 ]; do sleep 0.05; n=$((n+1)); done\n"
           << "echo \"$1\" > " << out << ".tmp && mv " << out << ".tmp " << out << "\n";
  }
  chmod(opener.c_str(), 0755);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (std::string(dir) + ":" + oldPath).c_str(), 1);
  backend_->ShellOpen("https://example.invalid/page?a=1&b=2");
  setenv("PATH", oldPath.c_str(), 1);
  // Returned while the opener still runs.
  EXPECT_NE(access(out.c_str(), F_OK), 0);
  EXPECT_EQ(PendingChildren(), 1u);
  std::ofstream(std::string(dir) + "/go").put('\n');
  std::string got;
  for (int i = 0; i < 500 && got.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out);
    std::getline(in, got);
  }
  EXPECT_EQ(got, "https://example.invalid/page?a=1&b=2");
  for (int i = 0; i < 500 && PendingChildren() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ReapChildren();
  }
  EXPECT_EQ(PendingChildren(), 0u);
  unlink(out.c_str());
  unlink((std::string(dir) + "/go").c_str());
  unlink(opener.c_str());
  rmdir(dir);
}

// The desktop's window system for a host's window: X11 for a window of the
// display, a new one each time; a handle that is no window of it is refused.
TEST_F(X11Test, TheDesktopGivesAnX11SystemOfItsOwnForEachRealHostWindow) {
  const Window host = HostWindow(0, 0, 100, 100);
  const Window gone = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(x_, gone);
  XSync(x_, False);
  const char* oldDisplay = std::getenv("DISPLAY");
  const std::string saved = oldDisplay ? oldDisplay : "";
  setenv("DISPLAY", server_->Name().c_str(), 1);
  for (TWindowHandle refused :
       {static_cast<TWindowHandle>(gone), TWindowHandle{0x1000}, TWindowHandle{0}, TWindowHandle{1} << 40}) {
    SCOPED_TRACE(refused);
    EXPECT_THROW(DesktopWindowSystemFor(refused), EWindowError);
  }
  const auto first = DesktopWindowSystemFor(static_cast<TWindowHandle>(host));
  const auto second = DesktopWindowSystemFor(static_cast<TWindowHandle>(host));
  EXPECT_TRUE(IsX11Backend(*first));
  EXPECT_NE(first, second);
  EXPECT_NE(first->FileDescriptor(), second->FileDescriptor()) << "a connection each";
  setenv("DISPLAY", ":98765", 1);
  EXPECT_THROW(DesktopWindowSystemFor(static_cast<TWindowHandle>(host)), EWindowError) << "no display";
  if (oldDisplay)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
  EXPECT_EQ(gHostErrors, 0);
}

// What a host's run loop watches: the connection's descriptor turns readable
// when the server sends something, and input that Xlib already read during
// another call (so the descriptor stays quiet) makes the system due at once.
TEST_F(X11Test, TheDescriptorAndTheDueTimeTellARunLoopWhenToUpdate) {
  EXPECT_EQ(backend_->FileDescriptor(), -1) << "no connection before the first window";
  const Window host = HostWindow(100, 100, 300, 200);
  TRecorder rec;
  TBackendWindow& w = Shown(host, TRect{20, 30, 220, 180}, rec);
  const int fd = backend_->FileDescriptor();
  ASSERT_GE(fd, 0);
  const auto readable = [&](int ms) {
    pollfd watch{fd, POLLIN, 0};
    return poll(&watch, 1, ms) > 0;
  };
  Pump();
  EXPECT_FALSE(readable(0));
  EXPECT_EQ(backend_->NextDue(), std::nullopt) << "nothing pending, no timer";

  rec.events.clear();
  MoveTo(170, 170);
  XSync(x_, False);
  EXPECT_TRUE(readable(1000)) << "the move arrived";
  backend_->Update();
  EXPECT_FALSE(rec.Mouse().empty());
  EXPECT_FALSE(readable(0));

  // The server asks for a paint, and a call that waits for a reply reads
  // that request off the socket before any update.
  rec.events.clear();
  XClearArea(x_, static_cast<Window>(w.Handle()), 5, 6, 10, 12, True);
  XSync(x_, False);
  static_cast<void>(w.ClientOrigin());
  EXPECT_FALSE(readable(0)) << "Xlib holds the request already";
  const auto due = backend_->NextDue();
  ASSERT_TRUE(due.has_value());
  EXPECT_LE(*due, backend_->NowMs()) << "due at once";
  backend_->Update();
  ASSERT_EQ(rec.Of(K::Expose).size(), 1u);
  EXPECT_EQ(rec.Of(K::Expose)[0].Rect, (TRect{5, 6, 15, 18}));
  EXPECT_EQ(backend_->NextDue(), std::nullopt);
  EXPECT_EQ(gHostErrors, 0);
}

}  // namespace
}  // namespace framework
