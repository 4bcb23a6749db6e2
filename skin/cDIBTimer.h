#pragma once

// The lightweight timer behind a skinned control's auto-repeat.

#include <cstdint>
#include <memory>

#include "framework/core/Component.h"

namespace framework {
class TTimer;
}

namespace skin {

class EDIBTimerError : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

// Runs only while Enabled, with an Interval above 0 and an OnTimer handler;
// changing any of the three restarts it. The platform timer exists only while
// it runs, in the window system of the window its owner lives in (it waits
// for one until that window has it). A handler's exception goes to the
// framework's exception handler.
class TDIBTimer : public framework::TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBTimer(framework::TComponent* owner);
  ~TDIBTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t value);
  void SetOnTimer(framework::TNotifyEvent handler);
  const framework::TNotifyEvent& OnTimer() const { return onTimer_; }
  // Whether the platform timer runs now.
  bool Running() const;
  // A form binds OnTimer after Enabled: start once everything is read.
  void Loaded() override;

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  bool enabled_ = false;
  std::uint32_t interval_ = 1000;
  framework::TNotifyEvent onTimer_;
  std::unique_ptr<framework::TTimer> timer_;
};

}  // namespace skin
