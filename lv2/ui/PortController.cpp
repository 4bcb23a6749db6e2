#include "lv2/ui/PortController.h"

#include "lv2/Ports.h"

namespace {

bool IsSlot(int index) {
  return index >= parameters::kFirst && index <= parameters::kLast;
}

// As the plug-in plays a port's value.
float Clamped(float value) {
  if (value > 1.0f) return 1.0f;
  if (!(value >= 0.0f)) return 0.0f;
  return value + 0.0f;
}

}  // namespace

PortController::PortController(LV2UI_Write_Function writeFunction, LV2UI_Controller controllerHandle,
                               const LV2UI_Touch* touchFeature)
    : write(writeFunction), controller(controllerHandle), touch(touchFeature) {
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) values[i].store(parameters::defaultValue(i));
}

void PortController::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                               const void* buffer) {
  if (format != 0 || size != sizeof(float) || buffer == nullptr || !lv2plugin::isSlotPort(port)) return;
  values[lv2plugin::slotOfPort(port)].store(Clamped(*static_cast<const float*>(buffer)));
}

float PortController::getParameter(int index) {
  return IsSlot(index) ? values[index].load() : 0.0f;
}

void PortController::setParameterAutomated(int index, float value) {
  if (!IsSlot(index)) return;
  const float stored = Clamped(value);
  values[index].store(stored);
  if (write != nullptr) write(controller, lv2plugin::portOfSlot(index), sizeof stored, 0, &stored);
}

void PortController::beginEdit(int index) {
  if (IsSlot(index) && touch != nullptr && touch->touch != nullptr)
    touch->touch(touch->handle, lv2plugin::portOfSlot(index), true);
}

void PortController::endEdit(int index) {
  if (IsSlot(index) && touch != nullptr && touch->touch != nullptr)
    touch->touch(touch->handle, lv2plugin::portOfSlot(index), false);
}
