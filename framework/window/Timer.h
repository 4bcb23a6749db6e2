#pragma once

#include <cstdint>
#include <memory>

#include "framework/core/Component.h"

namespace framework {

class TWindowSystem;

// A millisecond timer on the user-interface thread: while Enabled with an
// Interval above 0 it fires OnTimer from its window system's Update on the
// thread that enabled it, every Interval milliseconds of the system's clock
// (a late Update fires once, not once per missed period). Changing Enabled or
// Interval restarts the period.
//
// It runs in the window system of the window it belongs to: the top-level
// window of the first control among its owners that has one (a form's timer,
// a control's). Until that window has a system the timer waits, and starts
// once the window is given one. A timer outside any window runs in a system
// given to it with SetWindowSystem.
class TTimer : public TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t interval);
  // Whether the timer is scheduled now.
  bool Running() const { return serial_ != 0; }
  // Runs the timer in system whatever its owners' window (null: theirs again).
  void SetWindowSystem(std::shared_ptr<TWindowSystem> system);

  void Loaded() override;

  TNotifyEvent OnTimer;

 protected:
  // Fires OnTimer.
  virtual void Timer();

 private:
  friend class TWindowSystem;
  friend class TWinControl;
  // Starts (or restarts) the timer where it belongs now.
  void UpdateTimer();
  void Stop();
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  std::shared_ptr<TWindowSystem> given_;
  std::shared_ptr<TWindowSystem> system_;  // where it runs, while it runs
  std::uint64_t serial_ = 0;               // the system's entry, 0 when not running
};

}  // namespace framework
