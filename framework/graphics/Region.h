#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "framework/graphics/Types.h"

namespace framework {

// A set of pixels described by rectangles (Right and Bottom exclusive). Kept
// normalised as horizontal bands of disjoint, sorted, non-touching spans so
// that equal pixel sets compare equal whatever rectangles built them.
class TRegion {
 public:
  enum class TCombineMode { Or, And, Xor, Diff, Copy };

  TRegion() = default;
  explicit TRegion(const TRect& rect);
  // Builds a region from a list of rectangles, as the system does from a
  // region-data block; empty rectangles are ignored.
  static TRegion FromRects(std::span<const TRect> rects);

  // Result := a <mode> b.
  static TRegion Combine(const TRegion& a, const TRegion& b, TCombineMode mode);
  void Union(const TRegion& other) { *this = Combine(*this, other, TCombineMode::Or); }

  bool Contains(std::int32_t x, std::int32_t y) const;
  bool IsEmpty() const { return bands_.empty(); }
  TRect Bounds() const;
  // The region as disjoint rectangles, top band first, left to right.
  std::vector<TRect> Rects() const;
  // Number of pixels covered.
  std::int64_t Area() const;

  friend bool operator==(const TRegion&, const TRegion&) = default;

 private:
  struct TSpan {
    std::int32_t Left, Right;
    friend bool operator==(const TSpan&, const TSpan&) = default;
  };
  struct TBand {
    std::int32_t Top, Bottom;
    std::vector<TSpan> Spans;
    friend bool operator==(const TBand&, const TBand&) = default;
  };
  std::vector<TBand> bands_;
};

// The layout of the system's region-data block: a 32-byte header followed by
// 16 bytes per rectangle.
struct TRegionDataHeader {
  std::uint32_t Size = 32;
  std::uint32_t Kind = 1;  // a list of rectangles
  std::uint32_t Count = 0;
  std::uint32_t RgnSize = 0;
  TRect Bounds;
};
static_assert(sizeof(TRegionDataHeader) == 32);
static_assert(sizeof(TRect) == 16);

}  // namespace framework
