// plonkrift-shot: a picture of the editor.
//
// Makes one instance of the effect, switches to a program, sets named
// parameters, opens the editor in a headless window system and saves what
// the window shows (719 x 512) as a PNG. Exit status 0 on success, 1 when the
// picture cannot be made, 2 on a mistake on the command line.

#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/APluginEditor.h"
#include "framework/window/Headless.h"
#include "plugin/APlugin.h"
#include "tools/cli/CommandLine.h"

namespace {

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr const char* kUsage =
    "usage: plonkrift-shot [options] -o OUTPUT.png\n"
    "Draws the plug-in's editor for a program and parameter values (no display needed) as a PNG.\n"
    "  -o, --output FILE     the PNG file to write (required)\n"
    "  --program N           program 0 to 7 (default 0)\n"
    "  --set NAME=VALUE      a parameter by its name as hosts see it, value 0 to 1 (repeatable)\n"
    "  --info                show the information screen, as a click on its button does\n"
    "  --no-time-info        play a block without the host's time information first, so the\n"
    "                        editor shows its notice\n"
    "  -h, --help            this text\n"
    "  --version             the version\n"
    "Exit status: 0 done, 1 the picture could not be made, 2 a mistake on the command line.\n";

struct Options {
  int program = 0;
  bool info = false, noTimeInfo = false;
  std::string output;
  std::vector<std::pair<std::string, float>> sets;
  bool help = false, version = false;
};

// Throws cli::Mistake for anything the tool cannot do as asked.
Options Parse(int argc, char** argv) {
  enum { kOutput, kProgram, kSet, kInfo, kNoTimeInfo, kHelp, kVersion };
  cli::CommandLine line(argc, argv,
                        {{kOutput, "output", 'o', true},
                         {kProgram, "program", 0, true},
                         {kSet, "set", 0, true},
                         {kInfo, "info"},
                         {kNoTimeInfo, "no-time-info"},
                         {kHelp, "help", 'h'},
                         {kVersion, "version"}});
  Options options;
  for (int option; (option = line.next()) != cli::CommandLine::kEnd;) {
    switch (option) {
      case kOutput:
        options.output = line.file();
        break;
      case kProgram:
        options.program = static_cast<int>(line.integer(0, APlugin::kNumPrograms - 1));
        break;
      case kSet: {
        const std::string text = line.value();
        const auto eq = text.rfind('=');
        const std::string name = eq == std::string::npos ? "" : cli::Trim(text.substr(0, eq));
        if (name.empty()) throw cli::Mistake("--set: not NAME=VALUE: " + text);
        const std::string number = cli::Trim(text.substr(eq + 1));
        const double value = cli::Number("--set \"" + name + "\"", number.c_str(), 0.0, 1.0);
        options.sets.emplace_back(name, static_cast<float>(value));
        break;
      }
      case kInfo:
        options.info = true;
        break;
      case kNoTimeInfo:
        options.noTimeInfo = true;
        break;
      case kHelp:
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
    }
  }
  const std::vector<std::string> operands = line.operands();
  if (!operands.empty()) throw cli::Mistake("unexpected argument: " + operands.front());
  if (options.help || options.version) return options;
  if (options.output.empty()) throw cli::Mistake("no output file: give -o OUTPUT.png");
  return options;
}

int FindParameter(APlugin& plugin, const std::string& name) {
  for (VstInt32 i = 0; i < 70; ++i) {
    char text[64] = {};
    plugin.getParameterName(i, text);
    if (name == text) return i;
  }
  return -1;
}

bool WritePng(const framework::THeadlessWindow& window, const std::string& path) {
  const int width = window.Bounds().Right - window.Bounds().Left;
  const int height = window.Bounds().Bottom - window.Bounds().Top;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  cairo_surface_flush(surface);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (int x = 0; x < width; ++x) row[x] = window.PixelAt(x, y) | 0xFF000000u;
  }
  cairo_surface_mark_dirty(surface);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const auto status = cli::ParseCommandLine("plonkrift-shot", kUsage, Parse, argc, argv, options))
    return *status;

  auto backend = std::make_shared<framework::THeadlessBackend>();
  APlugin plugin(Host);
  auto* editor = static_cast<APluginEditor*>(plugin.getEditor());
  editor->setWindowSystem(backend);
  plugin.dispatcher(effSetProgram, 0, options.program, nullptr, 0.0f);
  for (const auto& [name, value] : options.sets) {
    const int index = FindParameter(plugin, name);
    if (index < 0) {
      std::cerr << "plonkrift-shot: --set: no parameter named \"" << name << "\"\n";
      return cli::kUsageStatus;
    }
    plugin.setParameter(index, value);
  }
  if (options.noTimeInfo) {
    float left[32] = {}, right[32] = {};
    float* channels[2] = {left, right};
    plugin.processReplacing(channels, channels, 32);
  }
  static int hostWindow = 0;  // stands for the host's window
  if (plugin.dispatcher(effEditOpen, 0, 0, &hostWindow, 0.0f) != 1) {
    std::cerr << "plonkrift-shot: the editor did not open\n";
    return 1;
  }
  const framework::TWindowHandle handle = editor->getWindow()->Handle();
  if (options.info) backend->ClickAt(handle, 60, 38);  // the information button
  backend->AdvanceTime(50);
  const framework::THeadlessWindow* window = backend->Window(handle);
  if (window == nullptr || !WritePng(*window, options.output)) {
    std::cerr << "plonkrift-shot: cannot write " << options.output << "\n";
    return 1;
  }
  plugin.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  return 0;
}
