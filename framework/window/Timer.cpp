#include "framework/window/Timer.h"

#include "framework/window/Controls.h"
#include "framework/window/WindowSystem.h"

namespace framework {

const ClassInfo& TTimer::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TTimer, TComponent>("TTimer")
          .Boolean(
              "Enabled", [](TTimer& t) { return t.Enabled(); }, [](TTimer& t, bool v) { t.SetEnabled(v); })
          .Default(true)
          .Integer(
              "Interval", [](TTimer& t) { return static_cast<std::int64_t>(t.Interval()); },
              [](TTimer& t, std::int32_t v) {
                if (v < 0) throw EPropertyError("Interval cannot be negative");
                t.SetInterval(static_cast<std::uint32_t>(v));
              })
          .Default(1000)
          .Event(
              "OnTimer", [](TTimer & t) -> auto& { return t.OnTimer; })
          .Build();
  return info;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  UpdateTimer();
}

TTimer::~TTimer() {
  Stop();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  UpdateTimer();
}

void TTimer::SetInterval(std::uint32_t interval) {
  if (interval == interval_) return;
  interval_ = interval;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

void TTimer::SetWindowSystem(std::shared_ptr<TWindowSystem> system) {
  given_ = std::move(system);
  UpdateTimer();
}

namespace {
// The system of the window the first owner with one lives in.
std::shared_ptr<TWindowSystem> SystemOfOwners(const TComponent& component) {
  for (const TComponent* owner = component.Owner(); owner; owner = owner->Owner())
    if (const auto* control = dynamic_cast<const TControl*>(owner))
      if (const TWinControl* top = control->TopWindow(); top && top->WindowSystemPtr())
        return top->WindowSystemPtr();
  return nullptr;
}
}  // namespace

void TTimer::Stop() {
  if (serial_ == 0) return;
  system_->StopTimer(serial_);
  serial_ = 0;
  system_.reset();
}

void TTimer::UpdateTimer() {
  Stop();
  if (!enabled_ || interval_ == 0 || IsLoading()) return;
  std::shared_ptr<TWindowSystem> system = given_ ? given_ : SystemOfOwners(*this);
  if (!system) return;
  serial_ = system->StartTimer(*this, interval_);
  system_ = std::move(system);
}

}  // namespace framework
