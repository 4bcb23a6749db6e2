// The editor window with a controller of its own rather than the VST bridge,
// as another plug-in format's user interface would drive it: it fills the
// window's mirror itself and hears every gesture through the controller.

#include <gmock/gmock.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/EditorController.h"
#include "editor/TPluginEditorWindow.h"
#include "framework/window/Headless.h"
#include "plugin/Parameters.h"

namespace {

using ::testing::ElementsAre;

class RecordingController : public EditorController {
 public:
  float getParameter(int index) override { return parameters::defaultValue(index); }
  void setParameterAutomated(int index, float value) override {
    calls.push_back("set " + std::to_string(index) + " " + std::to_string(value));
  }
  void beginEdit(int index) override { calls.push_back("begin " + std::to_string(index)); }
  void endEdit(int index) override { calls.push_back("end " + std::to_string(index)); }
  bool timeInfoMissing() const override { return missing; }

  std::vector<std::string> calls;
  bool missing = false;
};

class Controller : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_shared<framework::THeadlessBackend>();
    for (int i = parameters::kFirst; i <= parameters::kLast; ++i) values[i].store(controller.getParameter(i));
    window = TPluginEditorWindow::Create(&controller, values);
    window->SetWindowSystem(backend);
    window->SetParentWindow(reinterpret_cast<framework::TWindowHandle>(&parent));
    window->SetBounds(0, 0, window->Width(), window->Height());
    window->Show();
    window->UpdaterTimer(nullptr);
  }
  void TearDown() override { window.reset(); }
  framework::TPoint Centre(const char* name) {
    auto* c = dynamic_cast<framework::TControl*>(window->FindComponent(name));
    return {c->Left() + c->Width() / 2, c->Top() + c->Height() / 2};
  }

  std::shared_ptr<framework::THeadlessBackend> backend;
  RecordingController controller;
  RelaxedFloat values[parameters::kLast + 1];
  std::unique_ptr<TPluginEditorWindow> window;
  int parent = 0;  // stands for the host's window
};

TEST_F(Controller, GesturesReachTheControllerBracketedAndTheMirrorFollows) {
  backend->ClickAt(window->Handle(), Centre("fd1enable").X, Centre("fd1enable").Y);
  backend->ClickAt(window->Handle(), Centre("lfo2sync4").X, Centre("lfo2sync4").Y);
  const framework::TPoint cutoff = Centre("fd1cutoff");
  backend->MouseDown(window->Handle(), framework::mbLeft, cutoff.X, cutoff.Y);
  backend->MouseMove(window->Handle(), cutoff.X + 2, cutoff.Y);
  backend->MouseUp(window->Handle(), framework::mbLeft, cutoff.X, cutoff.Y);
  EXPECT_THAT(controller.calls, ElementsAre("begin 40", "set 40 0.000000", "end 40",  //
                                            "begin 61", "set 61 0.800000", "end 61",  //
                                            "begin 41", "set 41 0.120000", "end 41"));
  EXPECT_EQ(values[parameters::kFd1Enable].load(), 0.0f);
  EXPECT_EQ(values[parameters::kLfo2Period].load(), 0.8f);
  EXPECT_EQ(values[parameters::kFd1Cutoff].load(), 0.12f);
}

TEST_F(Controller, AGestureUnderWayEndsWhenTheWindowGoes) {
  const framework::TPoint cutoff = Centre("fd1cutoff");
  backend->MouseDown(window->Handle(), framework::mbLeft, cutoff.X, cutoff.Y);
  backend->MouseMove(window->Handle(), cutoff.X + 1, cutoff.Y);
  window.reset();
  EXPECT_THAT(controller.calls, ElementsAre("begin 41", "set 41 0.110000", "end 41"));
}

TEST_F(Controller, TheNoticeFollowsMissingTimeInformation) {
  ASSERT_NE(window->timeinfo, nullptr);
  EXPECT_FALSE(window->timeinfo->Visible());
  controller.missing = true;
  backend->AdvanceTime(50);
  EXPECT_TRUE(window->timeinfo->Visible());
  controller.missing = false;
  backend->AdvanceTime(50);
  EXPECT_FALSE(window->timeinfo->Visible());
}

}  // namespace
