// plonkrift-picture: PNG -> stored picture value.
//
//   plonkrift-picture [--masked | --opaque] [--compressor ID | --compressor auto] INPUT.png -o OUTPUT.pic
//
// Reads the picture (top row first, straight alpha), and writes the value a
// form stores as `DIB.Data`: the picture stream of the image library, bottom
// row first in blue, green, red, alpha order, compressed by the chosen
// compressor ("Shuffle4 RLE" unless told otherwise) when that makes it
// smaller and raw otherwise. --opaque drops the alpha channel (every pixel's
// alpha 255) for pictures the editor draws without a mask; --masked keeps it.
//
// --compressor auto weighs size against the time a reader spends expanding:
// "DIB LZH" when it makes the value at most a third of the smaller of
// "Shuffle4 RLE" and raw (large skin pictures, which it takes to a tenth or
// so), otherwise the smaller of those two, which expand at memory speed.
//
// Exit status 0 on success, 1 on a picture that cannot be read or written,
// 2 on bad usage.

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "framework/core/Stream.h"
#include "framework/graphics/PictureLoader.h"
#include "image/cDIB.h"
#include "image/cDIBSettings.h"

namespace {

constexpr const char* kShuffle4Rle = "{CABA9056-7349-43A4-B010-3764FBFAC230}";
constexpr const char* kLzh = "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}";
constexpr const char* kAuto = "auto";

int Usage() {
  std::cerr
      << "usage: plonkrift-picture [--masked | --opaque] [--compressor ID | --compressor auto] INPUT.png -o "
         "OUTPUT.pic\n";
  return 2;
}

// The value as written with the compressor of this identifier (empty: none);
// false when no compressor has it.
bool WriteWith(image::TAbstractSuperDIB& dib, const std::string& compressor,
               std::vector<std::uint8_t>& value) {
  image::TDIBSettings settings;
  settings.SetDIBCompressor(compressor);
  if (settings.DIBCompressor() != compressor) return false;
  framework::TMemoryStream out;
  dib.WriteData(out);
  value = std::move(out.Bytes());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool masked = true;
  std::string input, output, compressor = kShuffle4Rle;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--masked") {
      masked = true;
    } else if (a == "--opaque") {
      masked = false;
    } else if ((a == "-o" || a == "--compressor") && i + 1 < argc) {
      (a == "-o" ? output : compressor) = argv[++i];
    } else if (!a.empty() && a[0] != '-' && input.empty()) {
      input = a;
    } else {
      return Usage();
    }
  }
  if (input.empty() || output.empty()) return Usage();

  try {
    const framework::TLoadedPicture picture = framework::LoadPicture(input);
    image::TMemoryDIB dib(static_cast<std::uint16_t>(picture.Width),
                          static_cast<std::uint16_t>(picture.Height));
    std::memcpy(dib.Bits(), picture.Bits.data(), dib.ByteCount());
    if (!masked) dib.SetAlpha(255);
    dib.SetMasked(masked);

    std::vector<std::uint8_t> value;
    if (compressor == kAuto) {
      std::vector<std::uint8_t> raw, rle, lzh;
      WriteWith(dib, "", raw);
      WriteWith(dib, kShuffle4Rle, rle);
      WriteWith(dib, kLzh, lzh);
      value = rle.size() < raw.size() ? std::move(rle) : std::move(raw);
      if (lzh.size() * 3 <= value.size()) value = std::move(lzh);
    } else if (!WriteWith(dib, compressor, value)) {
      std::cerr << "plonkrift-picture: no compressor " << compressor << "\n";
      return 1;
    }

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(value.data()), static_cast<std::streamsize>(value.size()));
    out.close();
    if (!out) {
      std::cerr << "plonkrift-picture: cannot write " << output << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "plonkrift-picture: " << input << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
