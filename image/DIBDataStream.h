#pragma once

// The picture stream: the bytes of a buffer's stored `Data` value.
//
// Raw form (little-endian): width (16 bits), height (16 bits), then
// width * height * 4 pixel bytes exactly as held in memory (bottom row first).
// Compressed form: "DIBCMP", the compressor's 16-byte identifier, the raw
// form's length (32 bits), then the compressor's payload.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace framework {
class TStream;
}

namespace image {

class TAbstractSuperDIB;

// Largest picture a stored value may announce. Values come from outside, and
// a 4-byte header could otherwise ask for 16 GiB; 64 Mpixel is far beyond any
// skin picture and still a bounded allocation.
inline constexpr std::size_t kMaxStreamPixels = std::size_t{1} << 26;

// Writes the value: compressed by the current compressor when it shrinks the
// data, raw otherwise (no compressor, declined or failed).
void WriteDIBData(const TAbstractSuperDIB& dib, framework::TStream& stream);

// Reads a value of `length` bytes from the stream position and gives the
// buffer its size and pixels. The identifier in a compressed value picks the
// decompressor; the current compressor is not consulted. A value in lasting
// memory (TStream::Lasting) is decoded once per process and the buffer
// shares that picture read-only (SharedPicture, TAbstractSuperDIB::
// ShareReadOnly).
// Errors leave the buffer untouched:
//  - the stream holds fewer than `length` bytes, or the raw form is shorter
//    than its 4-byte header: framework::EReadError "Stream read error";
//  - no registered compressor handles the identifier: EDIBCompressError
//    "Could not find a suitable decompressor.";
//  - the announced raw length or width * height exceeds `maxPixels`:
//    EDIBError "Picture data is too large.".
// A raw form shorter than width * height * 4 fills the pixels it has.
void ReadDIBData(TAbstractSuperDIB& dib, framework::TStream& stream, std::size_t length,
                 std::size_t maxPixels = kMaxStreamPixels);

// A whole value decoded: Width * Height pixels, bottom-up BGRA.
struct TDecodedPicture {
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
  const std::uint8_t* Pixels = nullptr;  // inside Block, 4-byte aligned
  std::unique_ptr<std::uint8_t[]> Block;
};
// Decodes a value held in memory, with ReadDIBData's errors and rules (a raw
// form short of pixels leaves the rest zero).
TDecodedPicture DecodeDIBData(std::span<const std::uint8_t> value, std::size_t maxPixels = kMaxStreamPixels);

// The picture of a value that stays in memory until the process ends (the
// editor's embedded form), decoded on first use and kept until then, keyed by
// the value's address and length: every later read shares it and decodes
// nothing. Safe from any thread: a value asked for on two threads at once is
// decoded once (the other waits), different values decode in parallel. A
// value that fails is not kept; asking again fails again.
const TDecodedPicture& SharedPicture(std::span<const std::uint8_t> value,
                                     std::size_t maxPixels = kMaxStreamPixels);
// Pictures kept so far.
std::size_t SharedPictureCount();
// Whether the picture of this value is decoded and kept (nothing is decoded).
bool SharedPictureReady(std::span<const std::uint8_t> value);

}  // namespace image
