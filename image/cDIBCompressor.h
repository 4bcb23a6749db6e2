#pragma once

// Compressor interface for stored picture data, the process-wide registry of
// compressors and the current compressor used when pictures are written.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/Exception.h"

namespace image {

class TAbstractSuperDIB;

// No registered compressor can expand a stored payload.
class EDIBCompressError : public framework::Exception {
 public:
  using framework::Exception::Exception;
};

// A class identifier. Stored as 16 bytes: Data1 as 32-bit little-endian, Data2
// and Data3 as 16-bit little-endian, then Data4 as written.
struct TGUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};

  static constexpr std::size_t kByteSize = 16;
  static constexpr std::size_t kStringSize = 38;

  static TGUID FromBytes(const std::uint8_t* bytes);
  std::array<std::uint8_t, kByteSize> ToBytes() const;
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
  std::string ToString() const;

  friend bool operator==(const TGUID&, const TGUID&) = default;
};

class TAbstractDIBCompressor {
 public:
  virtual ~TAbstractDIBCompressor() = default;

  virtual TGUID GetGUID() const = 0;
  // True when this compressor can expand data marked with `id`.
  virtual bool HandlesGUID(const TGUID& id) const = 0;
  // Compresses `size` bytes of `source` into `dest`, which has room for `size`
  // bytes. Returns the compressed length, or 0 when the data does not shrink or
  // compression failed; the caller then stores the data uncompressed.
  virtual std::size_t Compress(const TAbstractSuperDIB* image, const std::uint8_t* source, std::size_t size,
                               std::uint8_t* dest) = 0;
  // Fills `dest` with exactly `uncompressedSize` bytes expanded from the
  // `compressedSize` bytes of `source`. Payload bytes come from outside: a
  // payload that runs short leaves the rest of `dest` zero, one that expands
  // further is cut at `uncompressedSize`.
  virtual void Decompress(TAbstractSuperDIB* image, const TGUID& id, std::size_t uncompressedSize,
                          std::size_t compressedSize, std::uint8_t* dest, const std::uint8_t* source) = 0;
  virtual std::string GetName() const = 0;
  virtual std::string GetDescription() const { return "No information supplied"; }
  virtual std::string GetAuthor() const { return "No information supplied"; }
  virtual std::string GetEMail() const { return std::string(); }
  virtual std::string GetURL() const { return std::string(); }
};

// Appends to the registry, which owns its compressors until the process ends.
// The standard compressors ("Shuffle4 RLE", then "DIB LZH") are always
// registered before anything else.
TAbstractDIBCompressor* RegisterCompressor(std::unique_ptr<TAbstractDIBCompressor> compressor);
// Removes a compressor and hands it back (for plug-ins that go away before the
// process does). Clears the current compressor when it was this one.
std::unique_ptr<TAbstractDIBCompressor> UnregisterCompressor(TAbstractDIBCompressor* compressor);
// The registered compressors in registration order.
std::vector<TAbstractDIBCompressor*> RegisteredCompressors();

// Latest registered compressor whose identifier's string form equals `id`
// exactly (case-sensitive), or null.
TAbstractDIBCompressor* FindCompressor(const std::string& id);
// Latest registered compressor that handles `id`, or null.
TAbstractDIBCompressor* FindDecompressor(const TGUID& id);

// The compressor used when picture data is written; null means "store raw".
TAbstractDIBCompressor* CurrentCompressor();
void SetCurrentCompressor(TAbstractDIBCompressor* compressor);

}  // namespace image
