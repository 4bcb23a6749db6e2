// The eight per-row transfer routines: integer arithmetic only, exact to the
// byte. The blends run four pixels at a time with SSE2 where it exists, with
// the plain byte loop as the reference and for the remaining columns:
//   mix(s, d, a) = (s * a + d * (255 - a) + 255) >> 8

#include <algorithm>
#include <cstring>

#include "image/cDIB.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define PLONK_DIB_SSE2 1
#endif

namespace image {

namespace {

inline std::uint8_t Mix(unsigned s, unsigned d, unsigned a) {
  return static_cast<std::uint8_t>((s * a + d * (255 - a) + 255) >> 8);
}

// Runs `pixel` over every pixel of the rectangle. After a row both pointers
// step back by their stride from the row's end, which is the start of the next
// visual row down in bottom-up storage.
template <class PixelOp>
inline void ForRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns, std::int32_t rows,
                    std::ptrdiff_t srcStride, std::ptrdiff_t dstStride, PixelOp pixel) {
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(columns) * 4;
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint8_t* __restrict s = src - r * (srcStride - row);
    std::uint8_t* __restrict d = dst - r * (dstStride - row);
    for (std::int32_t i = 0; i < columns; ++i) pixel(s + i * 4, d + i * 4);
  }
}

#ifdef PLONK_DIB_SSE2
// Four pixels at a time with SSE2 (part of every x86-64 processor); a scalar
// loop takes the remaining columns. Products fit 16 bits: s*a + d*(255-a) + 255
// is at most 65280.
//
// `alphaOf(s16)` gives, per 16-bit lane of two unpacked pixels, the weight of
// the source; `finish(mixed, s, d)` merges the mixed colour with the alpha
// byte and any keying.
//
// `quick(sv)` may settle four pixels without the arithmetic: kBlend does the
// arithmetic, kCopySource stores the source pixels, kKeepDest leaves the
// destination alone.
enum TQuick { kBlend, kCopySource, kKeepDest };

struct TAlwaysBlend {
  TQuick operator()(__m128i) const { return kBlend; }
};

template <class AlphaOf, class Finish, class Scalar, class Quick = TAlwaysBlend>
inline void SimdRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns, std::int32_t rows,
                     std::ptrdiff_t srcStride, std::ptrdiff_t dstStride, AlphaOf alphaOf, Finish finish,
                     Scalar scalar, Quick quick = {}) {
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(columns) * 4;
  const __m128i zero = _mm_setzero_si128();
  const __m128i c255 = _mm_set1_epi16(255);
  const std::int32_t vectorColumns = columns & ~3;
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint8_t* s = src - r * (srcStride - row);
    std::uint8_t* d = dst - r * (dstStride - row);
    std::int32_t i = 0;
    for (; i < vectorColumns; i += 4) {
      const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4));
      const TQuick q = quick(sv);
      if (q == kKeepDest) continue;
      if (q == kCopySource) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), sv);
        continue;
      }
      const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i * 4));
      const __m128i sl = _mm_unpacklo_epi8(sv, zero), sh = _mm_unpackhi_epi8(sv, zero);
      const __m128i dl = _mm_unpacklo_epi8(dv, zero), dh = _mm_unpackhi_epi8(dv, zero);
      const __m128i al = alphaOf(sl), ah = alphaOf(sh);
      const __m128i ml = _mm_srli_epi16(
          _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(sl, al), _mm_mullo_epi16(dl, _mm_sub_epi16(c255, al))),
                        c255),
          8);
      const __m128i mh = _mm_srli_epi16(
          _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(sh, ah), _mm_mullo_epi16(dh, _mm_sub_epi16(c255, ah))),
                        c255),
          8);
      const __m128i mixed = _mm_packus_epi16(ml, mh);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), finish(mixed, sv, dv));
    }
    for (; i < columns; ++i) scalar(s + i * 4, d + i * 4);
  }
}

inline __m128i SourceAlpha16(__m128i s16) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}

// Colour bytes from `colour`, alpha bytes from `alpha`.
inline __m128i WithAlpha(__m128i colour, __m128i alpha) {
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  return _mm_or_si128(_mm_andnot_si128(alphaMask, colour), _mm_and_si128(alphaMask, alpha));
}

inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
  return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// Four pixels mixed by their own alpha: all opaque gives the source exactly
// (mix(s, d, 255) = s, alpha max(d, 255) = 255), all clear leaves the
// destination exactly (mix(s, d, 0) = d, alpha max(d, 0) = d). Skins are
// mostly one or the other.
inline TQuick ByOwnAlpha(__m128i sv) {
  const int alpha = _mm_movemask_epi8(_mm_cmpeq_epi8(sv, _mm_set1_epi8(static_cast<char>(0xFF)))) & 0x8888;
  if (alpha == 0x8888) return kCopySource;
  const int clear = _mm_movemask_epi8(_mm_cmpeq_epi8(sv, _mm_setzero_si128())) & 0x8888;
  return clear == 0x8888 ? kKeepDest : kBlend;
}
#endif

}  // namespace

void TAbstractSuperDIB::CopyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                 std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(columns) * 4;
  for (std::int32_t r = 0; r < rows; ++r)
    std::memcpy(dst - r * (dstStride - row), src - r * (srcStride - row), row);
}

void TAbstractSuperDIB::BlendRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                  std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  const unsigned o = opacity_;
  auto scalar = [o](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
    d[0] = Mix(s[0], d[0], o);
    d[1] = Mix(s[1], d[1], o);
    d[2] = Mix(s[2], d[2], o);
    d[3] = std::max(d[3], s[3]);
  };
#ifdef PLONK_DIB_SSE2
  const __m128i ov = _mm_set1_epi16(static_cast<short>(o));
  SimdRows(
      src, dst, columns, rows, srcStride, dstStride, [ov](__m128i) { return ov; },
      [](__m128i m, __m128i s, __m128i d) { return WithAlpha(m, _mm_max_epu8(s, d)); }, scalar);
#else
  ForRows(src, dst, columns, rows, srcStride, dstStride, scalar);
#endif
}

void TAbstractSuperDIB::MaskRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                 std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  auto scalar = [](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
    const unsigned a = s[3];
    d[0] = Mix(s[0], d[0], a);
    d[1] = Mix(s[1], d[1], a);
    d[2] = Mix(s[2], d[2], a);
    d[3] = std::max(d[3], s[3]);
  };
#ifdef PLONK_DIB_SSE2
  SimdRows(
      src, dst, columns, rows, srcStride, dstStride, SourceAlpha16,
      [](__m128i m, __m128i s, __m128i d) { return WithAlpha(m, _mm_max_epu8(s, d)); }, scalar, ByOwnAlpha);
#else
  ForRows(src, dst, columns, rows, srcStride, dstStride, scalar);
#endif
}

void TAbstractSuperDIB::MaskBlendRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                      std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  const unsigned o = opacity_;
  auto scalar = [o](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
    const unsigned a = (s[3] * o) >> 8;
    d[0] = Mix(s[0], d[0], a);
    d[1] = Mix(s[1], d[1], a);
    d[2] = Mix(s[2], d[2], a);
    d[3] = std::max(d[3], s[3]);
  };
#ifdef PLONK_DIB_SSE2
  const __m128i ov = _mm_set1_epi16(static_cast<short>(o));
  SimdRows(
      src, dst, columns, rows, srcStride, dstStride,
      [ov](__m128i s16) { return _mm_srli_epi16(_mm_mullo_epi16(SourceAlpha16(s16), ov), 8); },
      [](__m128i m, __m128i s, __m128i d) { return WithAlpha(m, _mm_max_epu8(s, d)); }, scalar);
#else
  ForRows(src, dst, columns, rows, srcStride, dstStride, scalar);
#endif
}

void TAbstractSuperDIB::KeyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  const std::uint32_t key = transparentColor_ & 0x00FFFFFF;
  auto scalar = [key](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
    std::uint32_t p;
    std::memcpy(&p, s, 4);
    p &= 0x00FFFFFF;
    if (p != key) std::memcpy(d, &p, 4);
  };
#ifdef PLONK_DIB_SSE2
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(columns) * 4;
  const __m128i colourMask = _mm_set1_epi32(0x00FFFFFF);
  const __m128i keyv = _mm_set1_epi32(static_cast<int>(key));
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint8_t* s = src - r * (srcStride - row);
    std::uint8_t* d = dst - r * (dstStride - row);
    std::int32_t i = 0;
    for (; i + 4 <= columns; i += 4) {
      const __m128i p =
          _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4)), colourMask);
      const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i * 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), Select(_mm_cmpeq_epi32(p, keyv), dv, p));
    }
    for (; i < columns; ++i) scalar(s + i * 4, d + i * 4);
  }
#else
  ForRows(src, dst, columns, rows, srcStride, dstStride, scalar);
#endif
}

void TAbstractSuperDIB::KeyBlendRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                     std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  const std::uint32_t key = transparentColor_ & 0x00FFFFFF;
  const unsigned o = opacity_;
  auto scalar = [key, o](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
    std::uint32_t p;
    std::memcpy(&p, s, 4);
    if ((p & 0x00FFFFFF) != key) {
      d[0] = Mix(s[0], d[0], o);
      d[1] = Mix(s[1], d[1], o);
      d[2] = Mix(s[2], d[2], o);
      d[3] = s[3];
    }
  };
#ifdef PLONK_DIB_SSE2
  const __m128i ov = _mm_set1_epi16(static_cast<short>(o));
  const __m128i colourMask = _mm_set1_epi32(0x00FFFFFF);
  const __m128i keyv = _mm_set1_epi32(static_cast<int>(key));
  SimdRows(
      src, dst, columns, rows, srcStride, dstStride, [ov](__m128i) { return ov; },
      [colourMask, keyv](__m128i m, __m128i s, __m128i d) {
        const __m128i isKey = _mm_cmpeq_epi32(_mm_and_si128(s, colourMask), keyv);
        return Select(isKey, d, WithAlpha(m, s));
      },
      scalar);
#else
  ForRows(src, dst, columns, rows, srcStride, dstStride, scalar);
#endif
}

void TAbstractSuperDIB::CopyAlphaRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                      std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  auto scalar = [](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) { d[3] = s[3]; };
#ifdef PLONK_DIB_SSE2
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(columns) * 4;
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint8_t* s = src - r * (srcStride - row);
    std::uint8_t* d = dst - r * (dstStride - row);
    std::int32_t i = 0;
    for (; i + 4 <= columns; i += 4) {
      const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4));
      const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i * 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), WithAlpha(dv, sv));
    }
    for (; i < columns; ++i) scalar(s + i * 4, d + i * 4);
  }
#else
  ForRows(src, dst, columns, rows, srcStride, dstStride, scalar);
#endif
}

void TAbstractSuperDIB::AlphaToGreyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                        std::int32_t rows, std::ptrdiff_t srcStride,
                                        std::ptrdiff_t dstStride) {
  ForRows(
      src, dst, columns, rows, srcStride, dstStride,
      [](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) { d[0] = d[1] = d[2] = d[3] = s[3]; });
}

}  // namespace image
