// The VST3 editor view as a Linux host drives it, on a private Xvfb: the
// effect made through the factory, the view from createView("editor"), a
// frame of ours that is also the host's run loop (RunLoopFrame.h), which is
// all that runs the view: no idle call exists. The screen is held against
// the VST 2 library's editor showing the same values, XTest plays the user,
// and the component handler hears the gestures.

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "plugin/Parameters.h"
#include "tests/framework/x11/XvfbServer.h"
#include "tests/support/EditorPictures.h"
#include "tests/vst3/RunLoopFrame.h"
#include "tools/hostkit/PluginHost.h"
#include "vst3/Factory.h"
#include "vst3/Identity.h"
#include "vst3/api/Vst3.h"
// Last: Xlib's macros would break the headers above.
#include "tests/framework/x11/XResProbe.h"
#include "tests/support/XScreen.h"

namespace {

using namespace plonktest;
using namespace std::chrono_literals;
using vst3test::RecordingHandler;
using vst3test::RunLoopFrame;
using Edit = RecordingHandler::Edit;

constexpr int kHostX = 40, kHostY = 30;  // where the host's window sits on the screen
constexpr const char* kX11 = vst3::kPlatformTypeX11EmbedWindowID;

// The pointer on the screen at a point of the editor.
Point OnScreen(Point p) {
  return {kHostX + p.x, kHostY + p.y};
}

// Descriptors the process has open.
int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

class ViewOnXvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TXvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    server = std::make_unique<TXvfbServer>(24);
    ASSERT_FALSE(server->Name().empty()) << "Xvfb did not start";
    // The view finds its display where a host's plug-ins do.
    setenv("DISPLAY", server->Name().c_str(), 1);
    x = XOpenDisplay(server->Name().c_str());
    ASSERT_NE(x, nullptr);
    host = XCreateSimpleWindow(x, DefaultRootWindow(x), kHostX, kHostY, kWidth, kHeight, 0, 0, 0x808080);
    XMapWindow(x, host);
    XSync(x, False);

    void* made = nullptr;
    ASSERT_EQ(
        vst3plugin::TheFactory().createInstance(vst3plugin::kEffectClassId, vst3::IComponent::iid, &made),
        vst3::kResultOk);
    component = static_cast<vst3::IComponent*>(made);
    ASSERT_EQ(component->initialize(nullptr), vst3::kResultOk);
    void* asked = nullptr;
    ASSERT_EQ(component->queryInterface(vst3::IEditController::iid, &asked), vst3::kResultOk);
    controller = static_cast<vst3::IEditController*>(asked);
    ASSERT_EQ(controller->setComponentHandler(&handler), vst3::kResultOk);
  }

  void TearDown() override {
    // As a host closes its editor: the run loop lets go of a view that is
    // removed.
    for (vst3::IPlugView* view : views) {
      view->removed();
      view->release();
    }
    if (controller != nullptr) controller->release();
    if (component != nullptr) {
      component->terminate();
      component->release();
    }
    if (x != nullptr) XCloseDisplay(x);
    unsetenv("DISPLAY");
  }

  // A view of the effect, released with the test.
  vst3::IPlugView* NewView() {
    vst3::IPlugView* view = controller->createView("editor");
    if (view != nullptr) views.push_back(view);
    return view;
  }

  // The view in the host's window with the run loop's frame, as hosts open
  // it; true when attached.
  bool Open(vst3::IPlugView* view, Window parent) {
    view->setFrame(&loop);
    return view->attached(reinterpret_cast<void*>(parent), kX11) == vst3::kResultOk;
  }

  void SetValues(const Values& values) {
    for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
      controller->setParamNormalized(static_cast<vst3::ParamID>(slot), values[slot]);
  }

  // The loop's turns, with the test's own requests through to the server
  // before each.
  bool RunUntil(const std::function<bool()>& done) {
    return loop.RunUntil(done, 2s, [&] { XSync(x, False); });
  }
  void RunFor(std::chrono::milliseconds time) {
    loop.RunFor(time, [&] { XSync(x, False); });
  }
  // Long enough for two of the window's 50 ms refreshes.
  void Refresh() { RunFor(120ms); }

  // The editor's window in the host's, once it shows.
  bool Shown() {
    const std::vector<Window> children = Children(x, host);
    return children.size() == 1 && Viewable(x, children[0], kWidth, kHeight);
  }

  // Whether the last edit the handler heard ends a gesture.
  bool GestureEnded() { return !handler.edits.empty() && handler.edits.back().kind == 'e'; }

  std::unique_ptr<TXvfbServer> server;
  Display* x = nullptr;
  Window host = 0;
  RunLoopFrame loop;
  RecordingHandler handler;
  vst3::IComponent* component = nullptr;
  vst3::IEditController* controller = nullptr;
  std::vector<vst3::IPlugView*> views;
};

// Values far from the defaults, a knob between two of its hundredths.
Values Varied() {
  Values values = Defaults();
  for (int n = 1; n <= parameters::kSteps; ++n) {
    values[parameters::kStep1 + n - 1] = n % 3 == 0 ? 1.0f : 0.0f;
    values[parameters::kTie1 + n - 1] = n % 4 == 1 ? 1.0f : 0.0f;
  }
  values[parameters::kGateEnable] = 0.0f;
  values[parameters::kFd1Cutoff] = 0.623f;
  values[parameters::kFd1FilterType] = 1.0f;
  values[parameters::kFd2Enable] = 0.0f;
  values[parameters::kLfo1Period] = 0.8f;
  return values;
}

// Opened into the host's window, the view registers one timer and the X
// connection's descriptor with the run loop, which alone brings the window
// up and paints it: the screen is the VST 2 editor's for the same values,
// pixel for pixel.
TEST_F(ViewOnXvfb, TheRunLoopAloneShowsTheWindowAsTheVst2EditorDoes) {
  const Values values = Varied();
  SetValues(values);
  vst3::IPlugView* view = NewView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Open(view, host));
  EXPECT_EQ(loop.Timers(), 1u);
  ASSERT_EQ(loop.Handlers(), 1u);
  const int fd = loop.Descriptors()[0];
  struct stat status {};
  ASSERT_EQ(fstat(fd, &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode)) << "a connection to the X server";
  for (auto interval : loop.Intervals()) EXPECT_LE(interval, 50ms) << "often enough for the 50 ms refresh";

  ASSERT_TRUE(RunUntil([&] { return Shown(); }));
  const Window editor = Children(x, host)[0];
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(x, editor, &attributes), 0);
  EXPECT_EQ(attributes.x, 0);
  EXPECT_EQ(attributes.y, 0);
  Refresh();
  EXPECT_GT(loop.timerCalls, 0);
  const Picture screen = Grab(x, host, 0, 0, kWidth, kHeight);
  EXPECT_TRUE(loop.resizes.empty()) << "a view of a fixed size asks for no other";
  EXPECT_TRUE(handler.edits.empty()) << "opening writes nothing";

  // The VST 2 library as built, its editor in the same window with the
  // same values, idled as a VST 2 host does.
  ASSERT_EQ(view->removed(), vst3::kResultOk);
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  ASSERT_TRUE(library.ok()) << library.error();
  hostkit::PluginHost kit;
  ASSERT_NE(kit.create(library.entry()), nullptr);
  for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot) kit.setParameter(slot, values[slot]);
  ASSERT_EQ(kit.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < 2s &&
         (!Shown() || std::chrono::steady_clock::now() - start < 120ms)) {
    XSync(x, False);
    kit.dispatch(effEditIdle);
    std::this_thread::sleep_for(10ms);
  }
  const Picture reference = Grab(x, host, 0, 0, kWidth, kHeight);
  kit.dispatch(effEditClose);
  kit.close();

  ASSERT_EQ(screen.size(), static_cast<std::size_t>(kWidth) * kHeight);
  EXPECT_EQ(Differing(screen, reference), 0u) << "pixels that differ from the VST 2 editor's";
  EXPECT_GT(Differing(screen, EditorPicture(Defaults())), 1000u) << "the values are shown, not the defaults";
}

// The host changes a value behind the editor's back: the window's 50 ms
// refresh, run from the host's timer, shows it without any input.
TEST_F(ViewOnXvfb, TheRefreshShowsAHostsChangeWithoutInput) {
  Values values = Defaults();
  for (int slot = parameters::kStep1; slot <= parameters::kLastTie; ++slot) values[slot] = 0.0f;
  SetValues(values);
  vst3::IPlugView* view = NewView();
  ASSERT_TRUE(Open(view, host));
  ASSERT_TRUE(RunUntil([&] { return Shown(); }));
  Refresh();

  const Point step5 = StepCentre(5);
  const auto colour = [&] { return Grab(x, host, step5.x, step5.y, 1, 1).at(0); };
  values[parameters::kStep1 + 4] = 1.0f;
  const std::uint32_t lit = EditorPicture(values)[static_cast<std::size_t>(step5.y) * kWidth + step5.x];
  ASSERT_NE(colour(), lit);
  loop.timerCalls = loop.fdCalls = 0;
  controller->setParamNormalized(parameters::kStep1 + 4, 1.0);
  EXPECT_TRUE(RunUntil([&] { return colour() == lit; })) << "step 5 lit on screen";
  EXPECT_GT(loop.timerCalls, 0);
  EXPECT_TRUE(handler.edits.empty()) << "the host's value is not sent back";
}

// Clicks on a step, a tie and a switch, and a drag of a slider, as XTest
// plays them: the component handler hears each gesture as begin, perform
// and end edits of the parameter's ID with the value it now has.
TEST_F(ViewOnXvfb, ClicksAndADragReachTheComponentHandler) {
  Values values = Defaults();
  for (int slot = parameters::kStep1; slot <= parameters::kLastTie; ++slot) values[slot] = 0.0f;
  values[parameters::kFd1Cutoff] = 0.2f;
  SetValues(values);
  vst3::IPlugView* view = NewView();
  ASSERT_TRUE(Open(view, host));
  ASSERT_TRUE(RunUntil([&] { return Shown(); }));
  Refresh();
  loop.fdCalls = 0;

  const struct {
    const char* what;
    Point at;
    vst3::ParamID id;
    double value;
  } clicks[] = {
      {"step 3", StepCentre(3), parameters::kStep1 + 2, 1.0},
      {"tie 4", TieCentre(4), parameters::kTie1 + 3, 1.0},
      {"FD1 enable", {251, 175}, parameters::kFd1Enable, 0.0},
  };
  for (const auto& click : clicks) {
    SCOPED_TRACE(click.what);
    handler.edits.clear();
    Click(x, OnScreen(click.at).x, OnScreen(click.at).y);
    ASSERT_TRUE(RunUntil([&] { return GestureEnded(); }));
    EXPECT_EQ(handler.edits,
              (std::vector<Edit>{{'b', click.id, 0.0}, {'p', click.id, click.value}, {'e', click.id, 0.0}}));
    EXPECT_EQ(controller->getParamNormalized(click.id), click.value);
  }
  EXPECT_GT(loop.fdCalls, 0) << "the descriptor woke the loop for the input";

  // FD1's cutoff slider dragged 10 pixels right: a hundredth a pixel.
  handler.edits.clear();
  const Point grip = OnScreen(kFd1CutoffAt02);
  XTestFakeMotionEvent(x, 0, grip.x, grip.y, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  for (int i = 0; i < 10; ++i) {
    RunFor(20ms);
    XTestFakeRelativeMotionEvent(x, 1, 0, CurrentTime);
  }
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  ASSERT_TRUE(RunUntil([&] { return GestureEnded(); }));
  const auto& edits = handler.edits;
  ASSERT_GE(edits.size(), 3u);
  const vst3::ParamID cutoff = parameters::kFd1Cutoff;
  EXPECT_EQ(edits.front(), (Edit{'b', cutoff, 0.0}));
  EXPECT_EQ(edits.back(), (Edit{'e', cutoff, 0.0}));
  double last = 0.2f;
  for (std::size_t i = 1; i + 1 < edits.size(); ++i) {
    EXPECT_EQ(edits[i].kind, 'p') << i;
    EXPECT_EQ(edits[i].id, cutoff) << i;
    EXPECT_GT(edits[i].value, last) << "a drag to the right raises the cutoff";
    last = edits[i].value;
  }
  EXPECT_EQ(last, 0.3f);
  EXPECT_EQ(controller->getParamNormalized(cutoff), 0.3f);
}

// removed() ends a drag under way for the host, takes the window out of the
// host's, ends every registration with the run loop and closes the view's
// connection to the X server.
TEST_F(ViewOnXvfb, RemovedLeavesNothingRegisteredAndNoWindow) {
  const int clients = ServerClients(x);
  controller->setParamNormalized(parameters::kFd1Cutoff, 0.2f);
  vst3::IPlugView* view = NewView();
  ASSERT_TRUE(Open(view, host));
  ASSERT_TRUE(RunUntil([&] { return Shown(); }));
  EXPECT_EQ(ServerClients(x), clients + 1);

  const Point grip = OnScreen(kFd1CutoffAt02);
  XTestFakeMotionEvent(x, 0, grip.x, grip.y, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  RunFor(30ms);
  XTestFakeRelativeMotionEvent(x, 1, 0, CurrentTime);
  ASSERT_TRUE(RunUntil([&] { return handler.edits.size() >= 2; }));
  EXPECT_EQ(handler.edits.front(), (Edit{'b', parameters::kFd1Cutoff, 0.0}));

  EXPECT_EQ(view->removed(), vst3::kResultOk);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  XSync(x, False);
  EXPECT_EQ(handler.edits.back(), (Edit{'e', parameters::kFd1Cutoff, 0.0})) << "the drag ended with the view";
  EXPECT_EQ(loop.Timers(), 0u);
  EXPECT_EQ(loop.Handlers(), 0u);
  EXPECT_EQ(loop.mistakes, 0);
  EXPECT_TRUE(Children(x, host).empty()) << "the window is gone";
  EXPECT_EQ(ServerClients(x), clients) << "the view's connection is closed";
  EXPECT_EQ(view->removed(), vst3::kResultFalse) << "removed twice";

  views.clear();
  EXPECT_EQ(view->release(), 0u) << "the run loop holds no reference to the view";
  EXPECT_EQ(loop.References(), 1) << "nor the view to the run loop";
}

// What a host may hand the view that it cannot serve: answered, nothing
// made, nothing registered, and the view still opens afterwards; the size
// is fixed and known before the view is attached.
TEST_F(ViewOnXvfb, RefusesWhatItCannotServeAndKeepsItsSize) {
  vst3::IPlugView* view = NewView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(controller->createView("other"), nullptr);
  EXPECT_EQ(controller->createView(nullptr), nullptr);

  const struct {
    const char* type;
    vst3::tresult answer;
  } types[] = {{kX11, vst3::kResultTrue},
               {"HWND", vst3::kResultFalse},
               {"NSView", vst3::kResultFalse},
               {"", vst3::kResultFalse},
               {nullptr, vst3::kResultFalse}};
  for (const auto& t : types)
    EXPECT_EQ(view->isPlatformTypeSupported(t.type), t.answer) << (t.type ? t.type : "null");

  vst3::ViewRect size{1, 2, 3, 4};
  ASSERT_EQ(view->getSize(&size), vst3::kResultOk);
  EXPECT_EQ((std::vector<int>{size.left, size.top, size.right, size.bottom}),
            (std::vector<int>{0, 0, kWidth, kHeight}))
      << "before attached";
  EXPECT_EQ(view->getSize(nullptr), vst3::kInvalidArgument);
  EXPECT_EQ(view->removed(), vst3::kResultFalse) << "removed without attached";

  view->setFrame(&loop);
  const int clients = ServerClients(x);
  const struct {
    const char* what;
    std::uintptr_t parent;
    const char* type;
  } refused[] = {
      {"no parent", 0, kX11},
      {"an id of the test's connection that names no window", host + 0x1000, kX11},
      {"an id no client has", 0x1FFFFF00, kX11},
      {"an id too large for X", ~std::uintptr_t{0}, kX11},
      {"a Windows host's type", host, "HWND"},
      {"no type", host, nullptr},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(view->attached(reinterpret_cast<void*>(r.parent), r.type), vst3::kResultFalse);
    XSync(x, False);
    EXPECT_EQ(loop.Timers() + loop.Handlers(), 0u);
    EXPECT_TRUE(Children(x, host).empty());
    EXPECT_EQ(ServerClients(x), clients) << "no connection left open";
    EXPECT_EQ(view->removed(), vst3::kResultFalse);
  }

  ASSERT_EQ(view->attached(reinterpret_cast<void*>(host), kX11), vst3::kResultOk);
  const Window other = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 100, 100, 0, 0, 0);
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(host), kX11), vst3::kResultFalse) << "attached twice";
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(other), kX11), vst3::kResultFalse)
      << "attached elsewhere too";
  ASSERT_TRUE(RunUntil([&] { return Shown(); }));
  EXPECT_TRUE(Children(x, other).empty());
  EXPECT_EQ(loop.Timers(), 1u);
  EXPECT_EQ(loop.Handlers(), 1u);

  // The size stays what it is, whatever the host proposes or scales.
  EXPECT_EQ(view->canResize(), vst3::kResultFalse);
  vst3::ViewRect proposed{10, 20, 300, 200};
  EXPECT_EQ(view->checkSizeConstraint(&proposed), vst3::kResultTrue);
  EXPECT_EQ((std::vector<int>{proposed.left, proposed.top, proposed.right, proposed.bottom}),
            (std::vector<int>{10, 20, 10 + kWidth, 20 + kHeight}));
  EXPECT_EQ(view->checkSizeConstraint(nullptr), vst3::kInvalidArgument);
  void* scaling = nullptr;
  ASSERT_EQ(view->queryInterface(vst3::IPlugViewContentScaleSupport::iid, &scaling), vst3::kResultOk);
  auto* scale = static_cast<vst3::IPlugViewContentScaleSupport*>(scaling);
  EXPECT_EQ(scale->setContentScaleFactor(2.0f), vst3::kResultOk);
  EXPECT_EQ(scale->setContentScaleFactor(std::nanf("")), vst3::kInvalidArgument);
  scale->release();
  vst3::ViewRect larger{0, 0, 2 * kWidth, 2 * kHeight};
  EXPECT_EQ(view->onSize(&larger), vst3::kResultOk);
  ASSERT_EQ(view->getSize(&size), vst3::kResultOk);
  EXPECT_EQ((std::vector<int>{size.right, size.bottom}), (std::vector<int>{kWidth, kHeight}));
  RunFor(60ms);
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(x, Children(x, host).at(0), &attributes), 0);
  EXPECT_EQ((std::vector<int>{attributes.width, attributes.height}), (std::vector<int>{kWidth, kHeight}));
  EXPECT_TRUE(loop.resizes.empty());

  EXPECT_EQ(view->removed(), vst3::kResultOk);
  EXPECT_EQ(loop.mistakes, 0);
  XDestroyWindow(x, other);
}

// The frame may come after attached, and go before removed: the run loop
// of the frame the view has drives it, and a frame taken away keeps
// nothing of the view's registered.
TEST_F(ViewOnXvfb, TheRunLoopIsTheFramesWheneverTheFrameComes) {
  vst3::IPlugView* view = NewView();
  ASSERT_EQ(view->attached(reinterpret_cast<void*>(host), kX11), vst3::kResultOk);
  EXPECT_EQ(loop.Timers() + loop.Handlers(), 0u);
  ASSERT_EQ(view->setFrame(&loop), vst3::kResultOk);
  EXPECT_EQ(loop.Timers(), 1u);
  EXPECT_EQ(loop.Handlers(), 1u);
  ASSERT_TRUE(RunUntil([&] { return Shown(); }));
  controller->setParamNormalized(parameters::kStep1 + 1, 1.0);
  Values values = Defaults();
  values[parameters::kStep1 + 1] = 1.0f;
  const Picture expected = EditorPicture(values);
  const Point step2 = StepCentre(2);
  const std::size_t at = static_cast<std::size_t>(step2.y) * kWidth + step2.x;
  EXPECT_TRUE(RunUntil([&] {
    const Picture screen = Grab(x, host, 0, 0, kWidth, kHeight);
    return screen.size() == expected.size() && screen[at] == expected[at] &&
           Differing(screen, expected) < expected.size() / 100;
  })) << "painted, and step 2 lit by the refresh";

  RunLoopFrame other;
  ASSERT_EQ(view->setFrame(&other), vst3::kResultOk);
  EXPECT_EQ(loop.Timers() + loop.Handlers(), 0u) << "the old frame's loop is left";
  EXPECT_EQ(other.Timers(), 1u);
  EXPECT_EQ(other.Handlers(), 1u);
  ASSERT_EQ(view->setFrame(nullptr), vst3::kResultOk);
  EXPECT_EQ(other.Timers() + other.Handlers(), 0u);
  EXPECT_EQ(view->removed(), vst3::kResultOk);
  EXPECT_EQ(loop.mistakes + other.mistakes, 0);
  EXPECT_EQ(loop.References(), 1);
  EXPECT_EQ(other.References(), 1);
}

// A host releases its effect before the view it made: the view keeps the
// effect (and through it the host's handler) alive and working, and the
// effect goes with the view's last reference.
TEST_F(ViewOnXvfb, TheViewKeepsTheEffectAlive) {
  vst3::IPlugView* view = NewView();
  ASSERT_NE(view, nullptr);
  views.clear();
  const int heldByEffect = handler.References() - 1;
  ASSERT_EQ(heldByEffect, 1);
  controller->release();
  controller = nullptr;
  EXPECT_EQ(component->release(), 1u) << "the view's reference is left";
  component = nullptr;
  EXPECT_EQ(handler.References(), 1 + heldByEffect) << "the effect is still there";

  ASSERT_TRUE(Open(view, host));
  ASSERT_TRUE(RunUntil([&] { return Shown(); }));
  Click(x, OnScreen(StepCentre(4)).x, OnScreen(StepCentre(4)).y);
  ASSERT_TRUE(RunUntil([&] { return GestureEnded(); }));
  const vst3::ParamID step4 = parameters::kStep1 + 3;
  EXPECT_EQ(handler.edits, (std::vector<Edit>{{'b', step4, 0.0}, {'p', step4, 1.0}, {'e', step4, 0.0}}));
  EXPECT_EQ(view->removed(), vst3::kResultOk);

  EXPECT_EQ(view->release(), 0u);
  EXPECT_EQ(handler.References(), 1) << "the effect went with the view and let go of the handler";
}

// Hosts open and close editors many times in a session: a hundred attach
// and remove cycles of one view, and a hundred views made, opened, closed
// and released, leave no window, registration, X client or descriptor
// behind (the sanitizer build's leak check counts the memory).
TEST_F(ViewOnXvfb, AHundredOpensAndClosesLeaveNothingBehind) {
  const int clients = ServerClients(x);
  const int descriptors = OpenDescriptors();
  const auto cycle = [&](vst3::IPlugView* view) {
    if (!Open(view, host)) return false;
    loop.Turn(0ms);  // whatever the server has sent by now
    const bool one = Children(x, host).size() == 1 && loop.Timers() == 1 && loop.Handlers() == 1;
    return view->removed() == vst3::kResultOk && one;
  };

  vst3::IPlugView* kept = NewView();
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(cycle(kept)) << "cycle " << i;
  for (int i = 0; i < 100; ++i) {
    vst3::IPlugView* view = controller->createView("editor");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(cycle(view)) << "view " << i;
    ASSERT_EQ(view->release(), 0u) << "view " << i;
  }

  XSync(x, False);
  EXPECT_TRUE(Children(x, host).empty());
  EXPECT_EQ(loop.Timers() + loop.Handlers(), 0u);
  EXPECT_EQ(loop.mistakes, 0);
  EXPECT_EQ(ServerClients(x), clients);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(loop.References(), 1);
}

}  // namespace
