#include "image/cDIBPalette.h"

#include <algorithm>
#include <limits>

namespace image {

void TDIBPalette::BuildLookupTable(std::size_t usable) {
  lookup_.assign(kLookupSize, 0);
  const std::size_t n = std::min(usable, entries_.size());
  if (n == 0) return;
  for (int r = 0; r < 64; ++r)
    for (int g = 0; g < 64; ++g)
      for (int b = 0; b < 64; ++b) {
        // Centre of the 4-value cell each table slot stands for.
        const int cr = r * 4 + 2, cg = g * 4 + 2, cb = b * 4 + 2;
        int best = 0;
        long bestDistance = std::numeric_limits<long>::max();
        for (std::size_t i = 0; i < n; ++i) {
          const auto& e = entries_[i];
          const long dr = cr - e.Red, dg = cg - e.Green, db = cb - e.Blue;
          const long distance = dr * dr + dg * dg + db * db;
          if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
          }
        }
        lookup_[b + g * 64 + r * 4096] = static_cast<std::uint8_t>(best);
      }
}

}  // namespace image
