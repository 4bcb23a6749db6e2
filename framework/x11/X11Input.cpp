// The X11 backend's input: events read from the connection and queued for
// delivery, the pointer (with the warps a drag makes) and the keyboard.

#include <algorithm>

#include "framework/window/Shell.h"
#include "framework/x11/X11Internal.h"

#include <X11/keysym.h>

namespace framework::x11 {

TShiftState ShiftFromState(unsigned int state) {
  TShiftState s = 0;
  if (state & ShiftMask) s |= ssShift;
  if (state & ControlMask) s |= ssCtrl;
  if (state & Mod1Mask) s |= ssAlt;
  if (state & Button1Mask) s |= ssLeft;
  if (state & Button2Mask) s |= ssMiddle;
  if (state & Button3Mask) s |= ssRight;
  return s;
}

namespace {

std::optional<TMouseButton> ButtonFromX(unsigned int button) {
  switch (button) {
    case Button1:
      return mbLeft;
    case Button2:
      return mbMiddle;
    case Button3:
      return mbRight;
    default:
      return std::nullopt;  // wheel and side buttons
  }
}

std::uint16_t VirtualKey(KeySym sym) {
  if (sym >= XK_a && sym <= XK_z) return static_cast<std::uint16_t>('A' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z) return static_cast<std::uint16_t>(sym);
  if (sym >= XK_0 && sym <= XK_9) return static_cast<std::uint16_t>(sym);
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return static_cast<std::uint16_t>(0x60 + (sym - XK_KP_0));
  if (sym >= XK_F1 && sym <= XK_F24) return static_cast<std::uint16_t>(0x70 + (sym - XK_F1));
  switch (sym) {
    case XK_BackSpace:
      return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
    case XK_KP_Tab:
      return VK_TAB;
    case XK_Return:
    case XK_KP_Enter:
      return VK_RETURN;
    case XK_Shift_L:
    case XK_Shift_R:
      return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
      return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
      return VK_MENU;
    case XK_Cancel:
      return VK_CANCEL;
    case XK_Escape:
      return VK_ESCAPE;
    case XK_space:
    case XK_KP_Space:
      return VK_SPACE;
    case XK_Prior:
    case XK_KP_Prior:
      return VK_PRIOR;
    case XK_Next:
    case XK_KP_Next:
      return VK_NEXT;
    case XK_End:
    case XK_KP_End:
      return VK_END;
    case XK_Home:
    case XK_KP_Home:
      return VK_HOME;
    case XK_Left:
    case XK_KP_Left:
      return VK_LEFT;
    case XK_Up:
    case XK_KP_Up:
      return VK_UP;
    case XK_Right:
    case XK_KP_Right:
      return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
      return VK_DOWN;
    case XK_Execute:
      return VK_EXECUTE;
    case XK_Insert:
    case XK_KP_Insert:
      return VK_INSERT;
    case XK_Delete:
    case XK_KP_Delete:
      return VK_DELETE;
    default:
      return 0;
  }
}

}  // namespace

void TX11Backend::Collect(TConnection& c) {
  Display* d = c.display;
  while (!c.dead && XPending(d) > 0) {
    XEvent ev;
    XNextEvent(d, &ev);
    TX11Window* w = WindowOf(ev.xany.window);
    if (!w) continue;
    TQueuedEvent p;
    p.Window = w;
    p.Mark = ev.xany.serial;
    TWindowEvent& e = p.Event;
    using K = TWindowEvent::TKind;
    switch (ev.type) {
      case MotionNotify: {
        e.Kind = K::MouseMove;
        e.X = ev.xmotion.x;
        e.Y = ev.xmotion.y;
        p.Screen = {ev.xmotion.x_root, ev.xmotion.y_root};
        p.State = ShiftFromState(ev.xmotion.state);
        e.Shift = p.State;
        break;
      }
      case ButtonPress:
      case ButtonRelease: {
        const auto button = ButtonFromX(ev.xbutton.button);
        if (!button) continue;
        const bool press = ev.type == ButtonPress;
        e.Kind = press ? K::MouseDown : K::MouseUp;
        e.Button = *button;
        e.X = ev.xbutton.x;
        e.Y = ev.xbutton.y;
        p.Screen = {ev.xbutton.x_root, ev.xbutton.y_root};
        // X reports the state before the event; the window layer wants it after.
        p.State = ShiftFromState(ev.xbutton.state);
        if (press)
          p.State |= ButtonShift(*button);
        else
          p.State &= ~ButtonShift(*button);
        e.Shift = p.State;
        break;
      }
      case EnterNotify:
        if (!w->CursorDefined()) w->ApplyCursor();
        if (ev.xcrossing.mode != NotifyNormal || ev.xcrossing.detail == NotifyInferior) continue;
        e.Kind = K::MouseMove;
        e.X = ev.xcrossing.x;
        e.Y = ev.xcrossing.y;
        p.Screen = {ev.xcrossing.x_root, ev.xcrossing.y_root};
        p.State = ShiftFromState(ev.xcrossing.state);
        e.Shift = p.State;
        break;
      case LeaveNotify:
        // With a button held the pointer still belongs to us (grab).
        if (ev.xcrossing.mode != NotifyNormal || ev.xcrossing.detail == NotifyInferior ||
            (ShiftFromState(ev.xcrossing.state) & ssButtons) != 0)
          continue;
        e.Kind = K::MouseExit;
        p.Screen = {ev.xcrossing.x_root, ev.xcrossing.y_root};
        p.State = ShiftFromState(ev.xcrossing.state);
        e.Shift = p.State;
        break;
      case KeyPress:
      case KeyRelease: {
        char text[8] = {};
        KeySym sym = NoSymbol;
        const int n = XLookupString(&ev.xkey, text, sizeof text, &sym, nullptr);
        p.State = ShiftFromState(ev.xkey.state);
        p.Screen = {ev.xkey.x_root, ev.xkey.y_root};
        e.Shift = p.State;
        e.Key = VirtualKey(sym);
        e.Kind = ev.type == KeyPress ? K::KeyDown : K::KeyUp;
        if (e.Key != 0) Queue(p);
        const auto ch = static_cast<unsigned char>(text[0]);
        if (ev.type == KeyPress && n == 1 && ch != 0x7F) {
          e.Kind = K::Char;
          e.Key = ch;
          Queue(p);
        }
        continue;
      }
      case kXExpose:
        e.Kind = K::Expose;
        e.Rect = {ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width,
                  ev.xexpose.y + ev.xexpose.height};
        break;
      case kXFocusIn:
      case kXFocusOut:
        if (ev.xfocus.detail == NotifyPointer || ev.xfocus.detail == NotifyInferior ||
            (ev.xfocus.mode != NotifyNormal && ev.xfocus.mode != NotifyWhileGrabbed))
          continue;
        e.Kind = ev.type == kXFocusIn ? K::FocusIn : K::FocusOut;
        break;
      case DestroyNotify:
        if (ev.xdestroywindow.window == w->XWindow()) w->MarkGone();
        continue;
      default:
        continue;
    }
    Queue(p);
  }
}

TX11Window* TX11Backend::WindowOf(Window window) const {
  return static_cast<TX11Window*>(FindWindow(static_cast<TWindowHandle>(window)));
}

void TX11Backend::ReadEvents() {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return;
  std::lock_guard lock(c->mutex);
  if (!c->Usable()) return;
  TErrorTrap trap;
  // One round trip: everything the server did before this update is read now.
  XSync(c->display, False);
  Collect(*c);
  c->ClearError();
}

bool TX11Backend::InputWaiting() const {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return false;
  std::lock_guard lock(c->mutex);
  return c->Usable() && XEventsQueued(c->display, QueuedAlready) > 0;
}

// Moves on both sides of a warp are measured from different places and stay
// apart. Asked while Collect queues, with the connection locked.
bool TX11Backend::KeepApart(const TQueuedEvent& older, const TQueuedEvent& newer) const {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return false;
  return std::any_of(c->warps.begin(), c->warps.end(), [&](const TConnection::TWarp& w) {
    return older.Mark < w.serial && w.serial <= newer.Mark;
  });
}

bool TX11Backend::Prepare(TQueuedEvent& p) {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return false;
  std::lock_guard lock(c->mutex);
  // Gone with its parent: nothing is left to tell.
  if (static_cast<TX11Window*>(p.Window)->Gone()) return false;
  using K = TWindowEvent::TKind;
  if (p.Event.Kind != K::MouseMove && p.Event.Kind != K::MouseDown && p.Event.Kind != K::MouseUp) return true;
  // The latest warp the server made between the last event and this one.
  const TConnection::TWarp* between = nullptr;
  for (const TConnection::TWarp& warp : c->warps)
    if (warp.serial > c->lastSerial && warp.serial <= p.Mark) between = &warp;
  const TPoint real = p.Screen;
  const TPoint from = between ? between->target : c->lastReal;
  const bool echo = between && p.Event.Kind == K::MouseMove && real.X == from.X && real.Y == from.Y;
  // With no button held nothing is being measured: report the real place,
  // so that no offset outlives a drag.
  const bool settled = (p.State & ssButtons) == 0;
  if (c->pointerKnown && !settled) {
    const TPoint shift{c->pointer.X + (real.X - from.X) - real.X, c->pointer.Y + (real.Y - from.Y) - real.Y};
    p.Screen = {real.X + shift.X, real.Y + shift.Y};
    p.Event.X += shift.X;
    p.Event.Y += shift.Y;
  }
  c->pointerKnown = true;
  c->pointer = p.Screen;
  c->lastReal = real;
  c->lastSerial = static_cast<unsigned long>(p.Mark);
  while (!c->warps.empty() && c->warps.front().serial <= p.Mark) c->warps.pop_front();
  return !echo;
}

TPoint TX11Backend::QueryCursorPos() const {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return {};
  std::lock_guard lock(c->mutex);
  if (!c->Usable()) return {};
  TErrorTrap trap;
  Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(c->display, c->Root(), &root, &child, &rx, &ry, &wx, &wy, &mask)) return {};
  return {rx, ry};
}

TPoint TX11Backend::WarpPointer(TPoint position) {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return position;
  std::lock_guard lock(c->mutex);
  if (!c->Usable()) return position;
  TErrorTrap trap;
  // The server keeps the pointer on the screen.
  const int screen = c->Screen();
  position.X = std::clamp(position.X, 0, DisplayWidth(c->display, screen) - 1);
  position.Y = std::clamp(position.Y, 0, DisplayHeight(c->display, screen) - 1);
  c->warps.push_back({NextRequest(c->display), position});
  if (c->warps.size() > 64) c->warps.pop_front();
  c->pointerKnown = true;
  c->pointer = position;
  XWarpPointer(c->display, None, c->Root(), 0, 0, 0, 0, position.X, position.Y);
  XFlush(c->display);
  return position;
}

void TX11Backend::ShowPointer(bool) {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return;
  std::lock_guard lock(c->mutex);
  if (!c->Usable()) return;
  TErrorTrap trap;
  for (TBackendWindow* w : Windows()) static_cast<TX11Window*>(w)->ApplyCursor();
  XFlush(c->display);
}

TShiftState TX11Backend::QueryKeyboardState() const {
  const std::shared_ptr<TConnection> c = Current();
  if (!c) return 0;
  std::lock_guard lock(c->mutex);
  if (!c->Usable()) return 0;
  TErrorTrap trap;
  Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(c->display, c->Root(), &root, &child, &rx, &ry, &wx, &wy, &mask)) return 0;
  return ShiftFromState(mask);
}

void TX11Backend::OpenUrl(const std::string& url) {
  OpenUrlWithDesktop(url);
}

}  // namespace framework::x11
