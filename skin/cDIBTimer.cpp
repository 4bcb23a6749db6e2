#include "skin/cDIBTimer.h"

#include "framework/window/Application.h"
#include "framework/window/Timer.h"

namespace skin {

const framework::ClassInfo& TDIBTimer::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TDIBTimer, framework::TComponent>("TDIBTimer")
          .Boolean(
              "Enabled", [](TDIBTimer& t) { return t.Enabled(); },
              [](TDIBTimer& t, bool v) { t.SetEnabled(v); })
          .Default(false)
          .Integer(
              "Interval", [](TDIBTimer& t) { return static_cast<std::int32_t>(t.Interval()); },
              [](TDIBTimer& t, std::int32_t v) {
                if (v < 0)
                  throw framework::EPropertyError("Interval cannot be negative: " + std::to_string(v));
                t.SetInterval(static_cast<std::uint32_t>(v));
              })
          .Default(1000)
          .Event("OnTimer", [](TDIBTimer& t) -> framework::TNotifyEvent& { return t.onTimer_; })
          .Build();
  return info;
}

TDIBTimer::TDIBTimer(framework::TComponent* owner) : framework::TComponent(owner) {}

TDIBTimer::~TDIBTimer() {
  timer_.reset();
}

bool TDIBTimer::Running() const {
  return timer_ != nullptr && timer_->Running();
}

void TDIBTimer::Loaded() {
  framework::TComponent::Loaded();
  UpdateTimer();
}

void TDIBTimer::SetEnabled(bool value) {
  enabled_ = value;
  UpdateTimer();
}

void TDIBTimer::SetInterval(std::uint32_t value) {
  interval_ = value;
  UpdateTimer();
}

void TDIBTimer::SetOnTimer(framework::TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}

void TDIBTimer::UpdateTimer() {
  timer_.reset();
  if (IsLoading()) return;
  if (!enabled_ || interval_ == 0 || !onTimer_) return;
  try {
    // Owned by this component, so that it runs in the window system of the
    // window its owner lives in.
    auto timer = std::make_unique<framework::TTimer>(this);
    timer->OnTimer.Bind([this](framework::TObject*) { Timer(); });
    timer->SetInterval(interval_);
    timer->SetEnabled(true);
    timer_ = std::move(timer);
  } catch (...) {
    enabled_ = false;
    throw EDIBTimerError("Not enough timers available");
  }
}

void TDIBTimer::Timer() {
  try {
    if (onTimer_) onTimer_(this);
  } catch (...) {
    framework::HandleException();
  }
}

}  // namespace skin
