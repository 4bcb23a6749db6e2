// plonkrift-shot: a picture of the editor.
//
//   plonkrift-shot [--program N] [--set "Name=value"]... [--info] [--no-time-info] -o OUTPUT.png
//
// Makes one instance of the effect, switches to program N (0..7, default 0),
// sets each named parameter (its name as the host sees it, a value 0..1),
// opens the editor on the headless window backend and saves what the window
// shows (719 x 512). --info shows the information screen first, as a click on
// its button does; --no-time-info plays one block the host gives no time
// information for, so the editor shows its notice. Exit status 0 on success,
// 1 on a failure, 2 on bad usage.

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/APluginEditor.h"
#include "framework/window/Headless.h"
#include "plugin/APlugin.h"

namespace {

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

int Usage() {
  std::cerr << "usage: plonkrift-shot [--program N] [--set \"Name=value\"]... [--info] [--no-time-info] -o "
               "OUTPUT.png\n";
  return 2;
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
  int program = 0;
  bool info = false, noTimeInfo = false;
  std::string output;
  std::vector<std::pair<std::string, float>> sets;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--info") {
      info = true;
    } else if (a == "--no-time-info") {
      noTimeInfo = true;
    } else if (a == "--program" && i + 1 < argc) {
      char* end = nullptr;
      program = static_cast<int>(std::strtol(argv[++i], &end, 10));
      if (*end != '\0' || program < 0 || program >= APlugin::kNumPrograms) return Usage();
    } else if (a == "--set" && i + 1 < argc) {
      const std::string s = argv[++i];
      const auto eq = s.rfind('=');
      if (eq == std::string::npos) return Usage();
      char* end = nullptr;
      const float v = std::strtof(s.c_str() + eq + 1, &end);
      if (*end != '\0' || !(v >= 0.0f && v <= 1.0f)) return Usage();
      sets.emplace_back(s.substr(0, eq), v);
    } else if (a == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else {
      return Usage();
    }
  }
  if (output.empty()) return Usage();

  auto backend = std::make_shared<framework::THeadlessBackend>();
  framework::SetWindowBackend(backend);
  APlugin plugin(Host);
  plugin.dispatcher(effSetProgram, 0, program, nullptr, 0.0f);
  for (const auto& [name, value] : sets) {
    const int index = FindParameter(plugin, name);
    if (index < 0) {
      std::cerr << "plonkrift-shot: no parameter named \"" << name << "\"\n";
      return 1;
    }
    plugin.setParameter(index, value);
  }
  if (noTimeInfo) {
    float left[32] = {}, right[32] = {};
    float* channels[2] = {left, right};
    plugin.processReplacing(channels, channels, 32);
  }
  static int hostWindow = 0;  // stands for the host's window
  if (plugin.dispatcher(effEditOpen, 0, 0, &hostWindow, 0.0f) != 1) {
    std::cerr << "plonkrift-shot: the editor did not open\n";
    return 1;
  }
  auto* editor = static_cast<APluginEditor*>(plugin.getEditor());
  const framework::TWindowHandle handle = editor->getWindow()->Handle();
  if (info) backend->ClickAt(handle, 60, 38);  // the information button
  backend->AdvanceTime(50);
  const framework::THeadlessWindow* window = backend->Window(handle);
  if (window == nullptr || !WritePng(*window, output)) {
    std::cerr << "plonkrift-shot: cannot write " << output << "\n";
    return 1;
  }
  plugin.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  return 0;
}
