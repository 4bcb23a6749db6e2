// The editor end to end on a real X server (a private Xvfb): a host's small
// top-level window, effEditOpen into it with an X11 window system, a click
// and a drag played with XTest, and the screen compared with the editor as
// a headless system composes it for the same values; the editor run by a
// host's own loop instead of idle calls; two editors side by side.

#include <gtest/gtest.h>
#include <poll.h>

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

// The gestures' begins and ends the host heard, and which effect's
// automation of which slot.
int beginEdits = 0, endEdits = 0;
std::vector<std::pair<AEffect*, VstInt32>> automated;

VstIntPtr Host(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
  if (opcode == audioMasterBeginEdit) ++beginEdits;
  if (opcode == audioMasterEndEdit) ++endEdits;
  if (opcode == audioMasterAutomate) automated.emplace_back(effect, index);
  return opcode == audioMasterVersion ? 2400 : 0;
}

APluginEditor& EditorOf(APlugin& plugin) {
  return *static_cast<APluginEditor*>(plugin.getEditor());
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
    if (x != nullptr) XCloseDisplay(x);
  }

  // A plug-in whose editor opens in an X11 window system of the test's
  // server.
  std::unique_ptr<APlugin> OnThisServer() {
    auto made = std::make_unique<APlugin>(&Host);
    EditorOf(*made).setWindowSystem(framework::MakeX11Backend(server->Name()));
    return made;
  }

  // The colour the server shows at a point of the host's window.
  std::uint32_t ColourAt(Window w, int px, int py) {
    XImage* image = XGetImage(x, w, px, py, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return 0xDEADBEEF;
    const auto pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
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
  plugin = OnThisServer();
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
  APlugin reference(&Host);
  EditorOf(reference).setWindowSystem(headless);
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
  plugin = OnThisServer();
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
  plugin = OnThisServer();
  const Window unknown = host + 0x1000;  // an id of our own client that names no window
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(unknown), 0.0f), 0);
  plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
}

// A host that runs the editor from its own loop, as a run loop with timers
// and descriptor watches does, and never calls idle: it waits on the window
// system's descriptor until the next due time, then updates the system.
TEST_F(EditorOnXvfb, AHostsRunLoopDrivesTheEditorWithoutIdle) {
  plugin = OnThisServer();
  for (int i = 1; i <= 32; ++i) plugin->setParameter(i, 0.0f);
  ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
  APluginEditor& editor = EditorOf(*plugin);
  const int fd = editor.getFileDescriptor();
  ASSERT_GE(fd, 0) << "the X connection's descriptor";
  int timedOut = 0, woken = 0;
  // The loop, until done() holds (or two seconds passed, which fails).
  const auto runUntil = [&](const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < until) {
      XSync(x, False);  // the test's own requests have reached the server
      const int timeout = editor.getTimeout();
      EXPECT_GE(timeout, 0) << "an open editor always has its refresh scheduled";
      EXPECT_LE(timeout, 50) << "the refresh comes every 50 ms";
      pollfd watch{fd, POLLIN, 0};
      ++(poll(&watch, 1, timeout < 0 ? 100 : timeout) > 0 ? woken : timedOut);
      editor.updateWindowSystem();
    }
    return done();
  };
  const int stepX = 87 + 30 * 4 + 15, stepY = 92;  // step 5's centre
  const auto settled = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
  runUntil([&] { return std::chrono::steady_clock::now() > settled; });
  const std::uint32_t unlit = ColourAt(host, stepX, stepY);

  // The host sets step 5: the refresh shows it.
  timedOut = 0;
  plugin->setParameter(5, 1.0f);
  EXPECT_TRUE(runUntil([&] { return ColourAt(host, stepX, stepY) != unlit; })) << "step 5 lit on screen";
  EXPECT_GT(timedOut, 0) << "the due time woke the loop";

  // The user clicks step 3 (centre 162, 92): the host hears it as automation.
  woken = 0;
  automated.clear();
  XTestFakeMotionEvent(x, 0, kHostX + 162, kHostY + 92, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  const auto automation = std::make_pair(plugin->getAeffect(), VstInt32{3});
  EXPECT_TRUE(runUntil([&] { return std::count(automated.begin(), automated.end(), automation) == 1; }));
  EXPECT_EQ(plugin->getParameter(3), 1.0f);
  EXPECT_GT(woken, 0) << "the descriptor woke the loop";

  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  editor.updateWindowSystem();  // what the close itself read from the server
  EXPECT_EQ(editor.getTimeout(), -1) << "a closed editor has nothing scheduled";
}

// Two editors in one process, as the desktop gives them, each in a window
// system of its own: each hears only its own input, and one going away
// leaves the other working.
TEST_F(EditorOnXvfb, TwoEditorsKeepApartAndOneGoingLeavesTheOther) {
  setenv("DISPLAY", server->Name().c_str(), 1);
  const Window lower = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 560, kWidth, 200, 0, 0, 0x808080);
  XMapWindow(x, lower);
  XSync(x, False);
  plugin = std::make_unique<APlugin>(&Host);
  APlugin other(&Host);
  for (APlugin* p : {plugin.get(), &other})
    for (int i = 1; i <= 32; ++i) p->setParameter(i, 0.0f);
  ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
  ASSERT_EQ(other.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(lower), 0.0f), 1);
  ASSERT_NE(EditorOf(*plugin).getWindowSystem(), EditorOf(other).getWindowSystem());
  EXPECT_NE(EditorOf(*plugin).getFileDescriptor(), EditorOf(other).getFileDescriptor());

  const auto clickStep = [&](int n) {  // in the lower editor
    XTestFakeMotionEvent(x, 0, 87 + 30 * (n - 1) + 15, 560 + 92, CurrentTime);
    XTestFakeButtonEvent(x, 1, True, CurrentTime);
    XTestFakeButtonEvent(x, 1, False, CurrentTime);
    XSync(x, False);
  };
  const auto idleOther = [&](int step) {
    for (int i = 0; i < 100 && other.getParameter(step) != 1.0f; ++i) {
      XSync(x, False);
      other.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return other.getParameter(step) == 1.0f;
  };
  automated.clear();
  clickStep(3);
  EXPECT_TRUE(idleOther(3));
  plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(plugin->getParameter(3), 0.0f) << "the upper editor heard nothing";
  EXPECT_EQ(automated, (std::vector<std::pair<AEffect*, VstInt32>>{{other.getAeffect(), 3}}));

  plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  plugin.reset();
  clickStep(4);
  EXPECT_TRUE(idleOther(4)) << "the lower editor still hears its clicks";
  other.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  unsetenv("DISPLAY");
}

// No window system given beforehand, as inside a host: the window of the X
// display given as parent makes the framework give the editor an X11 one.
TEST_F(EditorOnXvfb, AnXWindowAsParentSelectsTheX11Backend) {
  setenv("DISPLAY", server->Name().c_str(), 1);
  plugin = std::make_unique<APlugin>(&Host);
  ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
  ASSERT_NE(EditorOf(*plugin).getWindowSystem(), nullptr);
  EXPECT_TRUE(framework::IsX11Backend(*EditorOf(*plugin).getWindowSystem()));
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
