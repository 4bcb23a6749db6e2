#pragma once

#include <atomic>

// A 32-bit float shared between threads without a lock: one relaxed store or
// load per access, so a reader sees either the old or the new value.
class RelaxedFloat {
 public:
  constexpr RelaxedFloat(float value = 0.0f) noexcept : value_(value) {}
  RelaxedFloat(const RelaxedFloat&) = delete;
  RelaxedFloat& operator=(const RelaxedFloat&) = delete;

  float load() const noexcept { return value_.load(std::memory_order_relaxed); }
  void store(float value) noexcept { value_.store(value, std::memory_order_relaxed); }
  operator float() const noexcept { return load(); }
  RelaxedFloat& operator=(float value) noexcept {
    store(value);
    return *this;
  }

 private:
  std::atomic<float> value_;
};

static_assert(std::atomic<float>::is_always_lock_free);
static_assert(sizeof(RelaxedFloat) == 4);
