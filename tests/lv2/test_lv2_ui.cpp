// The LV2 UI loaded as a host loads it (dlopen, lv2ui_descriptor) into
// windows of ours on a private Xvfb, with a write function and ui:touch that
// record what reaches them, ui:resize, port events and idle calls as a host
// makes them; XTest plays the user. The screen is compared with the editor as
// the headless backend composes it for the same values.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/ui/ui.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "lv2/Ports.h"
#include "plugin/Parameters.h"
#include "tests/framework/x11/XvfbServer.h"
#include "tests/support/EditorPictures.h"
// Last: Xlib's macros would break the headers above.
#include "tests/support/XScreen.h"

namespace {

using namespace plonktest;
using lv2plugin::portOfSlot;

// What the UI asked of its host, in order.
struct Recorder {
  struct Event {
    char kind;  // 'w' a write, '+' a touch taking hold, '-' letting go
    std::uint32_t port;
    float value;
    bool operator==(const Event&) const = default;
  };
  std::vector<Event> events;
  std::vector<std::pair<int, int>> sizes;
  int malformed = 0;

  static void Write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                    std::uint32_t protocol, const void* buffer) {
    auto* self = static_cast<Recorder*>(controller);
    if (size != sizeof(float) || protocol != 0 || buffer == nullptr) {
      ++self->malformed;
      return;
    }
    float value;
    std::memcpy(&value, buffer, sizeof value);
    self->events.push_back({'w', port, value});
  }
  static void Touch(LV2UI_Feature_Handle handle, std::uint32_t port, bool grabbed) {
    static_cast<Recorder*>(handle)->events.push_back({grabbed ? '+' : '-', port, 0.0f});
  }
  static int Resize(LV2UI_Feature_Handle handle, int width, int height) {
    static_cast<Recorder*>(handle)->sizes.emplace_back(width, height);
    return 0;
  }
  std::vector<Event> WritesTo(std::uint32_t port) const {
    std::vector<Event> out;
    for (const Event& e : events)
      if (e.kind == 'w' && e.port == port) out.push_back(e);
    return out;
  }
};

// A UI the way a host holds one: its features, its handle, its window.
struct HostedUi {
  Recorder recorder;
  LV2UI_Touch touch{&recorder, &Recorder::Touch};
  LV2UI_Resize resize{&recorder, &Recorder::Resize};
  LV2_Feature parentFeature{LV2_UI__parent, nullptr};
  LV2_Feature touchFeature{LV2_UI__touch, &touch};
  LV2_Feature resizeFeature{LV2_UI__resize, &resize};
  LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
  LV2UI_Handle handle = nullptr;
  Window widget = 0;
};

class UiOnXvfb : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!plonktest::TXvfbServer::Installed()) return;
    // One server and one load of the library for the whole program: the UI
    // keeps its window backend, on $DISPLAY, for as long as it is loaded.
    server = new plonktest::TXvfbServer(24);
    if (server->Name().empty()) return;
    setenv("DISPLAY", server->Name().c_str(), 1);
    library = dlopen(PLONKRIFT_LV2_UI_BINARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    using Entry = const LV2UI_Descriptor* (*)(std::uint32_t);
    if (auto entry = reinterpret_cast<Entry>(dlsym(library, "lv2ui_descriptor"))) {
      descriptor = entry(0);
      secondDescriptor = entry(1);
    }
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    if (!plonktest::TXvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(server, nullptr);
    ASSERT_FALSE(server->Name().empty()) << "Xvfb did not start";
    ASSERT_NE(library, nullptr) << dlerror();
    ASSERT_NE(descriptor, nullptr);
    x = XOpenDisplay(server->Name().c_str());
    ASSERT_NE(x, nullptr);
    const auto* idle =
        static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    idleFunction = idle->idle;
  }
  void TearDown() override {
    for (auto& ui : uis)
      if (ui->handle != nullptr) descriptor->cleanup(ui->handle);
    uis.clear();
    if (x != nullptr) {
      for (Window w : hosts) XDestroyWindow(x, w);
      XCloseDisplay(x);
    }
  }

  // A host's top-level window at (left, top) on the screen, the editor's size.
  Window HostWindow(int left, int top) {
    const Window w = XCreateSimpleWindow(x, DefaultRootWindow(x), left, top, kWidth, kHeight, 0, 0, 0x808080);
    XMapWindow(x, w);
    XSync(x, False);
    hosts.push_back(w);
    return w;
  }

  // Instantiates the UI in parent (none: 0) with the features asked for.
  HostedUi& Open(Window parent, bool withTouch = true, const char* pluginUri = lv2plugin::kUri) {
    auto ui = std::make_unique<HostedUi>();
    ui->parentFeature.data = reinterpret_cast<void*>(parent);
    std::vector<const LV2_Feature*> features = {&ui->resizeFeature, &ui->idleFeature};
    if (parent != 0) features.push_back(&ui->parentFeature);
    if (withTouch) features.push_back(&ui->touchFeature);
    features.push_back(nullptr);
    LV2UI_Widget widget = nullptr;
    ui->handle = descriptor->instantiate(descriptor, pluginUri, "/nowhere/", &Recorder::Write, &ui->recorder,
                                         &widget, features.data());
    ui->widget = static_cast<Window>(reinterpret_cast<std::uintptr_t>(widget));
    uis.push_back(std::move(ui));
    return *uis.back();
  }

  void Close(HostedUi& ui) {
    descriptor->cleanup(ui.handle);
    ui.handle = nullptr;
  }

  void PortEvent(HostedUi& ui, int slot, float value) {
    descriptor->port_event(ui.handle, portOfSlot(slot), sizeof value, 0, &value);
  }

  // Idles every open UI every 10 ms, as a host does, for at least the given
  // time and until done() holds (at most two seconds).
  bool IdleUntil(const std::function<bool()>& done, int atLeastMs = 0) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      XSync(x, False);
      for (auto& ui : uis)
        if (ui->handle != nullptr) idleFunction(ui->handle);
      const auto elapsed = std::chrono::steady_clock::now() - start;
      if (elapsed >= std::chrono::milliseconds(atLeastMs) && done()) return true;
      if (elapsed > std::chrono::seconds(2)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // Long enough for two of the window's 50 ms refreshes.
  void IdleRefresh() {
    IdleUntil([] { return true; }, 120);
  }

  Picture Screen(Window host) { return Grab(x, host, 0, 0, kWidth, kHeight); }

  static plonktest::TXvfbServer* server;
  static void* library;
  static const LV2UI_Descriptor* descriptor;
  static const LV2UI_Descriptor* secondDescriptor;
  Display* x = nullptr;
  int (*idleFunction)(LV2UI_Handle) = nullptr;
  std::vector<Window> hosts;
  std::vector<std::unique_ptr<HostedUi>> uis;
};

plonktest::TXvfbServer* UiOnXvfb::server = nullptr;
void* UiOnXvfb::library = nullptr;
const LV2UI_Descriptor* UiOnXvfb::descriptor = nullptr;
const LV2UI_Descriptor* UiOnXvfb::secondDescriptor = nullptr;

TEST_F(UiOnXvfb, OpensInsideTheHostsWindowAtItsSizeAndGoesWithCleanup) {
  EXPECT_STREQ(descriptor->URI, lv2plugin::kUiUri);
  EXPECT_EQ(secondDescriptor, nullptr);
  EXPECT_EQ(descriptor->extension_data(LV2_UI__showInterface), nullptr);

  const Window host = HostWindow(40, 30);
  HostedUi& ui = Open(host);
  ASSERT_NE(ui.handle, nullptr);
  ASSERT_NE(ui.widget, 0u);
  EXPECT_EQ(ParentOf(x, ui.widget), host) << "the widget is a child of the host's window";
  EXPECT_TRUE(IdleUntil([&] { return Viewable(x, ui.widget, kWidth, kHeight); }));
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(x, ui.widget, &attributes), 0);
  EXPECT_EQ(attributes.x, 0);
  EXPECT_EQ(attributes.y, 0);
  EXPECT_EQ(ui.recorder.sizes, (std::vector<std::pair<int, int>>{{kWidth, kHeight}}))
      << "told through ui:resize";
  EXPECT_TRUE(ui.recorder.events.empty()) << "opening writes nothing";

  Close(ui);
  XSync(x, False);
  EXPECT_TRUE(Children(x, host).empty()) << "cleanup takes the window away";
}

TEST_F(UiOnXvfb, RefusesWhatItCannotServeAndStaysUsable) {
  const Window host = HostWindow(40, 30);
  EXPECT_EQ(Open(0).handle, nullptr) << "no parent";
  EXPECT_EQ(Open(host, true, "urn:someone:else").handle, nullptr) << "another plug-in";
  EXPECT_EQ(Open(host, true, nullptr).handle, nullptr) << "no plug-in URI";
  EXPECT_EQ(Open(0x1FFFFF00).handle, nullptr) << "a parent that is no window";
  XSync(x, False);
  EXPECT_TRUE(Children(x, host).empty());

  HostedUi& ui = Open(host);
  ASSERT_NE(ui.handle, nullptr);
  EXPECT_TRUE(IdleUntil([&] { return Viewable(x, ui.widget, kWidth, kHeight); }));
}

// Values of every slot sent as port events show as the editor draws them
// and are not sent back (a knob between two hundredths included); values
// outside 0..1 and NaN show as the plug-in plays them, and events of other
// ports, formats and sizes change nothing.
TEST_F(UiOnXvfb, PortEventsMoveTheControls) {
  const Window host = HostWindow(40, 30);
  HostedUi& ui = Open(host);
  ASSERT_NE(ui.handle, nullptr);

  Values values = Defaults();
  for (int n = 1; n <= parameters::kSteps; ++n) {
    values[parameters::kStep1 + n - 1] = n % 3 == 0 ? 1.0f : 0.0f;
    values[parameters::kTie1 + n - 1] = n % 4 == 1 ? 1.0f : 0.0f;
  }
  values[parameters::kGateEnable] = 0.0f;
  values[parameters::kFd1Cutoff] = 0.623f;  // between two of the knob's hundredths
  values[parameters::kFd1FilterType] = 1.0f;
  values[parameters::kFd2Enable] = 0.0f;
  values[parameters::kLfo1Period] = 0.8f;
  for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot) PortEvent(ui, slot, values[slot]);
  Values shown = values;
  PortEvent(ui, parameters::kStep1 + 1, 7.5f);
  shown[parameters::kStep1 + 1] = 1.0f;
  PortEvent(ui, parameters::kStep1 + 2, std::numeric_limits<float>::quiet_NaN());
  shown[parameters::kStep1 + 2] = 0.0f;
  PortEvent(ui, parameters::kTie1, -3.0f);
  shown[parameters::kTie1] = 0.0f;
  const float one = 1.0f;
  const double wide = 1.0;
  descriptor->port_event(ui.handle, lv2plugin::kOutLeft, sizeof one, 0, &one);
  descriptor->port_event(ui.handle, lv2plugin::kControl, sizeof one, 17, &one);
  descriptor->port_event(ui.handle, lv2plugin::kNumPorts, sizeof one, 0, &one);
  descriptor->port_event(ui.handle, portOfSlot(parameters::kStep1 + 3), sizeof wide, 0, &wide);
  descriptor->port_event(ui.handle, portOfSlot(parameters::kStep1 + 4), sizeof one, 0, nullptr);
  IdleRefresh();

  const Picture screen = Screen(host);
  const Picture expected = EditorPicture(shown);
  ASSERT_EQ(screen.size(), expected.size());
  for (int n = 1; n <= parameters::kSteps; ++n) {
    const Point s = StepCentre(n), t = TieCentre(n);
    EXPECT_EQ(screen[s.y * kWidth + s.x], expected[s.y * kWidth + s.x]) << "step " << n;
    EXPECT_EQ(screen[t.y * kWidth + t.x], expected[t.y * kWidth + t.x]) << "tie " << n;
  }
  EXPECT_LT(Differing(screen, expected), screen.size() / 100);
  EXPECT_GT(Differing(screen, EditorPicture(Defaults())), 1000u) << "the events did move the controls";
  EXPECT_TRUE(ui.recorder.events.empty()) << "the host's values are not sent back";
  EXPECT_EQ(ui.recorder.malformed, 0);
}

// The plug-in's time_missing output shows the editor's notice while it is 1
// and takes it away again at 0, as the VST 2 editor does for its effect.
TEST_F(UiOnXvfb, TheNoticeFollowsThePluginsTimeMissingPort) {
  const Window host = HostWindow(40, 30);
  HostedUi& ui = Open(host);
  ASSERT_NE(ui.handle, nullptr);
  ASSERT_TRUE(IdleUntil([&] { return Viewable(x, ui.widget, kWidth, kHeight); }));
  IdleRefresh();
  const Picture plain = Screen(host);
  EXPECT_LT(Differing(plain, EditorPicture(Defaults())), plain.size() / 100) << "no notice to begin with";

  const float missing = 1.0f, back = 0.0f;
  descriptor->port_event(ui.handle, lv2plugin::kTimeMissing, sizeof missing, 0, &missing);
  IdleRefresh();
  EXPECT_GT(Differing(Screen(host), plain), 200u) << "the notice is drawn";

  descriptor->port_event(ui.handle, lv2plugin::kTimeMissing, sizeof back, 0, &back);
  IdleRefresh();
  EXPECT_EQ(Differing(Screen(host), plain), 0u) << "and taken away";
  EXPECT_TRUE(ui.recorder.events.empty());
}

TEST_F(UiOnXvfb, ClicksAndDragsWriteThePortsBetweenTouches) {
  const Window host = HostWindow(40, 30);
  HostedUi& ui = Open(host);
  ASSERT_NE(ui.handle, nullptr);
  ASSERT_TRUE(IdleUntil([&] { return Viewable(x, ui.widget, kWidth, kHeight); }));

  // Step 4 is off by default: a click turns it on.
  const std::uint32_t step4 = portOfSlot(parameters::kStep1 + 3);
  Click(x, 40 + StepCentre(4).x, 30 + StepCentre(4).y);
  ASSERT_TRUE(IdleUntil([&] { return ui.recorder.events.size() >= 3; }));
  EXPECT_EQ(ui.recorder.events,
            (std::vector<Recorder::Event>{{'+', step4, 0.0f}, {'w', step4, 1.0f}, {'-', step4, 0.0f}}));

  // The host puts FD1's cutoff at 0.2; the user drags it 10 pixels right.
  ui.recorder.events.clear();
  PortEvent(ui, parameters::kFd1Cutoff, 0.2f);
  IdleRefresh();
  ASSERT_TRUE(ui.recorder.events.empty());
  XTestFakeMotionEvent(x, 0, 40 + kFd1CutoffAt02.x, 30 + kFd1CutoffAt02.y, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  for (int i = 0; i < 10; ++i) {
    IdleUntil([] { return true; });
    XTestFakeRelativeMotionEvent(x, 1, 0, CurrentTime);
  }
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  const std::uint32_t cutoff = portOfSlot(parameters::kFd1Cutoff);
  ASSERT_TRUE(
      IdleUntil([&] { return !ui.recorder.events.empty() && ui.recorder.events.back().kind == '-'; }));
  const auto& events = ui.recorder.events;
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front(), (Recorder::Event{'+', cutoff, 0.0f}));
  EXPECT_EQ(events.back(), (Recorder::Event{'-', cutoff, 0.0f}));
  float last = 0.2f;
  for (std::size_t i = 1; i + 1 < events.size(); ++i) {
    EXPECT_EQ(events[i].kind, 'w') << "only writes between the touches";
    EXPECT_EQ(events[i].port, cutoff);
    EXPECT_GT(events[i].value, last) << "a drag to the right raises the cutoff";
    last = events[i].value;
  }
  EXPECT_FLOAT_EQ(last, 0.3f);
  EXPECT_EQ(ui.recorder.malformed, 0);
}

TEST_F(UiOnXvfb, WithoutTouchAClickStillWrites) {
  const Window host = HostWindow(40, 30);
  HostedUi& ui = Open(host, false);
  ASSERT_NE(ui.handle, nullptr);
  ASSERT_TRUE(IdleUntil([&] { return Viewable(x, ui.widget, kWidth, kHeight); }));
  // Step 1 is on by default: a click turns it off.
  Click(x, 40 + StepCentre(1).x, 30 + StepCentre(1).y);
  const std::uint32_t step1 = portOfSlot(parameters::kStep1);
  ASSERT_TRUE(IdleUntil([&] { return !ui.recorder.events.empty(); }, 100));
  EXPECT_EQ(ui.recorder.events, (std::vector<Recorder::Event>{{'w', step1, 0.0f}}));
}

// Two plug-ins' UIs in one process: each shows its own host's values and
// writes to its own host, also after the other has gone.
TEST_F(UiOnXvfb, TwoInstancesKeepToTheirOwnPorts) {
  const Window hostA = HostWindow(0, 0);
  const Window hostB = HostWindow(0, 256);  // over the lower half of A
  HostedUi& a = Open(hostA);
  HostedUi& b = Open(hostB);
  ASSERT_NE(a.handle, nullptr);
  ASSERT_NE(b.handle, nullptr);
  PortEvent(a, parameters::kStep1 + 1, 1.0f);
  IdleRefresh();
  const Point step2 = StepCentre(2);
  const Picture lit = EditorPicture([] {
    Values v = Defaults();
    v[parameters::kStep1 + 1] = 1.0f;
    return v;
  }());
  const Picture unlit = EditorPicture(Defaults());
  const std::size_t at = static_cast<std::size_t>(step2.y) * kWidth + step2.x;
  ASSERT_NE(lit[at], unlit[at]);
  EXPECT_EQ(Screen(hostA)[at], lit[at]) << "A shows its host's value";
  EXPECT_EQ(Screen(hostB)[at], unlit[at]) << "B does not";

  const std::uint32_t step6 = portOfSlot(parameters::kStep1 + 5), step7 = portOfSlot(parameters::kStep1 + 6);
  Click(x, StepCentre(6).x, 256 + StepCentre(6).y);
  ASSERT_TRUE(IdleUntil([&] { return b.recorder.WritesTo(step6).size() == 1; }, 100));
  EXPECT_TRUE(a.recorder.events.empty());

  Close(a);
  Click(x, StepCentre(7).x, 256 + StepCentre(7).y);
  ASSERT_TRUE(IdleUntil([&] { return b.recorder.WritesTo(step7).size() == 1; }, 100));
  EXPECT_EQ(b.recorder.WritesTo(step7)[0].value, 1.0f);
}

// Some hosts destroy the window they lent before they call cleanup.
TEST_F(UiOnXvfb, TheHostsWindowMayGoBeforeCleanup) {
  const Window host = HostWindow(40, 30);
  HostedUi& ui = Open(host);
  ASSERT_NE(ui.handle, nullptr);
  ASSERT_TRUE(IdleUntil([&] { return Viewable(x, ui.widget, kWidth, kHeight); }));
  XDestroyWindow(x, host);
  hosts.clear();
  IdleRefresh();
  PortEvent(ui, parameters::kStep1 + 2, 1.0f);
  IdleRefresh();
  Close(ui);

  const Window again = HostWindow(40, 30);
  HostedUi& next = Open(again);
  ASSERT_NE(next.handle, nullptr);
  EXPECT_TRUE(IdleUntil([&] { return Viewable(x, next.widget, kWidth, kHeight); }));
  Click(x, 40 + StepCentre(4).x, 30 + StepCentre(4).y);
  EXPECT_TRUE(
      IdleUntil([&] { return next.recorder.WritesTo(portOfSlot(parameters::kStep1 + 3)).size() == 1; }));
}

}  // namespace
