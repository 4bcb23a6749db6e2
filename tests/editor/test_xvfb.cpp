// The editor end to end on a real X server (a private Xvfb): a host's small
// top-level window, effEditOpen into it with the X11 window backend, a click
// and a drag played with XTest, and the screen compared with the editor as
// the headless backend composes it for the same values.

#include <gtest/gtest.h>

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

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on

namespace {

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
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
