// The X11 backend's windows: children of the host's window, their cursors,
// focus and pointer grab.

#include <algorithm>

#include "framework/x11/X11Internal.h"

#include <X11/cursorfont.h>

namespace framework::x11 {

namespace {

unsigned int FontCursorShape(TCursor cursor) {
  switch (cursor) {
    case crCross:
      return XC_crosshair;
    case crIBeam:
      return XC_xterm;
    case crSizeNESW:
      return XC_bottom_left_corner;
    case crSizeNWSE:
      return XC_bottom_right_corner;
    case crSizeNS:
    case crVSplit:
      return XC_sb_v_double_arrow;
    case crSizeWE:
    case crHSplit:
      return XC_sb_h_double_arrow;
    case crUpArrow:
      return XC_sb_up_arrow;
    case crHourGlass:
    case crAppStart:
      return XC_watch;
    case crDrag:
      return XC_hand1;
    case crNoDrop:
    case crNo:
      return XC_X_cursor;
    case crHelp:
      return XC_question_arrow;
    case crHandPoint:
      return XC_hand2;
    case crSizeAll:
      return XC_fleur;
    default:
      return XC_left_ptr;
  }
}

}  // namespace

Cursor TX11Backend::CursorFor(TConnection& c, TCursor cursor) {
  if (cursor == crNone || PointerHidden()) {
    if (!c.invisible) {
      static const char empty[1] = {0};
      Pixmap bitmap = XCreateBitmapFromData(c.display, c.Root(), empty, 1, 1);
      XColor black{};
      c.invisible = XCreatePixmapCursor(c.display, bitmap, bitmap, &black, &black, 0, 0);
      XFreePixmap(c.display, bitmap);
    }
    return c.invisible;
  }
  const TCursor key = cursor == crArrow ? crDefault : cursor;
  for (const auto& [shape, x] : c.cursors)
    if (shape == key) return x;
  const Cursor x = XCreateFontCursor(c.display, FontCursorShape(key));
  c.cursors.emplace_back(key, x);
  return x;
}

std::unique_ptr<TBackendWindow> TX11Backend::MakeWindow(TWindowHandle parent, const TRect& bounds,
                                                        IWindowEvents& events) {
  const std::shared_ptr<TConnection> c = Open();
  std::lock_guard lock(c->mutex);
  const auto fail = [&](const char* message) { throw EWindowError(message); };
  if (!c->Usable()) fail("The X display connection was lost");
  Display* d = c->display;
  TErrorTrap trap;
  c->ClearError();
  const Window parentWindow = parent ? static_cast<Window>(parent) : c->Root();
  // A window id that does not fit an X resource id is no window.
  if (parent > 0x1FFFFFFFu) fail("The parent window does not exist");
  XWindowAttributes attrs{};
  const Status found = XGetWindowAttributes(d, parentWindow, &attrs);
  if (!found || c->errorCode != 0 || c->dead) fail("The parent window does not exist");
  if (Windows().empty()) c->root = attrs.root;

  TVisualFormat format;
  format.visual = attrs.visual;
  format.depth = attrs.depth;
  format.trueColor = attrs.visual->c_class == TrueColor || attrs.visual->c_class == DirectColor;
  format.redMask = attrs.visual->red_mask;
  format.greenMask = attrs.visual->green_mask;
  format.blueMask = attrs.visual->blue_mask;
  int count = 0;
  if (XPixmapFormatValues* formats = XListPixmapFormats(d, &count)) {
    for (int i = 0; i < count; ++i)
      if (formats[i].depth == attrs.depth) format.bitsPerPixel = formats[i].bits_per_pixel;
    XFree(formats);
  }
  if (format.depth == 32)
    format.alpha = static_cast<std::uint32_t>(~(format.redMask | format.greenMask | format.blueMask));
  format.fast = format.trueColor && format.bitsPerPixel == 32 && format.redMask == 0xFF0000 &&
                format.greenMask == 0xFF00 && format.blueMask == 0xFF;

  const int w = std::max(1, bounds.Right - bounds.Left), h = std::max(1, bounds.Bottom - bounds.Top);
  XSetWindowAttributes swa{};
  swa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                   LeaveWindowMask | KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask;
  swa.background_pixmap = None;  // the picture covers everything; no flash of background
  swa.bit_gravity = NorthWestGravity;
  swa.border_pixel = 0;
  swa.colormap = attrs.colormap;
  const Window x =
      XCreateWindow(d, parentWindow, bounds.Left, bounds.Top, static_cast<unsigned>(w),
                    static_cast<unsigned>(h), 0, attrs.depth, InputOutput, attrs.visual,
                    CWEventMask | CWBackPixmap | CWBitGravity | CWBorderPixel | CWColormap, &swa);
  GC gc = x ? XCreateGC(d, x, 0, nullptr) : nullptr;
  XSync(d, False);
  if (!x || !gc || c->errorCode != 0 || c->dead) {
    c->ClearError();
    if (gc) XFreeGC(d, gc);
    if (x) XDestroyWindow(d, x);
    XSync(d, False);
    fail("The window could not be made");
  }
  return std::make_unique<TX11Window>(*this, c, x, gc, format, bounds, events);
}

TX11Window::TX11Window(TX11Backend& backend, std::shared_ptr<TConnection> connection, Window window, GC gc,
                       const TVisualFormat& format, const TRect& bounds, IWindowEvents& events)
    : TBackendWindow(backend, events),
      backend_(backend),
      connection_(std::move(connection)),
      window_(window),
      gc_(gc),
      format_(format),
      bounds_(bounds) {}

TX11Window::~TX11Window() {
  LeaveSystem();
  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  if (!c.MayFree()) return;
  TErrorTrap trap;
  const bool usable = c.Usable();
  if (usable) {
    if (grabbed_) XUngrabPointer(c.display, CurrentTime);
    if (!gone_) XDestroyWindow(c.display, window_);
  }
  // Also on a lost connection: the GC's memory is ours.
  XFreeGC(c.display, gc_);
  if (usable) XSync(c.display, False);
  c.ClearError();
}

void TX11Window::SetBounds(const TRect& bounds) {
  std::lock_guard lock(connection_->mutex);
  bounds_ = bounds;
  TConnection& c = *connection_;
  if (!c.Usable() || gone_) return;
  TErrorTrap trap;
  XMoveResizeWindow(c.display, window_, bounds.Left, bounds.Top,
                    static_cast<unsigned>(std::max(1, bounds.Right - bounds.Left)),
                    static_cast<unsigned>(std::max(1, bounds.Bottom - bounds.Top)));
  XFlush(c.display);
}

void TX11Window::Show() {
  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  if (!c.Usable() || gone_) return;
  TErrorTrap trap;
  XMapWindow(c.display, window_);
  XFlush(c.display);
}

void TX11Window::Hide() {
  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  if (!c.Usable() || gone_) return;
  TErrorTrap trap;
  if (grabbed_) {
    XUngrabPointer(c.display, CurrentTime);
    grabbed_ = false;
  }
  XUnmapWindow(c.display, window_);
  XFlush(c.display);
}

bool TX11Window::Reparent(TWindowHandle parent) {
  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  // A window id that does not fit an X resource id is no window.
  if (!c.Usable() || gone_ || parent > 0x1FFFFFFFu) return false;
  TErrorTrap trap;
  c.ClearError();
  XReparentWindow(c.display, window_, parent ? static_cast<Window>(parent) : c.Root(), bounds_.Left,
                  bounds_.Top);
  XSync(c.display, False);
  const bool moved = c.errorCode == 0 && !c.dead;
  c.ClearError();
  return moved;
}

void TX11Window::ApplyCursor() {
  TConnection& c = *connection_;
  if (!c.Usable() || gone_) return;
  XDefineCursor(c.display, window_, backend_.CursorFor(c, cursor_));
  cursorDefined_ = true;
}

void TX11Window::SetCursor(TCursor cursor) {
  std::lock_guard lock(connection_->mutex);
  cursor_ = cursor;
  if (!connection_->Usable() || gone_) return;
  TErrorTrap trap;
  ApplyCursor();
  XFlush(connection_->display);
}

void TX11Window::SetFocus() {
  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  // The keyboard belongs to the host unless the user clicked into us.
  if (!c.Usable() || gone_ || !backend_.DeliveringPress()) return;
  TErrorTrap trap;
  XWindowAttributes attrs{};
  if (XGetWindowAttributes(c.display, window_, &attrs) && attrs.map_state == IsViewable)
    XSetInputFocus(c.display, window_, RevertToParent, CurrentTime);
  XSync(c.display, False);
  c.ClearError();
}

void TX11Window::SetMouseCapture(bool capture) {
  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  if (!c.Usable() || gone_ || capture == grabbed_) return;
  TErrorTrap trap;
  if (capture) {
    // A grab without a held button would take the whole desktop's pointer
    // until released; the window's own events do without one.
    if ((backend_.KeyboardState() & ssButtons) == 0) return;
    const unsigned int mask =
        ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
    grabbed_ = XGrabPointer(c.display, window_, False, mask, GrabModeAsync, GrabModeAsync, None, None,
                            CurrentTime) == GrabSuccess;
  } else {
    XUngrabPointer(c.display, CurrentTime);
    grabbed_ = false;
  }
  XFlush(c.display);
}

TPoint TX11Window::ClientOrigin() const {
  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  if (!c.Usable() || gone_) return {bounds_.Left, bounds_.Top};
  TErrorTrap trap;
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(c.display, window_, c.Root(), 0, 0, &x, &y, &child))
    return {bounds_.Left, bounds_.Top};
  return {x, y};
}

}  // namespace framework::x11
