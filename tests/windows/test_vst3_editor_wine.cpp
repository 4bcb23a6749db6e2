// The VST3 module's editor under Wine, as a Windows host shows it: the view
// made by the controller, attached to a child of the host's window through
// IPlugView with an HWND, driven only by the host's message loop, played by
// real pointer input and held against the Linux build's pictures. The edits
// reach the host's component handler as gestures; attaching and removing
// leaves nothing of the module's behind, and the module unloads and loads
// again under a view's window class.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/windows/ImportHooks.h"
#include "tests/windows/WineHost.h"
#include "tools/hostkit/Vst3Host.h"

namespace {

using hostkit::Vst3EditRecorder;
using wintest::TPicture;

constexpr int kWidth = 719, kHeight = 512;
constexpr int kHostX = 40, kHostY = 30;
constexpr char kModuleName[] = "plonkrift6.vst3";

// Centres of step n and of the FD1 cutoff slider (slot 41) in the window.
POINT Step(int n) {
  return {87 + 30 * (n - 1) + 15, 92};
}
constexpr POINT kCutoff{145, 266};
constexpr vst3::ParamID kCutoffId = 41;

std::size_t Differing(const TPicture& a, const TPicture& b) {
  if (a.Width != b.Width || a.Height != b.Height) return static_cast<std::size_t>(kWidth) * kHeight;
  std::size_t count = 0;
  for (std::size_t i = 0; i < a.Pixels.size(); ++i) count += a.Pixels[i] != b.Pixels[i] ? 1 : 0;
  return count;
}

TPicture Linux(const std::string& name) {
  return wintest::ReadStoredPicture(std::string(PLONKRIFT_LINUX_REFERENCES) + "/" + name + ".pic");
}

// The module loaded, an instance of its effect, and the host's window.
class Vst3EditorUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<wintest::THostWindow>(kHostX, kHostY, kWidth, kHeight);
    ASSERT_NO_FATAL_FAILURE(Load());
  }
  void TearDown() override { Unload(); }

  void Load() {
    module = std::make_unique<hostkit::Vst3Module>(PLONKRIFT_VST3_BUNDLE);
    ASSERT_TRUE(module->ok()) << module->error();
    ASSERT_NE(module->audioEffect(), nullptr);
    hooks = std::make_unique<wintest::TImportHooks>(GetModuleHandleA(kModuleName));
    plugin = std::make_unique<hostkit::Vst3Plugin>(module->factory(), module->audioEffect()->cid);
    ASSERT_TRUE(plugin->ok()) << plugin->faultText();
  }
  // The view given back, the instance closed, the module's exit called and
  // the binary freed; what went against the format fails the test.
  void Unload() {
    Release();
    if (plugin) {
      EXPECT_TRUE(plugin->close()) << plugin->faultText();
    }
    plugin.reset();
    hooks.reset();
    if (module) {
      EXPECT_TRUE(module->close()) << module->error();
    }
    module.reset();
  }

  // A new view from the controller, attached to the host's window.
  bool Attach() {
    if (view == nullptr) view = plugin->controller()->createView(vst3::ViewType::kEditor);
    if (view == nullptr) return false;
    return view->attached(host->Handle(), vst3::kPlatformTypeHWND) == vst3::kResultOk;
  }
  bool Remove() { return view != nullptr && view->removed() == vst3::kResultOk; }
  void Release() {
    if (view != nullptr) {
      view->release();
      view = nullptr;
    }
  }

  HWND Editor() const { return GetWindow(host->Handle(), GW_CHILD); }
  TPicture Screen() const { return wintest::Capture(host->Handle()); }
  POINT At(POINT window) const { return host->Screen(window.x, window.y); }
  void Set(vst3::ParamID id, double value) {
    ASSERT_EQ(plugin->controller()->setParamNormalized(id, value), vst3::kResultOk);
  }
  void Save(const TPicture& picture, const std::string& name) const {
    wintest::WriteBmp(std::string(PLONKRIFT_TEST_OUTPUT) + "/" + name + ".bmp", picture);
  }

  std::unique_ptr<wintest::THostWindow> host;
  std::unique_ptr<hostkit::Vst3Module> module;
  std::unique_ptr<wintest::TImportHooks> hooks;
  std::unique_ptr<hostkit::Vst3Plugin> plugin;
  vst3::IPlugView* view = nullptr;
};

TEST_F(Vst3EditorUnderWine, AttachedPaintedPlayedAndRemoved) {
  for (vst3::ParamID id = 1; id <= 32; ++id) Set(id, 0.0);
  Set(kCutoffId, 0.2);
  ASSERT_TRUE(Attach());
  vst3::ViewRect size{};
  ASSERT_EQ(view->getSize(&size), vst3::kResultOk);
  EXPECT_EQ(size.right - size.left, kWidth);
  EXPECT_EQ(size.bottom - size.top, kHeight);
  const HWND editor = Editor();
  ASSERT_NE(editor, nullptr) << "a child window in the host's window";
  EXPECT_TRUE((GetWindowLongW(editor, GWL_STYLE) & WS_CHILD) != 0);
  EXPECT_TRUE(IsWindowVisible(editor));
  wintest::Pump(150);
  plugin->handler().clear();

  // A paint from step 2 to step 9 in one move, then the cutoff slider
  // dragged 10 pixels right, a pixel a move: as the VST 2 editor's test.
  ASSERT_TRUE(wintest::MoveTo(At(Step(2))));
  wintest::Press();
  ASSERT_TRUE(wintest::MoveTo(At(Step(9))));
  wintest::Release();
  const POINT press = At(kCutoff);
  ASSERT_TRUE(wintest::MoveTo(press));
  wintest::Press();
  for (int i = 0; i < 10; ++i) wintest::MoveTo({press.x + 1, press.y});
  wintest::Release();
  wintest::Pump(50);

  for (vst3::ParamID n = 1; n <= 16; ++n)
    EXPECT_EQ(plugin->controller()->getParamNormalized(n), n >= 2 && n <= 9 ? 1.0 : 0.0) << "step " << n;
  EXPECT_FLOAT_EQ(static_cast<float>(plugin->controller()->getParamNormalized(kCutoffId)), 0.3f);
  // Every edit inside its gesture, every gesture ended, the last value
  // performed the one the controller holds.
  std::map<vst3::ParamID, int> open;
  std::map<vst3::ParamID, double> performed;
  int gestures = 0;
  for (const Vst3EditRecorder::Call& call : plugin->handler().calls()) {
    if (call.kind == Vst3EditRecorder::Kind::Begin) gestures += ++open[call.id] == 1 ? 1 : 0;
    if (call.kind == Vst3EditRecorder::Kind::Perform) {
      EXPECT_EQ(open[call.id], 1) << "performEdit(" << call.id << ") inside its gesture";
      performed[call.id] = call.value;
    }
    if (call.kind == Vst3EditRecorder::Kind::End) --open[call.id];
  }
  for (const auto& [id, count] : open) EXPECT_EQ(count, 0) << "gesture on " << id << " ended";
  EXPECT_GE(gestures, 2);
  for (vst3::ParamID n = 2; n <= 9; ++n) EXPECT_EQ(performed[n], 1.0) << "step " << n << " performed";
  ASSERT_EQ(performed.count(kCutoffId), 1u);
  EXPECT_FLOAT_EQ(static_cast<float>(performed[kCutoffId]), 0.3f);

  // Refreshed by the window's own messages: the Linux editor's picture of
  // the same state, pixel for pixel.
  wintest::Pump(150);
  const TPicture screen = Screen();
  Save(screen, "editor-vst3-wine-gestures");
  const TPicture linux = Linux("editor-gestures");
  ASSERT_EQ(linux.Width, kWidth);
  EXPECT_EQ(Differing(screen, linux), 0u);

  EXPECT_TRUE(Remove());
  wintest::Pump(20);
  EXPECT_EQ(Editor(), nullptr) << "no child left in the host's window";
  EXPECT_EQ(hooks->Ledger().windows, 0);
  EXPECT_EQ(hooks->Ledger().timers, 0);
}

TEST_F(Vst3EditorUnderWine, TwentyAttachAndRemoveCyclesLeaveNothingBehind) {
  int attached = 0, shown = 0, removed = 0;
  for (int cycle = 0; cycle < 20; ++cycle) {
    // Half the cycles on one view, half on a new view each time.
    attached += Attach() ? 1 : 0;
    wintest::Pump(60);
    shown += Editor() != nullptr && IsWindowVisible(Editor()) ? 1 : 0;
    removed += Remove() ? 1 : 0;
    if (cycle % 2 == 1) Release();
    wintest::Pump(5);
  }
  EXPECT_EQ(attached, 20);
  EXPECT_EQ(shown, 20);
  EXPECT_EQ(removed, 20);
  EXPECT_EQ(Editor(), nullptr) << "no child left in the host's window";
  const wintest::TLedger after = hooks->Ledger();
  EXPECT_GE(after.windowsMade, 20) << "each attach made its window";
  EXPECT_EQ(after.windows, 0) << "windows";
  EXPECT_EQ(after.deviceContexts, 0) << "device contexts";
  EXPECT_EQ(after.timers, 0) << "timers";
  EXPECT_EQ(after.windowClasses, 0) << "window classes";
}

TEST_F(Vst3EditorUnderWine, UnloadedAfterItsViewThenLoadedAndAttachedAgain) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(Attach());
    wintest::Pump(70);  // painted, its timer armed
    ASSERT_TRUE(Remove());
    Unload();
    ASSERT_EQ(GetModuleHandleA(kModuleName), nullptr) << "FreeLibrary unloaded the module";
    // Whatever the module left queued would now run code that is gone.
    wintest::Pump(100);
    ASSERT_NO_FATAL_FAILURE(Load());
  }
  ASSERT_TRUE(Attach());
  wintest::Pump(150);
  const HWND shown = Editor();
  EXPECT_TRUE(shown != nullptr && IsWindowVisible(shown));
  const TPicture screen = Screen();
  Save(screen, "editor-vst3-wine-reloaded");
  EXPECT_EQ(Differing(screen, Linux("editor-default")), 0u) << "the default program, as Linux paints it";
  EXPECT_TRUE(Remove());
}

}  // namespace
