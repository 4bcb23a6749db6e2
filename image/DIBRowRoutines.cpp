// The eight per-row transfer routines. Each is a plain byte loop with integer
// arithmetic only, written so the compiler can vectorise it; the results are
// exact to the byte:
//   mix(s, d, a) = (s * a + d * (255 - a) + 255) >> 8

#include <algorithm>
#include <cstring>

#include "image/cDIB.h"

namespace image {

namespace {

inline std::uint8_t Mix(unsigned s, unsigned d, unsigned a) {
  return static_cast<std::uint8_t>((s * a + d * (255 - a) + 255) >> 8);
}

// Runs `pixel` over every pixel of the rectangle. After a row both pointers
// step back by their stride from the row's end, which is the start of the next
// visual row down in bottom-up storage.
template <class PixelOp>
inline void ForRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                    std::int32_t rows, std::ptrdiff_t srcStride, std::ptrdiff_t dstStride,
                    PixelOp pixel) {
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(columns) * 4;
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint8_t* __restrict s = src - r * (srcStride - row);
    std::uint8_t* __restrict d = dst - r * (dstStride - row);
    for (std::int32_t i = 0; i < columns; ++i) pixel(s + i * 4, d + i * 4);
  }
}

}  // namespace

void TAbstractSuperDIB::CopyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                 std::int32_t rows, std::ptrdiff_t srcStride,
                                 std::ptrdiff_t dstStride) {
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(columns) * 4;
  for (std::int32_t r = 0; r < rows; ++r)
    std::memcpy(dst - r * (dstStride - row), src - r * (srcStride - row), row);
}

void TAbstractSuperDIB::BlendRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                  std::int32_t rows, std::ptrdiff_t srcStride,
                                  std::ptrdiff_t dstStride) {
  const unsigned o = opacity_;
  ForRows(src, dst, columns, rows, srcStride, dstStride,
          [o](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
            d[0] = Mix(s[0], d[0], o);
            d[1] = Mix(s[1], d[1], o);
            d[2] = Mix(s[2], d[2], o);
            d[3] = std::max(d[3], s[3]);
          });
}

void TAbstractSuperDIB::MaskRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                 std::int32_t rows, std::ptrdiff_t srcStride,
                                 std::ptrdiff_t dstStride) {
  ForRows(src, dst, columns, rows, srcStride, dstStride,
          [](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
            const unsigned a = s[3];
            d[0] = Mix(s[0], d[0], a);
            d[1] = Mix(s[1], d[1], a);
            d[2] = Mix(s[2], d[2], a);
            d[3] = std::max(d[3], s[3]);
          });
}

void TAbstractSuperDIB::MaskBlendRows(const std::uint8_t* src, std::uint8_t* dst,
                                      std::int32_t columns, std::int32_t rows,
                                      std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  const unsigned o = opacity_;
  ForRows(src, dst, columns, rows, srcStride, dstStride,
          [o](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
            const unsigned a = (s[3] * o) >> 8;
            d[0] = Mix(s[0], d[0], a);
            d[1] = Mix(s[1], d[1], a);
            d[2] = Mix(s[2], d[2], a);
            d[3] = std::max(d[3], s[3]);
          });
}

void TAbstractSuperDIB::KeyRows(const std::uint8_t* src, std::uint8_t* dst, std::int32_t columns,
                                std::int32_t rows, std::ptrdiff_t srcStride,
                                std::ptrdiff_t dstStride) {
  const std::uint32_t key = transparentColor_ & 0x00FFFFFF;
  ForRows(src, dst, columns, rows, srcStride, dstStride,
          [key](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
            std::uint32_t p;
            std::memcpy(&p, s, 4);
            p &= 0x00FFFFFF;
            if (p != key) std::memcpy(d, &p, 4);
          });
}

void TAbstractSuperDIB::KeyBlendRows(const std::uint8_t* src, std::uint8_t* dst,
                                     std::int32_t columns, std::int32_t rows,
                                     std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  const std::uint32_t key = transparentColor_ & 0x00FFFFFF;
  const unsigned o = opacity_;
  ForRows(src, dst, columns, rows, srcStride, dstStride,
          [key, o](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
            std::uint32_t p;
            std::memcpy(&p, s, 4);
            if ((p & 0x00FFFFFF) != key) {
              d[0] = Mix(s[0], d[0], o);
              d[1] = Mix(s[1], d[1], o);
              d[2] = Mix(s[2], d[2], o);
              d[3] = s[3];
            }
          });
}

void TAbstractSuperDIB::CopyAlphaRows(const std::uint8_t* src, std::uint8_t* dst,
                                      std::int32_t columns, std::int32_t rows,
                                      std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  ForRows(src, dst, columns, rows, srcStride, dstStride,
          [](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) { d[3] = s[3]; });
}

void TAbstractSuperDIB::AlphaToGreyRows(const std::uint8_t* src, std::uint8_t* dst,
                                        std::int32_t columns, std::int32_t rows,
                                        std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) {
  ForRows(src, dst, columns, rows, srcStride, dstStride,
          [](const std::uint8_t* __restrict s, std::uint8_t* __restrict d) {
            d[0] = d[1] = d[2] = d[3] = s[3];
          });
}

}  // namespace image
