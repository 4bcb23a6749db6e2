// "Shuffle4 RLE": expanding any payload to any announced length stays inside
// the buffers, and compressing any block expands back to it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/cDIBStandardCompressors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  image::TRLEDIBCompressor rle;
  if (size >= 3) {
    // First three bytes: the announced length (kept to 18 bits so runs stay fast).
    const std::size_t announced = (data[0] | (data[1] << 8) | (data[2] << 16)) & 0x3FFFF;
    std::vector<std::uint8_t> dest(announced);
    rle.Decompress(nullptr, rle.GetGUID(), announced, size - 3, dest.data(), data + 3);
  }

  std::vector<std::uint8_t> packed(size);
  const std::size_t r = rle.Compress(nullptr, data, size, packed.data());
  if (r > size || r % 2 != 0) std::abort();
  if (r > 0) {
    std::vector<std::uint8_t> back(size);
    rle.Decompress(nullptr, rle.GetGUID(), size, r, back.data(), packed.data());
    if (std::memcmp(back.data(), data, size) != 0) std::abort();
  }
  return 0;
}
