// plonkrift-artwork: draws the editor's fifteen pictures as PNG files.
//
//   plonkrift-artwork --form EDITOR.form OUTPUT_FOLDER [--preview]
//
// Each picture is written as NN-name.png (NN = its image-list index) with a
// straight alpha channel. The background and the information screen are drawn
// around the controls where the editor's text form places them. --preview
// also writes preview.png, the editor at the default parameter values, and
// preview-info.png with the information screen.
#include <fontconfig/fontconfig.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/artwork/Pictures.h"
#include "tools/artwork/Preview.h"
#include "tools/cli/CommandLine.h"

namespace {

// Cairo and fontconfig keep font caches for the life of the process; give
// them back so leak checkers (the sanitizer build runs this tool) stay quiet.
void releaseFontCaches() {
  cairo_debug_reset_static_data();
  FcFini();
}

constexpr const char* kTool = "plonkrift-artwork";

constexpr const char* kUsage =
    "usage: plonkrift-artwork --form EDITOR.form OUTPUT_FOLDER [--preview]\n"
    "Draws the editor's fifteen pictures as PNG files NN-name.png around the controls the form places.\n"
    "  --form FILE           the editor's text form (required)\n"
    "  --preview             also preview.png and preview-info.png: the editor at the default\n"
    "                        values, and with the information screen\n"
    "  -h, --help            this text\n"
    "  --version             the version\n"
    "Exit status: 0 done, 1 the pictures could not be drawn or written, 2 a mistake on the command line.\n";

struct Options {
  std::string form;
  std::filesystem::path folder;
  bool preview = false;
  bool help = false, version = false;
};

// Throws cli::Mistake for anything the tool cannot do as asked.
Options parse(int argc, char** argv) {
  enum { kForm, kPreview, kHelp, kVersion };
  cli::CommandLine line(
      argc, argv,
      {{kForm, "form", 0, true}, {kPreview, "preview"}, {kHelp, "help", 'h'}, {kVersion, "version"}});
  Options options;
  for (int option; (option = line.next()) != cli::CommandLine::kEnd;) {
    switch (option) {
      case kForm:
        if (!options.form.empty()) throw cli::Mistake("--form: given twice");
        options.form = line.file();
        break;
      case kPreview:
        options.preview = true;
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
  options.folder = line.onlyOperand("output folder");
  if (options.form.empty()) throw cli::Mistake("no form: give --form EDITOR.form");
  return options;
}

// Always RGBA with straight alpha, also for opaque pictures, so every file
// has the same layout for whatever reads it next.
void writePng(const artwork::Surface& surface, const std::filesystem::path& path) {
  cairo_surface_t* s = surface.get();
  cairo_surface_flush(s);
  const int width = cairo_image_surface_get_width(s), height = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Cairo keeps native-endian premultiplied ARGB.
      const std::uint32_t px = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
      const unsigned a = px >> 24;
      unsigned char* out = &rgba[(static_cast<size_t>(y) * width + x) * 4];
      for (int c = 0; c < 3; ++c) {
        const unsigned premultiplied = (px >> (16 - 8 * c)) & 0xFF;
        out[c] = a == 0 ? 0 : static_cast<unsigned char>(std::min(255u, (premultiplied * 255 + a / 2) / a));
      }
      out[3] = static_cast<unsigned char>(a);
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr))
    throw std::runtime_error("cannot write " + path.string() + ": " + image.message);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const auto status = cli::ParseCommandLine(kTool, kUsage, parse, argc, argv, options)) return *status;
  const std::filesystem::path& folder = options.folder;

  try {
    // The form is read first: a form that cannot be drawn for leaves no files.
    const artwork::Layout layout = artwork::readLayout(options.form);
    std::filesystem::create_directories(folder);
    artwork::PictureSet pictures;
    for (const artwork::PictureEntry& entry : artwork::kPictures) {
      pictures[entry.index] = artwork::renderPicture(entry.index, layout);
      writePng(pictures[entry.index], folder / std::string(entry.file));
    }
    if (options.preview) {
      writePng(artwork::composePreview(pictures, layout, false), folder / "preview.png");
      writePng(artwork::composePreview(pictures, layout, true), folder / "preview-info.png");
    }
  } catch (const std::exception& e) {
    cli::Say(kTool, e.what(), 1);
    releaseFontCaches();
    return 1;
  }
  releaseFontCaches();
  return 0;
}
