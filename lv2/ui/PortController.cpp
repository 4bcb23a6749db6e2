#include "lv2/ui/PortController.h"

#include "lv2/Ports.h"

PortController::PortController(LV2UI_Write_Function writeFunction, LV2UI_Controller controllerHandle,
                               const LV2UI_Touch* touchFeature)
    : write(writeFunction), controller(controllerHandle), touch(touchFeature) {
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) values[i].store(parameters::defaultValue(i));
}

void PortController::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                               const void* buffer) {
  if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
  const float value = *static_cast<const float*>(buffer);
  if (lv2plugin::isSlotPort(port)) values[lv2plugin::slotOfPort(port)].store(parameters::clamped(value));
  if (port == lv2plugin::kTimeMissing) timeMissing = value > 0.5f;
}

float PortController::getParameter(int index) {
  return parameters::isValueSlot(index) ? values[index].load() : 0.0f;
}

void PortController::setParameterAutomated(int index, float value) {
  if (!parameters::isValueSlot(index)) return;
  // As the plug-in plays it.
  const float stored = parameters::clamped(value);
  values[index].store(stored);
  if (write != nullptr) write(controller, lv2plugin::portOfSlot(index), sizeof stored, 0, &stored);
}

void PortController::beginEdit(int index) {
  if (parameters::isValueSlot(index) && touch != nullptr && touch->touch != nullptr)
    touch->touch(touch->handle, lv2plugin::portOfSlot(index), true);
}

void PortController::endEdit(int index) {
  if (parameters::isValueSlot(index) && touch != nullptr && touch->touch != nullptr)
    touch->touch(touch->handle, lv2plugin::portOfSlot(index), false);
}
