// The LV2 user interface: the editor window of the VST 2 build, made by the
// same form in a window system of its own (the desktop's: X11), as a child of
// the host's window (ui:X11UI). It reaches the plug-in only through its ports
// (PortController); the host drives it with port events and calls to idle,
// which update its window system: the window's input, its 50 ms refresh and
// its paints.

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <memory>

#include "editor/TPluginEditorWindow.h"
#include "framework/window/Desktop.h"
#include "lv2/Ports.h"
#include "lv2/ui/PortController.h"

namespace {

struct EditorUi {
  EditorUi(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
      : ports(write, controller, touch) {}
  // Declared first so it outlives the window, which ends the gestures under
  // way through it as it goes.
  PortController ports;
  // Outlives the window too.
  std::shared_ptr<framework::TWindowSystem> system;
  std::unique_ptr<TPluginEditorWindow> window;
};

struct HostFeatures {
  void* parent = nullptr;
  const LV2UI_Resize* resize = nullptr;
  const LV2UI_Touch* touch = nullptr;
};

HostFeatures FeaturesOf(const LV2_Feature* const* features) {
  HostFeatures found;
  for (; features != nullptr && *features != nullptr; ++features) {
    const LV2_Feature& f = **features;
    if (f.URI == nullptr) continue;
    if (std::strcmp(f.URI, LV2_UI__parent) == 0) found.parent = f.data;
    if (std::strcmp(f.URI, LV2_UI__resize) == 0) found.resize = static_cast<const LV2UI_Resize*>(f.data);
    if (std::strcmp(f.URI, LV2_UI__touch) == 0) found.touch = static_cast<const LV2UI_Touch*>(f.data);
  }
  return found;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
  if (pluginUri == nullptr || std::strcmp(pluginUri, lv2plugin::kUri) != 0) return nullptr;
  const HostFeatures host = FeaturesOf(features);
  // The window is made inside the host's window; without one there is
  // nowhere to put it.
  if (host.parent == nullptr) return nullptr;
  try {
    auto ui = std::make_unique<EditorUi>(write, controller, host.touch);
    const auto parent = reinterpret_cast<framework::TWindowHandle>(host.parent);
    // A parent that is no window of the X display is refused, here or when
    // the window is made in it (EWindowError).
    ui->system = framework::DesktopWindowSystemFor(parent);
    ui->window = TPluginEditorWindow::CreateIn(&ui->ports, ui->ports.mirror(), ui->system, parent);
    if (widget != nullptr) *widget = reinterpret_cast<LV2UI_Widget>(ui->window->Handle());
    // The window's size is fixed: the host learns it once.
    if (host.resize != nullptr && host.resize->ui_resize != nullptr)
      host.resize->ui_resize(host.resize->handle, ui->window->Width(), ui->window->Height());
    return ui.release();
  } catch (...) {
    // Nothing at the host boundary throws: a window that could not be made
    // is no UI.
    return nullptr;
  }
}

void cleanup(LV2UI_Handle handle) {
  delete static_cast<EditorUi*>(handle);
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  if (handle != nullptr) static_cast<EditorUi*>(handle)->ports.portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) {
  if (handle == nullptr) return 1;
  try {
    static_cast<EditorUi*>(handle)->system->Update();
  } catch (...) {
  }
  return 0;
}

const LV2UI_Idle_Interface kIdle = {idle};

const void* extensionData(const char* uri) {
  if (uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
  return nullptr;
}

const LV2UI_Descriptor kDescriptor = {lv2plugin::kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
