#pragma once

#include <atomic>
#include <memory>

#include "editor/EditorController.h"
#include "editor/TPluginEditorWindow.h"
#include "framework/window/WindowSystem.h"
#include "vst3/api/Vst3.h"

namespace vst3plugin {

class Effect;

// The name hosts ask createView for.
inline constexpr const char* kEditorViewName = "editor";

// The editor window in a host's window. It shows the effect's working set as
// it stands and sends the user's gestures to the host as begin, perform and
// end edits. Where the host's frame offers a run loop (Linux), its timer and
// the window system's descriptor drive the window, whether the frame comes
// before or after attached; elsewhere the window system runs from the
// platform's own messages and timer. Every call comes on the host's
// user-interface thread.
class EditorView final : public vst3::IPlugView,
                         public vst3::IPlugViewContentScaleSupport,
                         public vst3::Linux::ITimerHandler,
                         public vst3::Linux::IEventHandler {
 public:
  // Holds a reference to the effect as long as it lives.
  explicit EditorView(Effect& effect);
  EditorView(const EditorView&) = delete;
  EditorView& operator=(const EditorView&) = delete;

  // FUnknown
  vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override;
  vst3::uint32 VST3_CALL addRef() override;
  vst3::uint32 VST3_CALL release() override;

  // IPlugView
  vst3::tresult VST3_CALL isPlatformTypeSupported(vst3::FIDString type) override;
  vst3::tresult VST3_CALL attached(void* parent, vst3::FIDString type) override;
  vst3::tresult VST3_CALL removed() override;
  vst3::tresult VST3_CALL onWheel(float) override { return vst3::kResultFalse; }
  vst3::tresult VST3_CALL onKeyDown(vst3::char16, vst3::int16, vst3::int16) override {
    return vst3::kResultFalse;
  }
  vst3::tresult VST3_CALL onKeyUp(vst3::char16, vst3::int16, vst3::int16) override {
    return vst3::kResultFalse;
  }
  vst3::tresult VST3_CALL getSize(vst3::ViewRect* size) override;
  vst3::tresult VST3_CALL onSize(vst3::ViewRect* newSize) override;
  vst3::tresult VST3_CALL onFocus(vst3::TBool) override { return vst3::kResultOk; }
  vst3::tresult VST3_CALL setFrame(vst3::IPlugFrame* frame) override;
  vst3::tresult VST3_CALL canResize() override { return vst3::kResultFalse; }
  vst3::tresult VST3_CALL checkSizeConstraint(vst3::ViewRect* rect) override;

  // IPlugViewContentScaleSupport: the size stays fixed for now.
  vst3::tresult VST3_CALL
  setContentScaleFactor(vst3::IPlugViewContentScaleSupport::ScaleFactor factor) override;

  // The host's run loop
  void VST3_CALL onTimer() override;
  void VST3_CALL onFDIsSet(vst3::Linux::FileDescriptor fd) override;

  // For tests and hosts without a run loop: the window system in use (null
  // while detached).
  framework::TWindowSystem* windowSystem() const { return system_.get(); }
  TPluginEditorWindow* window() const { return window_.get(); }

 private:
  // The window's controller: the effect's working set, and the host's
  // component handler for the gestures.
  class Controller final : public EditorController {
   public:
    explicit Controller(Effect& effect) : effect_(effect) {}
    float getParameter(int index) override;
    void setParameterAutomated(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    bool timeInfoMissing() const override;

   private:
    Effect& effect_;
  };

  ~EditorView();
  void detach();
  // Registers with the frame's run loop while the window is there; ends
  // every registration.
  void joinRunLoop();
  void leaveRunLoop();

  std::atomic<vst3::uint32> references_{1};
  Effect& effect_;
  Controller controller_;
  vst3::IPlugFrame* frame_ = nullptr;
  vst3::Linux::IRunLoop* runLoop_ = nullptr;
  bool timerRegistered_ = false;
  bool handlerRegistered_ = false;
  // Declared before the window, which it outlives.
  std::shared_ptr<framework::TWindowSystem> system_;
  std::unique_ptr<TPluginEditorWindow> window_;
};

}  // namespace vst3plugin
