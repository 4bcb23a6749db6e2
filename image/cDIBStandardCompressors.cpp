#include "image/cDIBStandardCompressors.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "framework/core/Stream.h"
#include "image/DIBLZH.h"

namespace image {

void Shuffle4(const std::uint8_t* source, std::size_t size, std::uint8_t* dest) {
  const std::size_t q = size / 4;
  std::uint8_t* p0 = dest;
  std::uint8_t* p1 = dest + q;
  std::uint8_t* p2 = dest + 2 * q;
  std::uint8_t* p3 = dest + 3 * q;
  for (std::size_t i = 0; i < q; ++i) {
    p0[i] = source[4 * i];
    p1[i] = source[4 * i + 1];
    p2[i] = source[4 * i + 2];
    p3[i] = source[4 * i + 3];
  }
  std::copy(source + 4 * q, source + size, dest + 4 * q);
}

void Unshuffle4(const std::uint8_t* source, std::size_t size, std::uint8_t* dest) {
  const std::size_t q = size / 4;
  const std::uint8_t* p0 = source;
  const std::uint8_t* p1 = source + q;
  const std::uint8_t* p2 = source + 2 * q;
  const std::uint8_t* p3 = source + 3 * q;
  for (std::size_t i = 0; i < q; ++i) {
    dest[4 * i] = p0[i];
    dest[4 * i + 1] = p1[i];
    dest[4 * i + 2] = p2[i];
    dest[4 * i + 3] = p3[i];
  }
  std::copy(source + 4 * q, source + size, dest + 4 * q);
}

// ---- Shuffle4 RLE ----------------------------------------------------------

bool TRLEDIBCompressor::HandlesGUID(const TGUID& id) const {
  return id.ToString() == GetGUID().ToString();
}

std::string TRLEDIBCompressor::GetDescription() const {
  return "Shuffle4 RLE\r\n\r\nShuffles the RGBA values from\r\nRGBA,RGBA,RGBA,RGBA "
         "to\r\nRRRR,GGGG,BBBB,AAAA\r\n"
         "in order to create higher repitition,\r\nand then performs a simple RLE compression";
}

std::size_t TRLEDIBCompressor::Compress(const TAbstractSuperDIB*, const std::uint8_t* source,
                                        std::size_t size, std::uint8_t* dest) {
  // The pair budget is half the input, so the payload never outgrows `dest`.
  const std::size_t maxPairs = size / 2;
  if (maxPairs == 0) return 0;
  std::vector<std::uint8_t> block(size);
  Shuffle4(source, size, block.data());

  std::size_t pairs = 0;
  std::size_t i = 0;
  while (i < size) {
    if (pairs == maxPairs) return 0;  // another pair would not fit: give up
    const std::uint8_t value = block[i];
    std::size_t run = 1;
    const std::size_t limit = std::min<std::size_t>(255, size - i);
    while (run < limit && block[i + run] == value) ++run;
    dest[2 * pairs] = static_cast<std::uint8_t>(run);
    dest[2 * pairs + 1] = value;
    ++pairs;
    i += run;
  }
  return 2 * pairs;
}

void TRLEDIBCompressor::Decompress(TAbstractSuperDIB*, const TGUID&, std::size_t uncompressedSize,
                                   std::size_t compressedSize, std::uint8_t* dest,
                                   const std::uint8_t* source) {
  std::vector<std::uint8_t> block(uncompressedSize, 0);
  std::size_t filled = 0;
  const std::size_t pairs = compressedSize / 2;
  for (std::size_t p = 0; p < pairs && filled < uncompressedSize; ++p) {
    const std::size_t count = std::min<std::size_t>(source[2 * p], uncompressedSize - filled);
    std::memset(block.data() + filled, source[2 * p + 1], count);
    filled += count;
  }
  Unshuffle4(block.data(), uncompressedSize, dest);
}

// ---- DIB LZH -----------------------------------------------------------------

bool TLZHDIBCompressor::HandlesGUID(const TGUID& id) const {
  return id.ToString() == GetGUID().ToString();
}

std::string TLZHDIBCompressor::GetDescription() const {
  return "Uses LZH compression to compress the graphics,\r\nCompression is slow, decompression is not so "
         "slow, but the "
         "savings in size are very large.";
}

std::size_t TLZHDIBCompressor::Compress(const TAbstractSuperDIB*, const std::uint8_t* source,
                                        std::size_t size, std::uint8_t* dest) {
  try {
    framework::TMemoryStream input(std::vector<std::uint8_t>(source, source + size));
    framework::TMemoryStream output;
    TLZHStream lzh(input, output);
    const std::size_t code = lzh.Encode(size);
    const std::size_t total = code + 4;
    if (total > size || output.Bytes().size() != total) return 0;
    std::memcpy(dest, output.Bytes().data(), total);
    return total;
  } catch (const std::exception&) {
    // "Larger than the original" and any other failure: the caller stores raw.
    return 0;
  }
}

void TLZHDIBCompressor::Decompress(TAbstractSuperDIB*, const TGUID&, std::size_t uncompressedSize,
                                   std::size_t compressedSize, std::uint8_t* dest,
                                   const std::uint8_t* source) {
  // Only the first uncompressedSize bytes are kept, so the run stops there
  // however much the payload's own header announces.
  TLZHMemory lzh;
  const std::size_t produced = lzh.Expand({source, compressedSize}, dest, uncompressedSize);
  if (produced < uncompressedSize) std::memset(dest + produced, 0, uncompressedSize - produced);
}

}  // namespace image
