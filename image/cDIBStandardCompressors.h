#pragma once

// The two compressors every build carries: "Shuffle4 RLE" (byte planes plus
// run-length pairs; all compressed pictures of the editor use it) and "DIB LZH".

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/cDIBCompressor.h"

namespace image {

// {CABA9056-7349-43A4-B010-3764FBFAC230}
inline constexpr TGUID kRLECompressorGUID{
    0xCABA9056, 0x7349, 0x43A4, {0xB0, 0x10, 0x37, 0x64, 0xFB, 0xFA, 0xC2, 0x30}};
// {BC0C10FC-E045-41E7-A37C-B86AF21320B8}
inline constexpr TGUID kLZHCompressorGUID{
    0xBC0C10FC, 0xE045, 0x41E7, {0xA3, 0x7C, 0xB8, 0x6A, 0xF2, 0x13, 0x20, 0xB8}};

// Splits a block into four byte planes (bytes 0,4,8,.. then 1,5,9,.. and so on).
// A block whose length is not a multiple of 4 keeps its last n mod 4 bytes
// after the planes, so every length survives a round trip.
void Shuffle4(const std::uint8_t* source, std::size_t size, std::uint8_t* dest);
void Unshuffle4(const std::uint8_t* source, std::size_t size, std::uint8_t* dest);

class TRLEDIBCompressor : public TAbstractDIBCompressor {
 public:
  TGUID GetGUID() const override { return kRLECompressorGUID; }
  bool HandlesGUID(const TGUID& id) const override;
  std::size_t Compress(const TAbstractSuperDIB* image, const std::uint8_t* source, std::size_t size,
                       std::uint8_t* dest) override;
  void Decompress(TAbstractSuperDIB* image, const TGUID& id, std::size_t uncompressedSize,
                  std::size_t compressedSize, std::uint8_t* dest, const std::uint8_t* source) override;
  std::string GetName() const override { return "Shuffle4 RLE"; }
  std::string GetDescription() const override;
  std::string GetAuthor() const override { return std::string(); }
};

class TLZHDIBCompressor : public TAbstractDIBCompressor {
 public:
  TGUID GetGUID() const override { return kLZHCompressorGUID; }
  bool HandlesGUID(const TGUID& id) const override;
  std::size_t Compress(const TAbstractSuperDIB* image, const std::uint8_t* source, std::size_t size,
                       std::uint8_t* dest) override;
  void Decompress(TAbstractSuperDIB* image, const TGUID& id, std::size_t uncompressedSize,
                  std::size_t compressedSize, std::uint8_t* dest, const std::uint8_t* source) override;
  std::string GetName() const override { return "DIB LZH"; }
  std::string GetDescription() const override;
  std::string GetAuthor() const override { return std::string(); }
};

}  // namespace image
