#pragma once

// One effect whose editor is opened as a host opens it (effEditOpen with a
// parent window, in a headless window system), a host callback that records
// the automation and edit brackets it receives, and a user who clicks and
// drags on the window. The effect is made the way the library's entry makes
// it; the test links the effect's static libraries so it can give the editor
// its window system.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/APluginEditor.h"
#include "framework/window/Headless.h"
#include "plugin/APlugin.h"
#include "skin/cDIBControl.h"

namespace editortest {

struct Automation {
  int index;
  float value;
  bool operator==(const Automation&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Automation& a) {
  return out << "(" << a.index << ", " << a.value << ")";
}

// The effect with its own writes recorded: every setParameterAutomated the
// editor makes, so a test can hold the host's automation against them.
class RecordingPlugin : public APlugin {
 public:
  using APlugin::APlugin;
  void setParameterAutomated(VstInt32 index, float value) override {
    writes.push_back({index, value});
    APlugin::setParameterAutomated(index, value);
  }
  std::vector<Automation> writes;
};

class EditorFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    current() = this;
    backend = std::make_shared<framework::THeadlessBackend>();
    plugin = std::make_unique<RecordingPlugin>(&Host);
    editor = static_cast<APluginEditor*>(plugin->getEditor());
    editor->setWindowSystem(backend);
  }

  void TearDown() override {
    plugin.reset();
    current() = nullptr;
  }

  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr) {
    return plugin->dispatcher(opcode, 0, 0, ptr, 0.0f);
  }

  void Open() {
    ASSERT_EQ(Dispatch(effEditOpen, &hostWindow), 1);
    handle = editor->getWindow()->Handle();
  }

  // The host sets a parameter, as through the effect record.
  void HostSets(int index, float value) {
    AEffect* e = plugin->getAeffect();
    e->setParameter(e, index, value);
  }
  float Param(int index) { return plugin->getParameter(index); }

  // One refresh period of the window's timer.
  void Tick() { backend->AdvanceTime(50); }

  skin::TCustomDIBControl& Control(const std::string& name) {
    auto* c = dynamic_cast<skin::TCustomDIBControl*>(editor->getWindow()->FindComponent(name));
    if (c == nullptr) throw std::runtime_error("no control " + name);
    return *c;
  }
  framework::TControl& AnyControl(const std::string& name) {
    auto* c = dynamic_cast<framework::TControl*>(editor->getWindow()->FindComponent(name));
    if (c == nullptr) throw std::runtime_error("no control " + name);
    return *c;
  }
  int Opacity(const std::string& name) { return Control(name).Opacity(); }
  // Centre of a control in window coordinates.
  framework::TPoint Centre(const std::string& name) {
    framework::TControl& c = AnyControl(name);
    return {c.Left() + c.Width() / 2, c.Top() + c.Height() / 2};
  }

  void Press(framework::TPoint p, framework::TMouseButton button = framework::mbLeft,
             framework::TShiftState mods = 0) {
    backend->MouseDown(handle, button, p.X, p.Y, mods);
  }
  void MoveTo(framework::TPoint p, framework::TShiftState mods = 0) {
    backend->MouseMove(handle, p.X, p.Y, mods);
  }
  void Release(framework::TPoint p, framework::TMouseButton button = framework::mbLeft) {
    backend->MouseUp(handle, button, p.X, p.Y);
  }
  void Click(framework::TPoint p) { backend->ClickAt(handle, p.X, p.Y); }
  void Click(const std::string& name) { Click(Centre(name)); }

  std::uint32_t PixelAt(framework::TPoint p) { return backend->Window(handle)->PixelAt(p.X, p.Y); }

  static EditorFixture*& current() {
    static EditorFixture* fixture = nullptr;
    return fixture;
  }

  static VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    EditorFixture* f = current();
    switch (opcode) {
      case audioMasterVersion:
        return 2400;
      case audioMasterAutomate:
        if (f != nullptr) {
          f->automation.push_back({index, opt});
          f->edits.push_back("set " + std::to_string(index));
        }
        return 0;
      case audioMasterBeginEdit:
      case audioMasterEndEdit:
        if (f != nullptr)
          f->edits.push_back((opcode == audioMasterBeginEdit ? "begin " : "end ") + std::to_string(index));
        return 1;
      case audioMasterGetTime:
        return f != nullptr ? reinterpret_cast<VstIntPtr>(f->time) : 0;
      default:
        return 0;
    }
  }

  std::shared_ptr<framework::THeadlessBackend> backend;
  std::unique_ptr<RecordingPlugin> plugin;
  APluginEditor* editor = nullptr;
  framework::TWindowHandle handle = 0;
  int hostWindow = 0;  // stands for the host's window; its address is the handle
  std::vector<Automation> automation;
  // Automation and the edit brackets around it, in the order the host got
  // them: "begin 41", "set 41", "end 41".
  std::vector<std::string> edits;
  VstTimeInfo* time = nullptr;
};

}  // namespace editortest
