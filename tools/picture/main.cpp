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
// 2 on a mistake on the command line (said in one line).

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
#include "tools/cli/CommandLine.h"

namespace {

constexpr const char* kShuffle4Rle = "{CABA9056-7349-43A4-B010-3764FBFAC230}";
constexpr const char* kLzh = "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}";
constexpr const char* kAuto = "auto";

constexpr const char* kTool = "plonkrift-picture";

constexpr const char* kUsage =
    "usage: plonkrift-picture [--masked | --opaque] [--compressor ID | --compressor auto] INPUT.png -o "
    "OUTPUT.pic\n"
    "Turns a PNG file into the stored picture value of a form (DIB.Data).\n"
    "  -o FILE               the file to write (required)\n"
    "  --masked              keep the alpha channel (default)\n"
    "  --opaque              every pixel's alpha 255, for pictures drawn without a mask\n"
    "  --compressor ID       the compressor's identifier (default \"Shuffle4 RLE\", "
    "{CABA9056-7349-43A4-B010-3764FBFAC230});\n"
    "                        auto: \"DIB LZH\" where it makes the value at most a third of the\n"
    "                        smaller of \"Shuffle4 RLE\" and raw, else the smaller of those two\n"
    "  -h, --help            this text\n"
    "  --version             the version\n"
    "Exit status: 0 done, 1 a picture that cannot be read or written, 2 a mistake on the command line.\n";

struct Options {
  bool masked = true;
  std::string input, output, compressor = kShuffle4Rle;
  bool help = false, version = false;
};

// Throws cli::Mistake for anything the tool cannot do as asked.
Options Parse(int argc, char** argv) {
  enum { kOutput, kMasked, kOpaque, kCompressor, kHelp, kVersion };
  cli::CommandLine line(argc, argv,
                        {{kOutput, nullptr, 'o', true},
                         {kMasked, "masked"},
                         {kOpaque, "opaque"},
                         {kCompressor, "compressor", 0, true},
                         {kHelp, "help", 'h'},
                         {kVersion, "version"}});
  Options options;
  for (int option; (option = line.next()) != cli::CommandLine::kEnd;) {
    switch (option) {
      case kOutput:
        options.output = line.file();
        break;
      case kMasked:
        options.masked = true;
        break;
      case kOpaque:
        options.masked = false;
        break;
      case kCompressor:
        options.compressor = line.value();
        break;
      case kHelp:
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
    }
  }
  if (options.help || options.version) return options;
  options.input = line.onlyOperand("input file");
  if (options.output.empty()) throw cli::Mistake("no output file: give -o FILE");
  return options;
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
  Options options;
  if (const auto status = cli::ParseCommandLine(kTool, kUsage, Parse, argc, argv, options)) return *status;

  try {
    const framework::TLoadedPicture picture = framework::LoadPicture(options.input);
    image::TMemoryDIB dib(static_cast<std::uint16_t>(picture.Width),
                          static_cast<std::uint16_t>(picture.Height));
    std::memcpy(dib.Bits(), picture.Bits.data(), dib.ByteCount());
    if (!options.masked) dib.SetAlpha(255);
    dib.SetMasked(options.masked);

    std::vector<std::uint8_t> value;
    if (options.compressor == kAuto) {
      std::vector<std::uint8_t> raw, rle, lzh;
      WriteWith(dib, "", raw);
      WriteWith(dib, kShuffle4Rle, rle);
      WriteWith(dib, kLzh, lzh);
      value = rle.size() < raw.size() ? std::move(rle) : std::move(raw);
      if (lzh.size() * 3 <= value.size()) value = std::move(lzh);
    } else if (!WriteWith(dib, options.compressor, value)) {
      std::cerr << kTool << ": no compressor " << options.compressor << "\n";
      return 1;
    }

    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(value.data()), static_cast<std::streamsize>(value.size()));
    out.close();
    if (!out) {
      std::cerr << kTool << ": cannot write " << options.output << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << kTool << ": " << options.input << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
