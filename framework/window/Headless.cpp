#include "framework/window/Headless.h"

#include <algorithm>
#include <cstring>

namespace framework {

THeadlessWindow::THeadlessWindow(THeadlessBackend& backend, TWindowHandle handle, TWindowHandle parent,
                                 const TRect& bounds, IWindowEvents& events)
    : TBackendWindow(backend, events), backend_(backend), handle_(handle), parent_(parent) {
  SetBounds(bounds);
}

THeadlessWindow::~THeadlessWindow() {
  LeaveSystem();
  std::erase(backend_.windows_, this);
}

void THeadlessWindow::SetBounds(const TRect& bounds) {
  const std::int32_t w = std::max(0, bounds.Right - bounds.Left), h = std::max(0, bounds.Bottom - bounds.Top);
  if (w != bounds_.Right - bounds_.Left || h != bounds_.Bottom - bounds_.Top || pixels_.empty())
    pixels_.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  bounds_ = {bounds.Left, bounds.Top, bounds.Left + w, bounds.Top + h};
}

void THeadlessWindow::Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                              const TRect& source, TPoint dest) {
  const std::int32_t ww = bounds_.Right - bounds_.Left, wh = bounds_.Bottom - bounds_.Top;
  TPresentArea area;
  if (!bits || !ClipPresent(width, height, source, dest, ww, wh, area)) return;
  const std::int32_t sx = area.SourceX, sy = area.SourceY, dx = area.DestX, dy = area.DestY;
  const std::int32_t cols = area.Columns, rows = area.Rows;
  const auto* src = reinterpret_cast<const std::uint32_t*>(bits);
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint32_t* from = src + static_cast<std::ptrdiff_t>(height - 1 - (sy + r)) * width + sx;
    std::uint32_t* to = pixels_.data() + static_cast<std::ptrdiff_t>(wh - 1 - (dy + r)) * ww + dx;
    std::memcpy(to, from, static_cast<std::size_t>(cols) * 4);
  }
  presented_.push_back({dx, dy, dx + cols, dy + rows});
}

void THeadlessWindow::SetFocus() {
  for (THeadlessWindow* w : backend_.windows_) w->focused_ = w == this;
}

TPoint THeadlessWindow::ClientOrigin() const {
  TPoint origin{bounds_.Left, bounds_.Top};
  if (const THeadlessWindow* parent = backend_.Window(parent_)) {
    const TPoint p = parent->ClientOrigin();
    origin.X += p.X;
    origin.Y += p.Y;
  }
  return origin;
}

std::uint32_t THeadlessWindow::PixelAt(std::int32_t x, std::int32_t y) const {
  const std::int32_t ww = bounds_.Right - bounds_.Left, wh = bounds_.Bottom - bounds_.Top;
  if (x < 0 || y < 0 || x >= ww || y >= wh) return 0;
  return pixels_[static_cast<std::size_t>(wh - 1 - y) * static_cast<std::size_t>(ww) +
                 static_cast<std::size_t>(x)];
}

// ---------------------------------------------------------------------------

THeadlessBackend::~THeadlessBackend() = default;

std::unique_ptr<TBackendWindow> THeadlessBackend::MakeWindow(TWindowHandle parent, const TRect& bounds,
                                                             IWindowEvents& events) {
  if (parent != 0 && !ParentExists(parent)) throw EWindowError("The parent window does not exist");
  auto window = std::make_unique<THeadlessWindow>(*this, nextHandle_++, parent, bounds, events);
  windows_.push_back(window.get());
  return window;
}

void THeadlessWindow::Show() {
  visible_ = true;
  if (!exposeOnShow_) return;
  exposeOnShow_ = false;
  backend_.Expose(handle_, {0, 0, bounds_.Right - bounds_.Left, bounds_.Bottom - bounds_.Top});
}

bool THeadlessWindow::Reparent(TWindowHandle parent) {
  if (parent != 0 && !backend_.ParentExists(parent)) return false;
  if (parent != parent_) {
    std::fill(pixels_.begin(), pixels_.end(), 0u);
    exposeOnShow_ = true;
  }
  parent_ = parent;
  return true;
}

THeadlessWindow* THeadlessBackend::Window(TWindowHandle handle) const {
  for (THeadlessWindow* w : windows_)
    if (w->handle_ == handle) return w;
  return nullptr;
}

TPoint THeadlessBackend::WarpPointer(TPoint position) {
  cursor_ = position;
  warps_.push_back(position);
  return position;
}

void THeadlessBackend::Post(TWindowHandle window, const TWindowEvent& event) {
  // Events that handlers post are delivered in the same Update, after the
  // ones before them.
  if (THeadlessWindow* w = Window(window)) Queue({w, event, cursor_, modifiers_ | buttons_, 0});
}

void THeadlessBackend::Send(TWindowHandle window, const TWindowEvent& event) {
  Post(window, event);
  Update();
}

void THeadlessBackend::PointerAt(TWindowHandle window, std::int32_t x, std::int32_t y) {
  TPoint origin;
  if (const THeadlessWindow* w = Window(window)) origin = w->ClientOrigin();
  cursor_ = {origin.X + x, origin.Y + y};
}

namespace {
TWindowEvent MouseEvent(TWindowEvent::TKind kind, TMouseButton button, std::int32_t x, std::int32_t y,
                        TShiftState shift) {
  TWindowEvent e;
  e.Kind = kind;
  e.Button = button;
  e.X = x;
  e.Y = y;
  e.Shift = shift;
  return e;
}
}  // namespace

void THeadlessBackend::MouseMove(TWindowHandle window, std::int32_t x, std::int32_t y,
                                 TShiftState modifiers) {
  modifiers_ = modifiers & ~(ssButtons | ssDouble);
  PointerAt(window, x, y);
  Send(window, MouseEvent(TWindowEvent::TKind::MouseMove, mbLeft, x, y, modifiers_ | buttons_));
}

void THeadlessBackend::MouseDown(TWindowHandle window, TMouseButton button, std::int32_t x, std::int32_t y,
                                 TShiftState modifiers) {
  modifiers_ = modifiers & ~(ssButtons | ssDouble);
  buttons_ |= ButtonShift(button);
  PointerAt(window, x, y);
  Send(window, MouseEvent(TWindowEvent::TKind::MouseDown, button, x, y,
                          modifiers_ | buttons_ | (modifiers & ssDouble)));
}

void THeadlessBackend::MouseUp(TWindowHandle window, TMouseButton button, std::int32_t x, std::int32_t y,
                               TShiftState modifiers) {
  modifiers_ = modifiers & ~(ssButtons | ssDouble);
  buttons_ &= ~ButtonShift(button);
  PointerAt(window, x, y);
  Send(window, MouseEvent(TWindowEvent::TKind::MouseUp, button, x, y, modifiers_ | buttons_));
}

void THeadlessBackend::MouseExit(TWindowHandle window) {
  Send(window, MouseEvent(TWindowEvent::TKind::MouseExit, mbLeft, 0, 0, modifiers_ | buttons_));
}

void THeadlessBackend::ClickAt(TWindowHandle window, std::int32_t x, std::int32_t y) {
  MouseMove(window, x, y);
  MouseDown(window, mbLeft, x, y);
  MouseUp(window, mbLeft, x, y);
}

void THeadlessBackend::KeyDown(TWindowHandle window, std::uint16_t key, TShiftState modifiers) {
  modifiers_ = modifiers & ~(ssButtons | ssDouble);
  TWindowEvent e;
  e.Kind = TWindowEvent::TKind::KeyDown;
  e.Key = key;
  e.Shift = modifiers_ | buttons_;
  Send(window, e);
}

void THeadlessBackend::KeyUp(TWindowHandle window, std::uint16_t key, TShiftState modifiers) {
  modifiers_ = modifiers & ~(ssButtons | ssDouble);
  TWindowEvent e;
  e.Kind = TWindowEvent::TKind::KeyUp;
  e.Key = key;
  e.Shift = modifiers_ | buttons_;
  Send(window, e);
}

void THeadlessBackend::Char(TWindowHandle window, char ch, TShiftState modifiers) {
  modifiers_ = modifiers & ~(ssButtons | ssDouble);
  TWindowEvent e;
  e.Kind = TWindowEvent::TKind::Char;
  e.Key = static_cast<std::uint8_t>(ch);
  e.Shift = modifiers_ | buttons_;
  Send(window, e);
}

void THeadlessBackend::Expose(TWindowHandle window, const TRect& rect) {
  TWindowEvent e;
  e.Kind = TWindowEvent::TKind::Expose;
  e.Rect = rect;
  Send(window, e);
}

void THeadlessBackend::Focus(TWindowHandle window, bool gained) {
  if (THeadlessWindow* w = Window(window)) {
    if (gained)
      w->SetFocus();
    else
      w->focused_ = false;
  }
  TWindowEvent e;
  e.Kind = gained ? TWindowEvent::TKind::FocusIn : TWindowEvent::TKind::FocusOut;
  Send(window, e);
}

void THeadlessBackend::AdvanceTime(std::uint64_t ms) {
  const std::uint64_t target = now_ + ms;
  for (;;) {
    const auto due = NextTimerDue();
    if (!due || *due > target) break;
    now_ = std::max(now_, *due);
    Update();
  }
  now_ = target;
  Update();
}

}  // namespace framework
