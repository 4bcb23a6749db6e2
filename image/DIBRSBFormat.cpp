#include "image/DIBRSBFormat.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/Stream.h"
#include "image/DIBDataStream.h"
#include "image/cDIB.h"

namespace image {

namespace {

constexpr const char* kFilter = "Rogue spear bitmap (*.rsb)|*.rsb";

bool IsRSBExtension(const std::string& ext) {
  static constexpr char kExt[] = ".RSB";
  if (ext.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if (std::toupper(static_cast<unsigned char>(ext[i])) != kExt[i]) return false;
  }
  return true;
}

// Widens a channel of `bits` bits to 8 by repeating its bit pattern, so the
// largest value becomes 255.
std::uint8_t Expand(unsigned value, unsigned bits) {
  unsigned out = 0;
  for (int filled = 0; filled < 8; filled += static_cast<int>(bits)) {
    out |= (value << (8 - bits)) >> filled;
  }
  return static_cast<std::uint8_t>(out);
}

}  // namespace

void TDIBRSBFormat::LoadFromStream(framework::TStream& stream) {
  TAbstractSuperDIB& dib = RequireDIB();
  const std::uint32_t version = stream.ReadU32();
  if (version != 1) throw EDIBFormatError("Only RSB version 1 is supported.");
  const std::uint32_t width = stream.ReadU32();
  const std::uint32_t height = stream.ReadU32();
  const std::uint32_t redBits = stream.ReadU32();
  const std::uint32_t greenBits = stream.ReadU32();
  const std::uint32_t blueBits = stream.ReadU32();
  const std::uint32_t alphaBits = stream.ReadU32();

  if (width > 0xFFFF || height > 0xFFFF || std::uint64_t{width} * height > kMaxStreamPixels) {
    throw EDIBFormatError("RSB picture is too large.");
  }
  if (redBits > 8 || greenBits > 8 || blueBits > 8 || alphaBits > 8 ||
      redBits + greenBits + blueBits + alphaBits > 16) {
    throw EDIBFormatError("Unsupported RSB pixel layout.");
  }
  // The whole body is read before the buffer changes, so a truncated file
  // leaves the buffer as it was.
  const std::size_t count = std::size_t{width} * height;
  // Nothing is allocated for a body the file does not have.
  const std::int64_t remaining = stream.Remaining();
  if (remaining < 0 || static_cast<std::uint64_t>(remaining) < count * 2) {
    throw framework::EReadError("Stream read error");
  }
  std::vector<std::uint8_t> body(count * 2);
  stream.ReadBuffer(body.data(), body.size());

  dib.SetSize(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
  // A zero side still gives a 1-pixel-wide buffer; keep it defined.
  if (count == 0 && dib.Bits() != nullptr) std::memset(dib.Bits(), 0, dib.ByteCount());
  const unsigned greenShift = blueBits;
  const unsigned redShift = greenShift + greenBits;
  const unsigned alphaShift = redShift + redBits;
  auto field = [](unsigned pixel, unsigned shift, unsigned bits) {
    return (pixel >> shift) & ((1u << bits) - 1);
  };
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* row = dib.ScanLine(static_cast<std::int32_t>(y));
    const std::uint8_t* src = body.data() + std::size_t{y} * width * 2;
    for (std::uint32_t x = 0; x < width; ++x) {
      const unsigned pixel = static_cast<unsigned>(src[2 * x] | (src[2 * x + 1] << 8));
      row[4 * x + 0] = blueBits ? Expand(field(pixel, 0, blueBits), blueBits) : 0;
      row[4 * x + 1] = greenBits ? Expand(field(pixel, greenShift, greenBits), greenBits) : 0;
      row[4 * x + 2] = redBits ? Expand(field(pixel, redShift, redBits), redBits) : 0;
      row[4 * x + 3] = alphaBits ? Expand(field(pixel, alphaShift, alphaBits), alphaBits) : 255;
    }
    Progress(static_cast<int>((std::uint64_t{y} + 1) * 100 / height));
  }
  dib.SetMasked(alphaBits > 0);
  dib.Changed();
}

void TDIBRSBFormat::SaveToStream(framework::TStream& stream) {
  const TAbstractSuperDIB& dib = RequireDIB();
  const bool masked = dib.Masked();
  const std::uint32_t width = dib.Width();
  const std::uint32_t height = dib.Height();
  stream.WriteU32(1);
  stream.WriteU32(width);
  stream.WriteU32(height);
  const std::uint32_t bits[4] = {masked ? 4u : 5u, masked ? 4u : 6u, masked ? 4u : 5u, masked ? 4u : 0u};
  for (std::uint32_t b : bits) stream.WriteU32(b);

  std::vector<std::uint8_t> row(std::size_t{width} * 2);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* src = dib.Bits() != nullptr ? dib.ScanLine(static_cast<std::int32_t>(y)) : nullptr;
    for (std::uint32_t x = 0; x < width; ++x) {
      unsigned pixel = 0;
      if (src != nullptr) {
        const unsigned b = src[4 * x], g = src[4 * x + 1], r = src[4 * x + 2], a = src[4 * x + 3];
        pixel = masked ? ((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4)
                       : ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      }
      row[2 * x] = static_cast<std::uint8_t>(pixel);
      row[2 * x + 1] = static_cast<std::uint8_t>(pixel >> 8);
    }
    stream.WriteBuffer(row.data(), row.size());
    Progress(static_cast<int>((std::uint64_t{y} + 1) * 100 / height));
  }
}

bool TDIBRSBFormat::HandlesLoadExtension(const std::string& ext) const {
  return IsRSBExtension(ext);
}
bool TDIBRSBFormat::HandlesSaveExtension(const std::string& ext) const {
  return IsRSBExtension(ext);
}
void TDIBRSBFormat::AddLoadFilter(std::vector<std::string>& list) const {
  list.emplace_back(kFilter);
}
void TDIBRSBFormat::AddSaveFilter(std::vector<std::string>& list) const {
  list.emplace_back(kFilter);
}

}  // namespace image
