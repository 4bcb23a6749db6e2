#include "framework/graphics/Region.h"

#include <algorithm>
#include <limits>

namespace framework {

namespace {

using Spans = std::vector<std::pair<std::int32_t, std::int32_t>>;

// Sorts and merges overlapping or touching spans.
void Normalise(Spans& spans) {
  std::sort(spans.begin(), spans.end());
  Spans out;
  for (const auto& s : spans) {
    if (s.first >= s.second) continue;
    if (!out.empty() && s.first <= out.back().second)
      out.back().second = std::max(out.back().second, s.second);
    else
      out.push_back(s);
  }
  spans.swap(out);
}

bool Apply(TRegion::TCombineMode mode, bool a, bool b) {
  switch (mode) {
    case TRegion::TCombineMode::Or:
      return a || b;
    case TRegion::TCombineMode::And:
      return a && b;
    case TRegion::TCombineMode::Xor:
      return a != b;
    case TRegion::TCombineMode::Diff:
      return a && !b;
    case TRegion::TCombineMode::Copy:
      return a;
  }
  return false;
}

// Boolean combination of two normalised span lists.
Spans CombineSpans(const Spans& a, const Spans& b, TRegion::TCombineMode mode) {
  std::vector<std::int32_t> xs;
  for (const auto& s : a) xs.insert(xs.end(), {s.first, s.second});
  for (const auto& s : b) xs.insert(xs.end(), {s.first, s.second});
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  Spans out;
  std::size_t ia = 0, ib = 0;
  for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
    const std::int32_t x = xs[i];
    while (ia < a.size() && a[ia].second <= x) ++ia;
    while (ib < b.size() && b[ib].second <= x) ++ib;
    const bool inA = ia < a.size() && a[ia].first <= x;
    const bool inB = ib < b.size() && b[ib].first <= x;
    if (Apply(mode, inA, inB)) {
      if (!out.empty() && out.back().second == x)
        out.back().second = xs[i + 1];
      else
        out.emplace_back(x, xs[i + 1]);
    }
  }
  return out;
}

}  // namespace

TRegion::TRegion(const TRect& rect) {
  if (rect.Right > rect.Left && rect.Bottom > rect.Top)
    bands_.push_back({rect.Top, rect.Bottom, {{rect.Left, rect.Right}}});
}

TRegion TRegion::FromRects(std::span<const TRect> rects) {
  std::vector<std::int32_t> ys;
  std::vector<TRect> valid;
  for (const auto& r : rects) {
    if (r.Right <= r.Left || r.Bottom <= r.Top) continue;
    valid.push_back(r);
    ys.push_back(r.Top);
    ys.push_back(r.Bottom);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::sort(valid.begin(), valid.end(), [](const TRect& a, const TRect& b) { return a.Top < b.Top; });
  TRegion result;
  std::size_t first = 0;  // rectangles before this one end above the band
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    const std::int32_t top = ys[i], bottom = ys[i + 1];
    Spans spans;
    for (std::size_t k = first; k < valid.size() && valid[k].Top <= top; ++k)
      if (valid[k].Bottom > top) spans.emplace_back(valid[k].Left, valid[k].Right);
    while (first < valid.size() && valid[first].Bottom <= top) ++first;
    Normalise(spans);
    if (spans.empty()) continue;
    TBand band{top, bottom, {}};
    for (const auto& s : spans) band.Spans.push_back({s.first, s.second});
    if (!result.bands_.empty() && result.bands_.back().Bottom == top &&
        result.bands_.back().Spans == band.Spans)
      result.bands_.back().Bottom = bottom;
    else
      result.bands_.push_back(std::move(band));
  }
  return result;
}

TRegion TRegion::Combine(const TRegion& a, const TRegion& b, TCombineMode mode) {
  if (mode == TCombineMode::Copy) return a;
  std::vector<std::int32_t> ys;
  for (const auto& band : a.bands_) ys.insert(ys.end(), {band.Top, band.Bottom});
  for (const auto& band : b.bands_) ys.insert(ys.end(), {band.Top, band.Bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  TRegion result;
  std::size_t ia = 0, ib = 0;
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    const std::int32_t top = ys[i], bottom = ys[i + 1];
    while (ia < a.bands_.size() && a.bands_[ia].Bottom <= top) ++ia;
    while (ib < b.bands_.size() && b.bands_[ib].Bottom <= top) ++ib;
    Spans sa, sb;
    if (ia < a.bands_.size() && a.bands_[ia].Top <= top)
      for (const auto& s : a.bands_[ia].Spans) sa.emplace_back(s.Left, s.Right);
    if (ib < b.bands_.size() && b.bands_[ib].Top <= top)
      for (const auto& s : b.bands_[ib].Spans) sb.emplace_back(s.Left, s.Right);
    const Spans spans = CombineSpans(sa, sb, mode);
    if (spans.empty()) continue;
    TBand band{top, bottom, {}};
    for (const auto& s : spans) band.Spans.push_back({s.first, s.second});
    if (!result.bands_.empty() && result.bands_.back().Bottom == top &&
        result.bands_.back().Spans == band.Spans)
      result.bands_.back().Bottom = bottom;
    else
      result.bands_.push_back(std::move(band));
  }
  return result;
}

bool TRegion::Contains(std::int32_t x, std::int32_t y) const {
  auto it = std::upper_bound(bands_.begin(), bands_.end(), y,
                             [](std::int32_t v, const TBand& b) { return v < b.Bottom; });
  if (it == bands_.end() || it->Top > y) return false;
  auto sp = std::upper_bound(it->Spans.begin(), it->Spans.end(), x,
                             [](std::int32_t v, const TSpan& s) { return v < s.Right; });
  return sp != it->Spans.end() && sp->Left <= x;
}

TRect TRegion::Bounds() const {
  if (bands_.empty()) return {};
  TRect r{std::numeric_limits<std::int32_t>::max(), bands_.front().Top,
          std::numeric_limits<std::int32_t>::min(), bands_.back().Bottom};
  for (const auto& band : bands_) {
    r.Left = std::min(r.Left, band.Spans.front().Left);
    r.Right = std::max(r.Right, band.Spans.back().Right);
  }
  return r;
}

std::vector<TRect> TRegion::Rects() const {
  std::vector<TRect> out;
  for (const auto& band : bands_)
    for (const auto& s : band.Spans) out.push_back({s.Left, band.Top, s.Right, band.Bottom});
  return out;
}

std::int64_t TRegion::Area() const {
  std::int64_t area = 0;
  for (const auto& band : bands_)
    for (const auto& s : band.Spans) area += std::int64_t{s.Right - s.Left} * (band.Bottom - band.Top);
  return area;
}

}  // namespace framework
