#include "framework/window/Backend.h"

#include <algorithm>

#include "framework/window/WindowSystem.h"

namespace framework {

TBackendWindow::TBackendWindow(TWindowSystem& system, IWindowEvents& events)
    : system_(system), events_(events), thread_(std::this_thread::get_id()) {}

TBackendWindow::~TBackendWindow() {
  LeaveSystem();
}

void TBackendWindow::LeaveSystem() {
  system_.Unregister(*this);
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
