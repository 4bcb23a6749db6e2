#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <emmintrin.h>
#else
#include <cmath>
#endif

// The engine's roundings to integer. Both take a double and round to nearest
// with ties to even (the processor's default mode, which the block guard
// enforces while the engine runs).
namespace engine {

inline std::int64_t Nearest(double x) {
#if defined(__x86_64__)
  // One conversion instruction under the current rounding mode; out-of-range
  // and NaN give INT64_MIN instead of undefined behaviour.
  return _mm_cvtsd_si64(_mm_set_sd(x));
#else
  const double r = std::nearbyint(x);
  return r >= -9.2e18 && r <= 9.2e18 ? static_cast<std::int64_t>(r) : INT64_MIN;
#endif
}

// x - 0.5 rounded to nearest, ties to even: floor(x), except that an odd
// whole number n gives n - 1.
inline std::int64_t WholePart(double x) {
  return Nearest(x - 0.5);
}

// The same for a float whose magnitude is below 2^22, where x - 0.5 is exact
// in float (or, below 0.5, rounds to a value that rounds to 0 all the same).
inline std::int32_t WholePart(float x) {
#if defined(__x86_64__)
  return _mm_cvtss_si32(_mm_set_ss(x - 0.5f));
#else
  return static_cast<std::int32_t>(Nearest(static_cast<double>(x) - 0.5));
#endif
}

}  // namespace engine
