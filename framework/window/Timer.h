#pragma once

#include <cstdint>

#include "framework/core/Component.h"

namespace framework {

// A millisecond timer on the user-interface thread: while Enabled with an
// Interval above 0 it fires OnTimer from PumpEvents on the thread that
// enabled it, every Interval milliseconds of the backend's clock (a late
// pump fires once, not once per missed period). Changing Enabled or Interval
// restarts the period.
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

  void Loaded() override;

  TNotifyEvent OnTimer;

 protected:
  // Fires OnTimer.
  virtual void Timer();

 private:
  friend void FireDueTimers(std::uint64_t now);
  void UpdateTimer();
  void Stop();
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  std::uint64_t serial_ = 0;  // the scheduler's entry, 0 when not running
};

}  // namespace framework
