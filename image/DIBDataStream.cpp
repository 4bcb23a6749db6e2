#include "image/DIBDataStream.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
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

namespace {

// A value's header: where its raw form comes from.
struct THeader {
  bool compressed = false;
  TGUID id;
  std::size_t announced = 0;  // raw length of a compressed value
};

THeader ReadHeader(std::span<const std::uint8_t> value, std::size_t maxPixels) {
  THeader h;
  if (value.size() < kHeaderSize || std::memcmp(value.data(), kSignature, sizeof kSignature) != 0) return h;
  h.compressed = true;
  h.id = TGUID::FromBytes(value.data() + 6);
  h.announced = LoadU32(value.data() + 22);
  if (FindDecompressor(h.id) == nullptr) throw EDIBCompressError("Could not find a suitable decompressor.");
  if ((h.announced - std::min<std::size_t>(h.announced, 4)) / 4 > maxPixels)
    throw EDIBError("Picture data is too large.");
  return h;
}

void Expand(const THeader& h, std::span<const std::uint8_t> value, std::uint8_t* out,
            TAbstractSuperDIB* dib) {
  FindDecompressor(h.id)->Decompress(dib, h.id, h.announced, value.size() - kHeaderSize, out,
                                     value.data() + kHeaderSize);
}

std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

void ReadDIBData(TAbstractSuperDIB& dib, framework::TStream& stream, std::size_t length,
                 std::size_t maxPixels) {
  // Check before allocating: the length comes from the enclosing form.
  const std::int64_t remaining = stream.Remaining();
  if (remaining < 0 || length > static_cast<std::uint64_t>(remaining)) {
    throw framework::EReadError("Stream read error");
  }
  std::vector<std::uint8_t> copy;
  const std::uint8_t* in = stream.Peek(length);
  if (in != nullptr && stream.Lasting()) {
    const TDecodedPicture& picture = SharedPicture({in, length}, maxPixels);
    stream.Seek(static_cast<std::int64_t>(length), framework::SeekOrigin::Current);
    dib.ShareReadOnly(picture.Pixels, picture.Width, picture.Height);
    dib.Changed();
    return;
  }
  if (in == nullptr) {
    copy.resize(length);
    stream.ReadBuffer(copy.data(), length);
    in = copy.data();
  } else {
    stream.Seek(static_cast<std::int64_t>(length), framework::SeekOrigin::Current);
  }
  const std::span<const std::uint8_t> value(in, length);

  const std::uint8_t* raw = value.data();
  std::size_t rawLength = length;
  std::vector<std::uint8_t> expanded;
  const THeader h = ReadHeader(value, maxPixels);
  if (h.compressed) {
    expanded.resize(h.announced);
    Expand(h, value, expanded.data(), &dib);
    raw = expanded.data();
    rawLength = h.announced;
  }

  if (rawLength < 4) throw framework::EReadError("Stream read error");
  const std::uint16_t width = LoadU16(raw);
  const std::uint16_t height = LoadU16(raw + 2);
  if (std::size_t{width} * height > maxPixels) throw EDIBError("Picture data is too large.");

  dib.SetSize(width, height);
  dib.MakeWritable(false);
  // The buffer may be smaller than asked (an alias keeps its shared block when
  // it fits), so its own byte count is the bound.
  const std::size_t count = std::min({rawLength - 4, std::size_t{width} * height * 4, dib.ByteCount()});
  if (dib.Bits() != nullptr && count > 0) std::memcpy(dib.Bits(), raw + 4, count);
  dib.Changed();
}

TDecodedPicture DecodeDIBData(std::span<const std::uint8_t> value, std::size_t maxPixels) {
  const THeader h = ReadHeader(value, maxPixels);
  std::unique_ptr<std::uint8_t[]> expanded;
  std::span<const std::uint8_t> raw = value;
  if (h.compressed) {
    // Every byte is written by the decompressor, so nothing is cleared first.
    expanded = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(h.announced, 1));
    Expand(h, value, expanded.get(), nullptr);
    raw = {expanded.get(), h.announced};
  }
  if (raw.size() < 4) throw framework::EReadError("Stream read error");
  const std::uint16_t width = LoadU16(raw.data());
  const std::uint16_t height = LoadU16(raw.data() + 2);
  if (std::size_t{width} * height > maxPixels) throw EDIBError("Picture data is too large.");
  TDecodedPicture picture;
  // As SetSize makes them: a side of 0 becomes 1, with zero pixels.
  picture.Width = std::max<std::uint16_t>(width, 1);
  picture.Height = std::max<std::uint16_t>(height, 1);
  const std::size_t bytes = std::size_t{picture.Width} * picture.Height * 4;
  const std::size_t count = std::min(raw.size() - 4, std::size_t{width} * height * 4);
  if (expanded && count == bytes) {
    // The expanded block holds the pixels already, right after the 4-byte size.
    picture.Block = std::move(expanded);
    picture.Pixels = picture.Block.get() + 4;
    return picture;
  }
  picture.Block = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
  std::memcpy(picture.Block.get(), raw.data() + 4, count);
  std::memset(picture.Block.get() + count, 0, bytes - count);
  picture.Pixels = picture.Block.get();
  return picture;
}

namespace {

struct TSharedEntry {
  std::mutex decoding;
  bool done = false;  // under `decoding`
  TDecodedPicture picture;
};

struct TSharedPictures {
  std::mutex mutex;
  std::map<std::pair<const std::uint8_t*, std::size_t>, std::unique_ptr<TSharedEntry>> entries;
  std::atomic<std::size_t> count{0};
};

TSharedPictures& Shared() {
  static TSharedPictures shared;
  return shared;
}

}  // namespace

const TDecodedPicture& SharedPicture(std::span<const std::uint8_t> value, std::size_t maxPixels) {
  TSharedPictures& shared = Shared();
  TSharedEntry* entry = nullptr;
  {
    std::lock_guard lock(shared.mutex);
    auto& slot = shared.entries[{value.data(), value.size()}];
    if (!slot) slot = std::make_unique<TSharedEntry>();
    entry = slot.get();
  }
  {
    // Decoding holds only this entry: other values decode meanwhile.
    std::lock_guard lock(entry->decoding);
    if (!entry->done) {
      entry->picture = DecodeDIBData(value, maxPixels);
      entry->done = true;
      shared.count.fetch_add(1, std::memory_order_relaxed);
    }
  }
  // Kept from an earlier read under a larger bound.
  if (std::size_t{entry->picture.Width} * entry->picture.Height > maxPixels)
    throw EDIBError("Picture data is too large.");
  return entry->picture;
}

bool SharedPictureReady(std::span<const std::uint8_t> value) {
  TSharedPictures& shared = Shared();
  TSharedEntry* entry = nullptr;
  {
    std::lock_guard lock(shared.mutex);
    const auto found = shared.entries.find({value.data(), value.size()});
    if (found == shared.entries.end()) return false;
    entry = found->second.get();
  }
  std::lock_guard lock(entry->decoding);
  return entry->done;
}

std::size_t SharedPictureCount() {
  return Shared().count.load(std::memory_order_relaxed);
}

}  // namespace image
