// plonkrift-picture: PNG -> stored picture value.
//
//   plonkrift-picture [--masked | --opaque] [--compressor ID] INPUT.png -o OUTPUT.pic
//
// Reads the picture (top row first, straight alpha), and writes the value a
// form stores as `DIB.Data`: the picture stream of the image library, bottom
// row first in blue, green, red, alpha order, compressed by the chosen
// compressor ("Shuffle4 RLE" unless told otherwise) when that makes it
// smaller and raw otherwise. --opaque drops the alpha channel (every pixel's
// alpha 255) for pictures the editor draws without a mask; --masked keeps it.
//
// Exit status 0 on success, 1 on a picture that cannot be read or written,
// 2 on bad usage.

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "framework/core/Stream.h"
#include "framework/graphics/PictureLoader.h"
#include "image/cDIB.h"
#include "image/cDIBSettings.h"

namespace {

constexpr const char* kShuffle4Rle = "{CABA9056-7349-43A4-B010-3764FBFAC230}";

int Usage() {
  std::cerr << "usage: plonkrift-picture [--masked | --opaque] [--compressor ID] INPUT.png -o OUTPUT.pic\n";
  return 2;
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

    image::TDIBSettings settings;
    settings.SetDIBCompressor(compressor);
    if (settings.DIBCompressor() != compressor) {
      std::cerr << "plonkrift-picture: no compressor " << compressor << "\n";
      return 1;
    }
    framework::TMemoryStream value;
    dib.WriteData(value);

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(value.Bytes().data()),
              static_cast<std::streamsize>(value.Bytes().size()));
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
