#include "framework/graphics/PictureLoader.h"

#if PLONKRIFT_PNG_IMPORT
#include <png.h>
#endif

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace framework {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

#if PLONKRIFT_PNG_IMPORT
TLoadedPicture LoadPng(std::span<const std::uint8_t> bytes) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
    throw EInvalidGraphic("PNG image is not valid");
  if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide ||
      image.height > kMaxPictureSide || std::int64_t{image.width} * image.height > kMaxPicturePixels) {
    png_image_free(&image);
    throw EInvalidGraphic("PNG image is too large");
  }
  TLoadedPicture picture;
  picture.HasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_BGRA;
  picture.Width = static_cast<std::int32_t>(image.width);
  picture.Height = static_cast<std::int32_t>(image.height);
  picture.Bits.resize(static_cast<std::size_t>(picture.Width) * picture.Height * 4);
  // A negative row stride stores the top row last: our bottom-up order.
  const png_int_32 stride = -static_cast<png_int_32>(image.width * 4);
  if (!png_image_finish_read(&image, nullptr, picture.Bits.data(), stride, nullptr)) {
    png_image_free(&image);
    throw EInvalidGraphic("PNG image is not valid");
  }
  return picture;
}
#else
// Builds without libpng (Windows) read bitmaps only; PNG files are a matter
// for the build-time tools, which run on Linux.
TLoadedPicture LoadPng(std::span<const std::uint8_t>) {
  throw EInvalidGraphic("PNG pictures cannot be read by this build");
}
#endif

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// Scales a masked channel value to 8 bits.
std::uint8_t Channel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const std::uint32_t m = mask >> shift;
  const std::uint32_t v = (value & mask) >> shift;
  return static_cast<std::uint8_t>((v * 255 + m / 2) / m);
}

TLoadedPicture LoadBmp(std::span<const std::uint8_t> b) {
  auto invalid = [] { return EInvalidGraphic("Bitmap image is not valid"); };
  if (b.size() < 14 + 12) throw invalid();
  const std::uint32_t dataOffset = U32(b, 10);
  const std::uint32_t headerSize = U32(b, 14);
  if (headerSize < 12 || 14 + std::size_t{headerSize} > b.size()) throw invalid();
  std::int64_t width, height;
  std::uint32_t bpp, compression = 0, colorsUsed = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  std::size_t paletteEntrySize = 4;
  if (headerSize == 12) {  // the old core header
    width = U16(b, 18);
    height = U16(b, 20);
    bpp = U16(b, 24);
    paletteEntrySize = 3;
  } else {
    if (headerSize < 40) throw invalid();
    width = static_cast<std::int32_t>(U32(b, 18));
    height = static_cast<std::int32_t>(U32(b, 22));
    bpp = U16(b, 28);
    compression = U32(b, 30);
    colorsUsed = U32(b, 46);
    if (compression == 3 || compression == 6) {  // bit fields
      const std::size_t at = headerSize >= 52 ? 14 + 40 : 14 + headerSize;
      const int count = compression == 6 || headerSize >= 56 ? 4 : 3;
      if (at + count * 4 > b.size()) throw invalid();
      for (int i = 0; i < count; ++i) masks[i] = U32(b, at + i * 4);
    }
  }
  const bool topDown = height < 0;
  height = height < 0 ? -height : height;
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
      width * height > kMaxPicturePixels)
    throw invalid();
  if (compression != 0 && compression != 3 && compression != 6)
    throw EInvalidGraphic("Bitmap compression is not supported");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) throw invalid();
  if ((compression == 3 || compression == 6) && bpp != 16 && bpp != 32) throw invalid();

  // Colour table for indexed pictures.
  std::vector<std::uint32_t> palette;
  if (bpp <= 8) {
    std::size_t count = colorsUsed != 0 ? colorsUsed : (std::size_t{1} << bpp);
    count = std::min<std::size_t>(count, 256);
    const std::size_t at = 14 + headerSize;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t p = at + i * paletteEntrySize;
      if (p + 3 > b.size()) break;
      palette.push_back(b[p] | (b[p + 1] << 8) | (b[p + 2] << 16));
    }
  }
  if (compression == 0) {
    if (bpp == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    } else if (bpp == 32) {
      masks[0] = 0x00FF0000;
      masks[1] = 0x0000FF00;
      masks[2] = 0x000000FF;
      masks[3] = 0xFF000000;
    }
  }

  const std::size_t rowBytes = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  if (dataOffset > b.size() || rowBytes * static_cast<std::size_t>(height) > b.size() - dataOffset)
    throw invalid();

  TLoadedPicture picture;
  picture.Width = static_cast<std::int32_t>(width);
  picture.Height = static_cast<std::int32_t>(height);
  picture.HasAlpha = bpp == 32;
  picture.Bits.resize(static_cast<std::size_t>(width) * height * 4);
  for (std::int64_t row = 0; row < height; ++row) {
    // Stored rows are bottom-up unless the height was negative.
    const std::int64_t memoryRow = topDown ? height - 1 - row : row;
    const std::uint8_t* s = b.data() + dataOffset + static_cast<std::size_t>(row) * rowBytes;
    std::uint8_t* d = picture.Bits.data() + static_cast<std::size_t>(memoryRow) * width * 4;
    for (std::int64_t x = 0; x < width; ++x, d += 4) {
      std::uint32_t rgb = 0;
      std::uint8_t alpha = 255;
      if (bpp <= 8) {
        const std::size_t bit = static_cast<std::size_t>(x) * bpp;
        const unsigned index = (s[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        rgb = index < palette.size() ? palette[index] : 0;
      } else if (bpp == 24) {
        rgb = s[x * 3] | (s[x * 3 + 1] << 8) | (s[x * 3 + 2] << 16);
      } else {
        const std::uint32_t v = bpp == 16 ? U16({s, rowBytes}, x * 2) : U32({s, rowBytes}, x * 4);
        rgb = Channel(v, masks[2]) | (Channel(v, masks[1]) << 8) | (Channel(v, masks[0]) << 16);
        if (bpp == 32) alpha = masks[3] != 0 ? Channel(v, masks[3]) : static_cast<std::uint8_t>(v >> 24);
      }
      d[0] = rgb & 0xFF;
      d[1] = (rgb >> 8) & 0xFF;
      d[2] = (rgb >> 16) & 0xFF;
      d[3] = alpha;
    }
  }
  return picture;
}

}  // namespace

TLoadedPicture LoadPictureFromMemory(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) return LoadPng(bytes);
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return LoadBmp(bytes);
  throw EInvalidGraphic("Unknown picture file format");
}

TLoadedPicture LoadPicture(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw EInvalidGraphic("Cannot open file \"" + fileName + "\"");
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return LoadPictureFromMemory(bytes);
}

}  // namespace framework
