#pragma once

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace engine {

// Holds the floating-point mode the engine needs for one block and gives the
// host its own back on return: denormals flushed to zero (results and
// inputs), every exception masked, rounding to nearest.
class FloatModeGuard {
 public:
#if defined(__x86_64__)
  FloatModeGuard() : saved_(_mm_getcsr()) {
    constexpr unsigned kFlushToZero = 1u << 15, kDenormalsAreZero = 1u << 6, kAllMasks = 0x3Fu << 7;
    constexpr unsigned kRounding = 3u << 13;
    _mm_setcsr((saved_ & ~kRounding) | kFlushToZero | kDenormalsAreZero | kAllMasks);
  }
  ~FloatModeGuard() {
    _mm_setcsr(saved_);
  }
#else
  FloatModeGuard() = default;
#endif
  FloatModeGuard(const FloatModeGuard&) = delete;
  FloatModeGuard& operator=(const FloatModeGuard&) = delete;

 private:
#if defined(__x86_64__)
  unsigned saved_;
#endif
};

}  // namespace engine
