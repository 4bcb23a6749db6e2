#include "image/DIBDataStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/Stream.h"
#include "image/cDIB.h"
#include "image/cDIBCompressor.h"

namespace image {

namespace {

constexpr char kSignature[6] = {'D', 'I', 'B', 'C', 'M', 'P'};
constexpr std::size_t kHeaderSize = 6 + TGUID::kByteSize + 4;  // 26

std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

void WriteDIBData(const TAbstractSuperDIB& dib, framework::TStream& stream) {
  const std::size_t pixelBytes = std::size_t{dib.Width()} * dib.Height() * 4;
  const std::size_t n = 4 + pixelBytes;
  std::vector<std::uint8_t> raw(n, 0);
  raw[0] = static_cast<std::uint8_t>(dib.Width());
  raw[1] = static_cast<std::uint8_t>(dib.Width() >> 8);
  raw[2] = static_cast<std::uint8_t>(dib.Height());
  raw[3] = static_cast<std::uint8_t>(dib.Height() >> 8);
  if (dib.Bits() != nullptr && pixelBytes > 0) std::memcpy(raw.data() + 4, dib.Bits(), pixelBytes);

  // The length field is 32 bits: anything larger can only be stored raw.
  TAbstractDIBCompressor* compressor = CurrentCompressor();
  if (compressor != nullptr && n <= std::numeric_limits<std::uint32_t>::max()) {
    std::vector<std::uint8_t> packed(n);
    std::size_t r = 0;
    try {
      r = compressor->Compress(&dib, raw.data(), n, packed.data());
    } catch (const std::exception&) {
      r = 0;  // a failing compressor means "store raw", never a lost picture
    }
    if (r > 0 && r <= n) {
      const auto id = compressor->GetGUID().ToBytes();
      stream.WriteBuffer(kSignature, sizeof kSignature);
      stream.WriteBuffer(id.data(), id.size());
      stream.WriteU32(static_cast<std::uint32_t>(n));
      stream.WriteBuffer(packed.data(), r);
      return;
    }
  }
  stream.WriteBuffer(raw.data(), n);
}

void ReadDIBData(TAbstractSuperDIB& dib, framework::TStream& stream, std::size_t length, std::size_t maxPixels) {
  // Check before allocating: the length comes from the enclosing form.
  const std::int64_t remaining = stream.Remaining();
  if (remaining < 0 || length > static_cast<std::uint64_t>(remaining)) {
    throw framework::EReadError("Stream read error");
  }
  std::vector<std::uint8_t> value(length);
  stream.ReadBuffer(value.data(), length);

  const std::uint8_t* raw = value.data();
  std::size_t rawLength = length;
  std::vector<std::uint8_t> expanded;
  if (length >= kHeaderSize && std::memcmp(value.data(), kSignature, sizeof kSignature) == 0) {
    const TGUID id = TGUID::FromBytes(value.data() + 6);
    const std::size_t announced = LoadU32(value.data() + 22);
    TAbstractDIBCompressor* decompressor = FindDecompressor(id);
    if (decompressor == nullptr) throw EDIBCompressError("Could not find a suitable decompressor.");
    if ((announced - std::min<std::size_t>(announced, 4)) / 4 > maxPixels) throw EDIBError("Picture data is too large.");
    expanded.assign(announced, 0);
    decompressor->Decompress(&dib, id, announced, length - kHeaderSize, expanded.data(),
                             value.data() + kHeaderSize);
    raw = expanded.data();
    rawLength = announced;
  }

  if (rawLength < 4) throw framework::EReadError("Stream read error");
  const std::uint16_t width = static_cast<std::uint16_t>(raw[0] | (raw[1] << 8));
  const std::uint16_t height = static_cast<std::uint16_t>(raw[2] | (raw[3] << 8));
  if (std::size_t{width} * height > maxPixels) throw EDIBError("Picture data is too large.");

  dib.SetSize(width, height);
  // The buffer may be smaller than asked (an alias keeps its shared block when
  // it fits), so its own byte count is the bound.
  const std::size_t count = std::min({rawLength - 4, std::size_t{width} * height * 4, dib.ByteCount()});
  if (dib.Bits() != nullptr && count > 0) std::memcpy(dib.Bits(), raw + 4, count);
  dib.Changed();
}

}  // namespace image
