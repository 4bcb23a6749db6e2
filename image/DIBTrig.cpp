// The 16.16 rotation tables, one entry per thousandth of a degree. They are
// built in 80-bit extended arithmetic, so entries that are mathematically 0
// come out as 0 or 1 by the sign of the rounding residue.

#include <cmath>
#include <memory>

#include "image/cDIB.h"

namespace image::trig {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kHalfPi = 1.570796326794896619231321691639751442L;

struct TTables {
  std::unique_ptr<std::int32_t[]> sin{new std::int32_t[kEntries]};
  std::unique_ptr<std::int32_t[]> cos{new std::int32_t[kEntries]};
  std::unique_ptr<std::int32_t[]> sin90{new std::int32_t[kEntries]};
  std::unique_ptr<std::int32_t[]> cos90{new std::int32_t[kEntries]};

  TTables() {
    for (int k = 0; k < kEntries; ++k) {
      const long double theta = (k * kPi) / 180000.0L;
      const long double theta90 = theta + kHalfPi;
      sin[k] = static_cast<std::int32_t>(std::ceil(std::sin(theta) * 65536.0L));
      cos[k] = static_cast<std::int32_t>(std::ceil(std::cos(theta) * 65536.0L));
      sin90[k] = static_cast<std::int32_t>(std::ceil(std::sin(theta90) * 65536.0L));
      cos90[k] = static_cast<std::int32_t>(std::ceil(std::cos(theta90) * 65536.0L));
    }
  }
};

// Built on first use (thread-safe); read-only afterwards.
const TTables& Tables() {
  static const TTables tables;
  return tables;
}

}  // namespace

const std::int32_t* SinTable() {
  return Tables().sin.get();
}
const std::int32_t* CosTable() {
  return Tables().cos.get();
}
const std::int32_t* SinPlus90Table() {
  return Tables().sin90.get();
}
const std::int32_t* CosPlus90Table() {
  return Tables().cos90.get();
}

int Index(long double angle) {
  const long double scaled = angle * 1000.0L;
  // Angles are kept in [0, 360); anything else is clamped to a valid entry.
  if (!(scaled >= 0)) return 0;
  if (scaled >= kEntries) return kEntries - 1;
  return static_cast<int>(scaled);
}

}  // namespace image::trig
