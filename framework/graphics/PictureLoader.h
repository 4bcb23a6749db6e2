#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "framework/core/Exception.h"

namespace framework {

// A picture file that cannot be opened or understood.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// A decoded picture: 32-bit pixels (blue, green, red, alpha), rows bottom-up.
struct TLoadedPicture {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::vector<std::uint8_t> Bits;
  // True when the source carried an alpha channel (a 32-bit bitmap, or a PNG
  // with alpha or a transparency chunk); otherwise the alpha bytes are 255.
  bool HasAlpha = false;
};

// Pictures larger than this in either axis are refused (buffers are 16-bit).
inline constexpr std::int32_t kMaxPictureSide = 65535;
// A header may not announce more pixels than this (a 256 MB picture).
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 26;

// PNG (through libpng, where the build has it: PLONKRIFT_PNG_IMPORT) and Windows BMP (our reader: 1, 4, 8,
// 16, 24 and 32 bits per pixel, uncompressed or bit-field coded), chosen by content.
TLoadedPicture LoadPicture(const std::string& fileName);
TLoadedPicture LoadPictureFromMemory(std::span<const std::uint8_t> bytes);

}  // namespace framework
