#pragma once

#include <emmintrin.h>

// The engine evaluates its expressions in double and rounds each value it
// stores to float. The filter-and-delay arithmetic is written once over a
// number type Real: double for one unit, or Pair for both units side by side
// (two doubles in one register). Pair operations are the same IEEE
// operations element by element, so both give the same bits.
namespace engine {

using Pair = double __attribute__((vector_size(16)));

inline Pair MakePair(double first, double second) {
  return Pair{first, second};
}
inline Pair Both(double value) {
  return Pair{value, value};
}

// All ones for true, 0 for false.
inline Pair Mask(bool first, bool second) {
  return reinterpret_cast<Pair>(_mm_castsi128_pd(_mm_set_epi64x(second ? -1 : 0, first ? -1 : 0)));
}
// Each element where keep is all ones, else 0 (keep from a comparison).
inline Pair Select(Pair keep, Pair value) {
  return reinterpret_cast<Pair>(
      _mm_and_pd(reinterpret_cast<__m128d>(keep), reinterpret_cast<__m128d>(value)));
}
// first where pick is all ones, else second.
inline Pair Choose(Pair pick, Pair first, Pair second) {
  const __m128d mask = reinterpret_cast<__m128d>(pick);
  return reinterpret_cast<Pair>(_mm_or_pd(_mm_and_pd(mask, reinterpret_cast<__m128d>(first)),
                                          _mm_andnot_pd(mask, reinterpret_cast<__m128d>(second))));
}
// All ones where a > b, and where a < b (false for NaN).
inline Pair Greater(Pair a, Pair b) {
  return reinterpret_cast<Pair>(_mm_cmpgt_pd(reinterpret_cast<__m128d>(a), reinterpret_cast<__m128d>(b)));
}
inline Pair Less(Pair a, Pair b) {
  return reinterpret_cast<Pair>(_mm_cmplt_pd(reinterpret_cast<__m128d>(a), reinterpret_cast<__m128d>(b)));
}
// (a[0], b[0]) and (a[1], b[1]).
inline Pair Lows(Pair a, Pair b) {
  return reinterpret_cast<Pair>(_mm_unpacklo_pd(reinterpret_cast<__m128d>(a), reinterpret_cast<__m128d>(b)));
}
inline Pair Highs(Pair a, Pair b) {
  return reinterpret_cast<Pair>(_mm_unpackhi_pd(reinterpret_cast<__m128d>(a), reinterpret_cast<__m128d>(b)));
}
// All ones where |x| < limit (false for NaN), else 0.
inline Pair Below(Pair x, double limit) {
  const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), reinterpret_cast<__m128d>(x));
  return reinterpret_cast<Pair>(_mm_cmplt_pd(magnitude, _mm_set1_pd(limit)));
}

// The value as a 32-bit field would store it.
inline double RoundToFloat(double x) {
  return static_cast<float>(x);
}
inline Pair RoundToFloat(Pair x) {
  return reinterpret_cast<Pair>(_mm_cvtps_pd(_mm_cvtpd_ps(reinterpret_cast<__m128d>(x))));
}

// "If x is greater than limit, x = limit."
inline double AtMost(double x, double limit) {
  return x > limit ? limit : x;
}
inline Pair AtMost(Pair x, double limit) {
  // minpd answers its first operand where it is the smaller, else its second.
  return reinterpret_cast<Pair>(_mm_min_pd(_mm_set1_pd(limit), reinterpret_cast<__m128d>(x)));
}
// "If x is less than limit, x = limit."
inline double AtLeast(double x, double limit) {
  return x < limit ? limit : x;
}
inline Pair AtLeast(Pair x, double limit) {
  return reinterpret_cast<Pair>(_mm_max_pd(_mm_set1_pd(limit), reinterpret_cast<__m128d>(x)));
}

}  // namespace engine
