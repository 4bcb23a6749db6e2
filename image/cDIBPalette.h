#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "framework/graphics/IndexedBitmap.h"

namespace image {

// A palette for 8-bit screens, with an optional 64 x 64 x 64 lookup table that
// maps a colour (each channel div 4) to a palette index:
// index = table[(B div 4) + (G div 4) * 64 + (R div 4) * 4096].
class TDIBPalette {
 public:
  static constexpr std::size_t kLookupSize = 64 * 64 * 64;

  std::vector<framework::TPaletteEntry>& Entries() { return entries_; }
  const std::vector<framework::TPaletteEntry>& Entries() const { return entries_; }

  bool HasLookupTable() const { return !lookup_.empty(); }
  const std::vector<std::uint8_t>& LookupTable() const { return lookup_; }
  std::vector<std::uint8_t>& LookupTable() { return lookup_; }
  void ClearLookupTable() { lookup_.clear(); }
  // Fills the lookup table with the nearest entry (squared distance) among the
  // first `usable` entries.
  void BuildLookupTable(std::size_t usable = 235);

 private:
  std::vector<framework::TPaletteEntry> entries_;
  std::vector<std::uint8_t> lookup_;
};

}  // namespace image
