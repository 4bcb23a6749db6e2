#pragma once

#include <lv2/ui/ui.h>

#include <cstdint>

#include "editor/EditorController.h"
#include "plugin/Parameters.h"
#include "plugin/RelaxedFloat.h"

// The editor window's controller in the LV2 user interface: the plug-in is
// reached through its control ports alone. The host's port events fill the
// mirror the window shows; the user's writes go to the host's write
// function, and the gestures around them to ui:touch when the host offers
// it. Every call comes on the host's user-interface thread.
class PortController final : public EditorController {
 public:
  // What the host hands the UI: its write function (may be null) and the
  // handle that goes with it, and its touch feature or null. Both must
  // outlive the controller.
  PortController(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch);

  // A port event from the host. Control values (format 0, one float) of the
  // slot ports go into the mirror as the plug-in plays them (clamped to
  // 0..1, NaN as 0), the time_missing port's drives timeInfoMissing();
  // anything else is ignored.
  void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer);

  // Slots 1..61, for the window. Until the host's first events: the defaults.
  RelaxedFloat* mirror() { return values; }

  float getParameter(int index) override;
  void setParameterAutomated(int index, float value) override;
  void beginEdit(int index) override;
  void endEdit(int index) override;
  // Whether the plug-in last reported blocks without time information.
  bool timeInfoMissing() const override { return timeMissing; }

 private:
  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  const LV2UI_Touch* touch;
  RelaxedFloat values[parameters::kLast + 1];
  bool timeMissing = false;
};
