// The stored picture stream: any value either reads into the buffer or raises
// one of the reader's errors. A value that reads is written back through each
// compressor and must read back to the same pixels.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/Stream.h"
#include "image/DIBDataStream.h"
#include "image/cDIB.h"
#include "image/cDIBCompressor.h"
#include "image/cDIBStandardCompressors.h"

namespace {

// Keeps every run fast; the cap itself is what is being exercised.
constexpr std::size_t kFuzzMaxPixels = std::size_t{1} << 12;

bool Read(image::TMemoryDIB& dib, std::span<const std::uint8_t> value) {
  framework::TReadOnlyMemoryStream in(value);
  try {
    image::ReadDIBData(dib, in, value.size(), kFuzzMaxPixels);
  } catch (const framework::Exception&) {
    return false;
  }
  if (in.Position() != static_cast<std::int64_t>(value.size())) std::abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  image::TMemoryDIB dib(2, 2);
  if (!Read(dib, {data, size})) return 0;
  if (dib.ByteCount() > 4 * 1024) return 0;  // round trips only for small pictures

  const std::vector<std::uint8_t> pixels(dib.Bits(), dib.Bits() + dib.ByteCount());
  for (const image::TGUID& id : {image::kRLECompressorGUID, image::kLZHCompressorGUID}) {
    image::SetCurrentCompressor(image::FindDecompressor(id));
    framework::TMemoryStream out;
    image::WriteDIBData(dib, out);
    image::SetCurrentCompressor(nullptr);
    if (out.Bytes().size() > 4 + dib.ByteCount() + 26) std::abort();
    image::TMemoryDIB copy;
    if (!Read(copy, out.Bytes())) std::abort();
    if (copy.Width() != dib.Width() || copy.Height() != dib.Height()) std::abort();
    if (std::memcmp(copy.Bits(), pixels.data(), pixels.size()) != 0) std::abort();
  }
  return 0;
}
