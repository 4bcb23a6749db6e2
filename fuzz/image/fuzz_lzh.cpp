// LZH: decoding any input is bounded by the limit and stays inside the
// buffers; encoding any block either fails with the size-limit error or
// decodes back to it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/core/Stream.h"
#include "image/DIBLZH.h"
#include "image/cDIBStandardCompressors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input(data, data + size);
  {
    framework::TMemoryStream in(input), out;
    image::TLZHStream lzh(in, out);
    // Past its end the input reads as zero bits, so any header length decodes;
    // a limit tied to the input size keeps runs fast.
    const std::size_t limit = 4096 + 64 * size;
    const std::size_t produced = lzh.Decode(limit);
    if (produced != out.Bytes().size() || produced > limit) std::abort();
    if (produced != std::min<std::size_t>(lzh.ExpectedLength(), limit)) std::abort();
  }

  image::TLZHDIBCompressor compressor;
  std::vector<std::uint8_t> packed(size);
  const std::size_t r = compressor.Compress(nullptr, data, size, packed.data());
  if (r > size) std::abort();
  if (r > 0) {
    std::vector<std::uint8_t> back(size);
    compressor.Decompress(nullptr, compressor.GetGUID(), size, r, back.data(), packed.data());
    if (std::memcmp(back.data(), data, size) != 0) std::abort();
  }
  return 0;
}
