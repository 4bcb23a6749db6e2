#include "framework/window/Backend.h"

#include <algorithm>
#include <mutex>

#include "framework/window/Headless.h"

namespace framework {

namespace {
std::mutex gBackendMutex;
std::shared_ptr<TWindowBackend>& CurrentBackend() {
  static std::shared_ptr<TWindowBackend> backend;
  return backend;
}
bool gChosen = false;
}  // namespace

void SetWindowBackend(std::shared_ptr<TWindowBackend> backend) {
  std::lock_guard lock(gBackendMutex);
  gChosen = backend != nullptr;
  CurrentBackend() = std::move(backend);
}

bool WindowBackendChosen() {
  std::lock_guard lock(gBackendMutex);
  return gChosen;
}

std::shared_ptr<TWindowBackend> WindowBackendPtr() {
  std::lock_guard lock(gBackendMutex);
  auto& backend = CurrentBackend();
  if (!backend) backend = std::make_shared<THeadlessBackend>();
  return backend;
}

bool ClipPresent(std::int32_t pictureWidth, std::int32_t pictureHeight, const TRect& source, TPoint dest,
                 std::int32_t windowWidth, std::int32_t windowHeight, TPresentArea& area) {
  std::int32_t sx = std::max(source.Left, 0), sy = std::max(source.Top, 0);
  std::int32_t dx = dest.X + (sx - source.Left), dy = dest.Y + (sy - source.Top);
  std::int32_t cols = std::min(source.Right, pictureWidth) - sx,
               rows = std::min(source.Bottom, pictureHeight) - sy;
  if (dx < 0) {
    cols += dx;
    sx -= dx;
    dx = 0;
  }
  if (dy < 0) {
    rows += dy;
    sy -= dy;
    dy = 0;
  }
  cols = std::min(cols, windowWidth - dx);
  rows = std::min(rows, windowHeight - dy);
  area = {sx, sy, dx, dy, cols, rows};
  return cols > 0 && rows > 0;
}

}  // namespace framework
