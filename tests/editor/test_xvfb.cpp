// The editor end to end on a real X server (a private Xvfb): a host's small
// top-level window, effEditOpen into it with the X11 window backend, a click
// and a drag played with XTest, and the screen compared with the editor as
// the headless backend composes it for the same values.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/APluginEditor.h"
#include "framework/window/Headless.h"
#include "framework/x11/X11Backend.h"
#include "plugin/APlugin.h"
#include "tests/framework/x11/XvfbServer.h"
#include "tools/hostkit/PluginHost.h"

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on

namespace {

// The gestures' begins and ends the host heard.
int beginEdits = 0, endEdits = 0;

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterBeginEdit) ++beginEdits;
  if (opcode == audioMasterEndEdit) ++endEdits;
  return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr int kWidth = 719, kHeight = 512;
constexpr int kHostX = 40, kHostY = 30;  // where the host's window sits on the screen

class EditorOnXvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!plonktest::TXvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    server = std::make_unique<plonktest::TXvfbServer>(24);
    ASSERT_FALSE(server->Name().empty()) << "Xvfb did not start";
    x = XOpenDisplay(server->Name().c_str());
    ASSERT_NE(x, nullptr);
    host = XCreateSimpleWindow(x, DefaultRootWindow(x), kHostX, kHostY, kWidth, kHeight, 0, 0, 0x808080);
    XMapWindow(x, host);
    XSync(x, False);
  }
  void TearDown() override {
    plugin.reset();
    framework::SetWindowBackend(nullptr);
    if (x != nullptr) XCloseDisplay(x);
  }

  // Idles the editor, as a host does every few tens of milliseconds, until
  // done() holds or a second has passed.
  bool IdleUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 100; ++i) {
      XSync(x, False);
      plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  struct Point {
    int x, y;
  };
  // A left-button drag from one point of the editor to another that takes
  // the given time, the pointer reporting every 2 ms as a mouse does, while
  // the host idles the editor every idleEvery milliseconds (the first time
  // right after the press).
  void Drag(Point from, Point to, int milliseconds, int idleEvery) {
    using clock = std::chrono::steady_clock;
    const auto idle = [&] {
      XSync(x, False);
      plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    };
    XTestFakeMotionEvent(x, 0, kHostX + from.x, kHostY + from.y, CurrentTime);
    XTestFakeButtonEvent(x, 1, True, CurrentTime);
    idle();
    const auto start = clock::now();
    auto nextIdle = start + std::chrono::milliseconds(idleEvery);
    const int moves = std::max(1, milliseconds / 2);
    for (int k = 1; k <= moves; ++k) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(1000LL * milliseconds * k / moves));
      XTestFakeMotionEvent(x, 0, kHostX + from.x + (to.x - from.x) * k / moves,
                           kHostY + from.y + (to.y - from.y) * k / moves, CurrentTime);
      XFlush(x);
      if (clock::now() >= nextIdle) {
        idle();
        nextIdle += std::chrono::milliseconds(idleEvery);
      }
    }
    XTestFakeButtonEvent(x, 1, False, CurrentTime);
    XFlush(x);
  }

  // The pixels of the host's window, top row first, as 0xRRGGBB.
  std::vector<std::uint32_t> Screen(int& width, int& height) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(x, host, &attributes);
    width = attributes.width;
    height = attributes.height;
    std::vector<std::uint32_t> out;
    XImage* image = XGetImage(x, host, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) return out;
    for (int row = 0; row < height; ++row)
      for (int col = 0; col < width; ++col)
        out.push_back(static_cast<std::uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFF);
    XDestroyImage(image);
    return out;
  }

  std::unique_ptr<plonktest::TXvfbServer> server;
  Display* x = nullptr;
  Window host = 0;
  std::unique_ptr<APlugin> plugin;
};

TEST_F(EditorOnXvfb, ClickAndDragThenTheScreenShowsWhatTheValuesSay) {
  framework::SetWindowBackend(framework::MakeX11Backend(server->Name()));
  plugin = std::make_unique<APlugin>(&Host);
  for (int i = 1; i <= 32; ++i) plugin->setParameter(i, i == 5 ? 1.0f : 0.0f);
  plugin->setParameter(41, 0.2f);
  ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);

  // A click on step 3 (centre 162, 92) and a drag of the FD1 cutoff slider
  // (centre 145, 266) 10 pixels to the right.
  XTestFakeMotionEvent(x, 0, kHostX + 162, kHostY + 92, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  EXPECT_TRUE(IdleUntil([&] { return plugin->getParameter(3) == 1.0f; })) << "the click reached step 3";
  XTestFakeMotionEvent(x, 0, kHostX + 145, kHostY + 266, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  for (int i = 0; i < 10; ++i) {
    XSync(x, False);
    plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    XTestFakeRelativeMotionEvent(x, 1, 0, CurrentTime);
  }
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  EXPECT_TRUE(IdleUntil([&] { return plugin->getParameter(41) == 0.3f; })) << plugin->getParameter(41);
  // Two refresh periods, so lamps and knobs follow.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(120);
  IdleUntil([&] { return std::chrono::steady_clock::now() > until; });

  int width = 0, height = 0;
  const std::vector<std::uint32_t> screen = Screen(width, height);
  ASSERT_EQ(width, kWidth);
  ASSERT_EQ(height, kHeight);
  ASSERT_EQ(screen.size(), static_cast<std::size_t>(kWidth) * kHeight);

  // The same values composed by the headless backend.
  std::vector<float> values(62);
  for (int i = 1; i <= 61; ++i) values[i] = plugin->getParameter(i);
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  auto headless = std::make_shared<framework::THeadlessBackend>();
  framework::SetWindowBackend(headless);
  APlugin reference(&Host);
  for (int i = 1; i <= 61; ++i) reference.setParameter(i, values[i]);
  int parent = 0;
  ASSERT_EQ(reference.dispatcher(effEditOpen, 0, 0, &parent, 0.0f), 1);
  const framework::THeadlessWindow* expected =
      headless->Window(static_cast<APluginEditor*>(reference.getEditor())->getWindow()->Handle());
  ASSERT_NE(expected, nullptr);

  // Lit or unlit, every cell shows as the headless picture does.
  for (int n = 1; n <= 16; ++n) {
    const int sx = 87 + 30 * (n - 1) + 15, sy = 92, tx = 100 + 30 * (n - 1) + 15, ty = 59;
    EXPECT_EQ(screen[sy * kWidth + sx], expected->PixelAt(sx, sy) & 0xFFFFFF) << "step " << n;
    EXPECT_EQ(screen[ty * kWidth + tx], expected->PixelAt(tx, ty) & 0xFFFFFF) << "tie " << n;
  }
  EXPECT_NE(screen[92 * kWidth + 162], screen[92 * kWidth + 192]) << "step 3 lit, step 4 not";
  std::size_t differing = 0;
  for (int row = 0; row < kHeight; ++row)
    for (int col = 0; col < kWidth; ++col)
      if (screen[row * kWidth + col] != (expected->PixelAt(col, row) & 0xFFFFFF)) ++differing;
  RecordProperty("differing_pixels", static_cast<int>(differing));
  EXPECT_LT(differing, screen.size() / 100) << "pixels that differ from the headless picture";
  reference.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
}

// Painting by dragging at the speed of a hand, while the host idles the
// editor only every few tens of milliseconds: the X server folds the moves
// between two idles into one, yet every cell the pointer passed is painted.
TEST_F(EditorOnXvfb, AFastDragPaintsEveryCellItPasses) {
  framework::SetWindowBackend(framework::MakeX11Backend(server->Name()));
  plugin = std::make_unique<APlugin>(&Host);
  ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);

  // Centres of step n and tie n in the window.
  const auto step = [](int n) { return Point{87 + 30 * (n - 1) + 15, 92}; };
  const auto tie = [](int n) { return Point{100 + 30 * (n - 1) + 15, 59}; };
  const struct {
    bool ties;
    int from, to, milliseconds, idleEvery;
  } drags[] = {{false, 2, 9, 30, 33},  {false, 2, 9, 85, 33},  {false, 2, 9, 175, 33},
               {false, 2, 16, 75, 50}, {false, 14, 3, 40, 50}, {true, 3, 12, 40, 50}};
  for (const auto& d : drags) {
    SCOPED_TRACE(std::string(d.ties ? "ties " : "steps ") + std::to_string(d.from) + " to " +
                 std::to_string(d.to) + " in " + std::to_string(d.milliseconds) + " ms, idles every " +
                 std::to_string(d.idleEvery) + " ms");
    for (int i = 1; i <= 32; ++i) plugin->setParameter(i, 0.0f);
    const int offset = d.ties ? 16 : 0;
    const Point from = d.ties ? tie(d.from) : step(d.from), to = d.ties ? tie(d.to) : step(d.to);
    beginEdits = endEdits = 0;
    Drag(from, to, d.milliseconds, d.idleEvery);
    EXPECT_TRUE(IdleUntil([&] { return endEdits > 0 && endEdits == beginEdits; }))
        << "the release ended the gesture for the host";

    std::vector<int> lit, expected;
    for (int n = 1; n <= 16; ++n)
      if (plugin->getParameter(offset + n) > 0.5f) lit.push_back(n);
    for (int n = std::min(d.from, d.to); n <= std::max(d.from, d.to); ++n) expected.push_back(n);
    EXPECT_EQ(lit, expected);
    for (int n = 1; n <= 16; ++n)
      EXPECT_EQ(plugin->getParameter(16 - offset + n), 0.0f) << "other row, " << n;
  }
}

// The built library in the host kit, its editor inside the host's window:
// the kit's recording callback hears every gesture begin, its automation and
// its end, in that order, and the end of a drag the editor is closed under.
TEST_F(EditorOnXvfb, TheHostHearsEachGestureBeginAndEnd) {
  setenv("DISPLAY", server->Name().c_str(), 1);
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost kit;
  ASSERT_NE(kit.create(library.entry()), nullptr);
  for (int i = 1; i <= 32; ++i) kit.setParameter(i, 0.0f);
  kit.setParameter(40, 0.0f);
  kit.setParameter(41, 0.2f);
  ASSERT_EQ(kit.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
  const auto idle = [&] {
    XSync(x, False);
    kit.dispatch(effEditIdle);
  };
  const auto idleUntilEnds = [&](std::size_t ends) {
    for (int i = 0; i < 100 && kit.countCalls(audioMasterEndEdit) < ends; ++i) {
      idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return kit.countCalls(audioMasterEndEdit) == ends;
  };
  // "begin 41", "set 41", "end 41": the requests of the editor's gestures.
  const auto edits = [&] {
    std::vector<std::string> out;
    for (const hostkit::HostCall& call : kit.calls()) {
      const std::string index = std::to_string(call.index);
      if (call.opcode == audioMasterBeginEdit) out.push_back("begin " + index);
      if (call.opcode == audioMasterAutomate) out.push_back("set " + index);
      if (call.opcode == audioMasterEndEdit) out.push_back("end " + index);
    }
    return out;
  };
  const auto moveTo = [&](int wx, int wy) {
    XTestFakeMotionEvent(x, 0, kHostX + wx, kHostY + wy, CurrentTime);
  };

  // The FD1 cutoff slider (centre 145, 266) dragged 10 pixels to the right.
  kit.clearCalls();
  moveTo(145, 266);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  for (int i = 0; i < 10; ++i) {
    idle();
    XTestFakeRelativeMotionEvent(x, 1, 0, CurrentTime);
  }
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  ASSERT_TRUE(idleUntilEnds(1));
  std::vector<std::string> drag = edits();
  ASSERT_GE(drag.size(), 3u);
  EXPECT_EQ(drag.front(), "begin 41");
  EXPECT_EQ(drag.back(), "end 41");
  for (std::size_t i = 1; i + 1 < drag.size(); ++i) EXPECT_EQ(drag[i], "set 41") << i;
  EXPECT_EQ(kit.getParameter(41), 0.3f);

  // A click on the FD1 enable switch (centre 251, 175).
  kit.clearCalls();
  moveTo(251, 175);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  ASSERT_TRUE(idleUntilEnds(1));
  EXPECT_EQ(edits(), (std::vector<std::string>{"begin 40", "set 40", "end 40"}));

  // A paint from step 1 to step 3 in one move: each cell is held until the
  // release.
  kit.clearCalls();
  moveTo(102, 92);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  idle();
  moveTo(162, 92);
  idle();
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  ASSERT_TRUE(idleUntilEnds(3));
  EXPECT_EQ(edits(), (std::vector<std::string>{"begin 1", "set 1", "begin 2", "set 2", "begin 3", "set 3",
                                               "end 1", "end 2", "end 3"}));

  // The editor closed in the middle of a slider drag: the end comes with it.
  kit.clearCalls();
  moveTo(145, 266);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  idle();
  XTestFakeRelativeMotionEvent(x, 1, 0, CurrentTime);
  idle();
  kit.dispatch(effEditClose);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  XSync(x, False);
  EXPECT_EQ(edits(), (std::vector<std::string>{"begin 41", "set 41", "end 41"}));
  kit.close();
  unsetenv("DISPLAY");
}

TEST_F(EditorOnXvfb, AWindowIdTheServerDoesNotKnowIsRefused) {
  framework::SetWindowBackend(framework::MakeX11Backend(server->Name()));
  plugin = std::make_unique<APlugin>(&Host);
  const Window unknown = host + 0x1000;  // an id of our own client that names no window
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(unknown), 0.0f), 0);
  plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
}

// No backend chosen beforehand, as inside a host: the window of the X
// display given as parent makes the framework take X11 by itself.
TEST_F(EditorOnXvfb, AnXWindowAsParentSelectsTheX11Backend) {
  setenv("DISPLAY", server->Name().c_str(), 1);
  framework::SetWindowBackend(nullptr);
  plugin = std::make_unique<APlugin>(&Host);
  ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
  EXPECT_TRUE(framework::IsX11Backend(framework::WindowBackend()));
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  XSync(x, False);
  ASSERT_TRUE(XQueryTree(x, host, &root, &parent, &children, &count));
  if (children != nullptr) XFree(children);
  EXPECT_EQ(count, 1u) << "the editor's window inside the host's";
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  unsetenv("DISPLAY");
}

}  // namespace
