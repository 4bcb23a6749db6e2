#include "host/VstUtils.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vsttext {

void copy(char* destination, const char* source, std::size_t capacity) noexcept {
  if (destination == nullptr || capacity == 0) return;
  if (source == nullptr) {
    destination[0] = '\0';
    return;
  }
  const std::size_t length = boundedLength(source, capacity - 1);
  std::memcpy(destination, source, length);
  destination[length] = '\0';
}

std::size_t boundedLength(const char* text, std::size_t limit) noexcept {
  if (text == nullptr) return 0;
  return strnlen(text, limit);
}

}  // namespace vsttext

void float2string(float value, char* text, std::size_t capacity) noexcept {
  if (text == nullptr || capacity == 0) return;
  char buffer[64];
  // snprintf's %.2f already uses the C locale's decimal point; the locale is
  // only read, so a host's own locale settings are respected and left alone.
  int written = 0;
  if (std::isfinite(value)) {
    written = std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(value));
  } else {
    written =
        std::snprintf(buffer, sizeof buffer, "%s", std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf"));
  }
  if (written < 0) buffer[0] = '\0';
  vsttext::copy(text, buffer, capacity);
}
