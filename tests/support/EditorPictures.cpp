#include "tests/support/EditorPictures.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "editor/TPluginEditorWindow.h"
#include "framework/window/Backend.h"
#include "framework/window/Headless.h"
#include "plugin/RelaxedFloat.h"

namespace plonktest {

Values Defaults() {
  Values values{};
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) values[i] = parameters::defaultValue(i);
  return values;
}

namespace {

// Answers only what the window asks while it is drawn: whether the notice
// shows.
class PictureController final : public EditorController {
 public:
  explicit PictureController(bool timeMissing) : timeMissing_(timeMissing) {}
  float getParameter(int) override { return 0.0f; }
  void setParameterAutomated(int, float) override {}
  void beginEdit(int) override {}
  void endEdit(int) override {}
  bool timeInfoMissing() const override { return timeMissing_; }

 private:
  bool timeMissing_;
};

}  // namespace

Picture EditorPicture(const Values& values, bool timeMissing) {
  PictureController controller(timeMissing);
  auto headless = std::make_shared<framework::THeadlessBackend>();
  RelaxedFloat mirror[parameters::kLast + 1];
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) mirror[i].store(values[i]);
  Picture out;
  {
    static int hostWindow = 0;  // stands for the host's window
    auto window = TPluginEditorWindow::Create(&controller, mirror);
    window->SetWindowSystem(headless);
    window->SetParentWindow(reinterpret_cast<framework::TWindowHandle>(&hostWindow));
    window->SetBounds(0, 0, kWidth, kHeight);
    window->Show();
    window->UpdaterTimer(nullptr);
    window->Repaint();
    headless->AdvanceTime(50);
    const framework::THeadlessWindow* shown = headless->Window(window->Handle());
    if (shown != nullptr) {
      out.reserve(static_cast<std::size_t>(kWidth) * kHeight);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) out.push_back(shown->PixelAt(x, y) & 0xFFFFFF);
    }
  }
  return out;
}

std::size_t Differing(const Picture& a, const Picture& b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  std::size_t count = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) ++count;
  return count;
}

bool WritePng(const Picture& picture, int width, int height, const std::string& path) {
  if (picture.size() != static_cast<std::size_t>(width) * height) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y)
    std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride, &picture[static_cast<std::size_t>(y) * width],
                static_cast<std::size_t>(width) * 4);
  cairo_surface_mark_dirty(surface);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace plonktest
