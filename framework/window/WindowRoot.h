#pragma once

// The state of one top-level window: its backend window, capture, pointer and
// focus, and the paint requests. Shared by the control files only.

#include <memory>

#include "framework/window/Application.h"
#include "framework/window/Backend.h"
#include "framework/window/ControlGeometry.h"
#include "framework/window/Controls.h"
#include "framework/window/WindowInternal.h"
#include "framework/window/WindowSystem.h"

namespace framework {

namespace detail {

struct TWindowRoot final : IWindowEvents {
  explicit TWindowRoot(TWinControl& o) : owner(o) {}
  ~TWindowRoot() { DestroyWindow(); }

  TWinControl& owner;
  // The system outlives its window: declared first, released last.
  std::shared_ptr<TWindowSystem> system;
  std::unique_ptr<TBackendWindow> window;
  TControl* capture = nullptr;
  TControl* mouseControl = nullptr;  // under the pointer
  TControl* pressed = nullptr;       // received the pending left press
  TWinControl* focused = nullptr;
  bool hasFocus = false;
  TCursor shownCursor = crDefault;
  TPoint lastPos;

  // The native window goes; the controls stay and may get a window again.
  void DestroyWindow() {
    if (!window) return;
    LeaveUser();
    window.reset();
  }

  // The window goes out of the user's reach (hidden or gone): what the
  // pointer and the keyboard left in the controls ends, as when the window
  // lost them, so that it shows again with no control under the pointer and
  // none holding the keyboard.
  void LeaveUser() {
    CancelCapture();
    Track(nullptr);
    if (hasFocus) {
      hasFocus = false;
      if (focused) focused->Perform(TMessageId::KillFocus);
    }
  }

  void HandleWindowEvent(const TWindowEvent& e) override {
    try {
      Dispatch(e);
    } catch (...) {
      HandleException();
    }
  }

  void UpdateWindow() override { PaintWindowTree(owner); }
  bool PaintsPending() const override { return PaintsPendingInTree(owner); }

  void Dispatch(const TWindowEvent& e) {
    using K = TWindowEvent::TKind;
    switch (e.Kind) {
      case K::MouseMove:
      case K::MouseDown:
      case K::MouseUp:
      case K::MouseExit:
        return Mouse(e);
      case K::KeyDown:
      case K::KeyUp:
      case K::Char:
        return Key(e);
      case K::Expose:
        return Expose(e.Rect, owner);
      case K::FocusIn:
        return FocusIn();
      case K::FocusOut:
        hasFocus = false;
        if (focused) focused->Perform(TMessageId::KillFocus);
        return;
    }
  }

  void Expose(const TRect& rect, TWinControl& w) {
    const TPoint origin = w.ClientToWindow({0, 0});
    w.WindowExposed(Offset(rect, {-origin.X, -origin.Y}));
    for (int i = 0; i < w.ControlCount(); ++i)
      if (auto* child = dynamic_cast<TWinControl*>(w.Controls(i))) Expose(rect, *child);
  }

  void FocusIn() {
    if (hasFocus) return;
    hasFocus = true;
    if (!focused) {
      const bool backwards = system && (system->KeyboardState() & ssShift) != 0;
      TWinControl* first = owner.FindNextControl(nullptr, !backwards);
      focused = first ? first : &owner;
    }
    focused->Perform(TMessageId::SetFocus);
  }

  void Mouse(const TWindowEvent& e) {
    using K = TWindowEvent::TKind;
    const TPoint p{e.X, e.Y};
    lastPos = p;
    const TMessageId id = e.Kind == K::MouseDown ? TMessageId::MouseDown
                          : e.Kind == K::MouseUp ? TMessageId::MouseUp
                                                 : TMessageId::MouseMove;
    if (e.Kind != K::MouseExit && owner.Enabled()) {
      TMessage preview;
      preview.Id = id;
      preview.Button = e.Button;
      preview.Shift = e.Shift;
      preview.X = p.X;
      preview.Y = p.Y;
      owner.PreviewMouse(preview);
    }
    const bool inside = e.Kind != K::MouseExit && Contains(owner.ClientRect(), p) && owner.Enabled();
    Track(inside ? owner.FindControlAt(p) : nullptr);
    if (e.Kind == K::MouseExit) return;

    TWinControl* target = nullptr;
    if (capture) {
      target = dynamic_cast<TWinControl*>(capture);
      if (!target) target = capture->Parent();
    } else if (inside && mouseControl) {
      target = dynamic_cast<TWinControl*>(mouseControl);
      if (!target) target = mouseControl->Parent();
    }
    if (target) {
      const TPoint origin = target->ClientToWindow({0, 0});
      TMessage m;
      m.Id = id;
      m.Button = e.Button;
      m.Shift = e.Shift;
      m.X = p.X - origin.X;
      m.Y = p.Y - origin.Y;
      target->WndProc(m);
    }
    if (e.Kind == K::MouseUp) {
      if (e.Button == mbLeft) {
        if (pressed) pressed->clicked_ = false;
        pressed = nullptr;
      }
      // A capture taken by a press never outlives the last held button, even
      // when the control's handling did not release it.
      if ((e.Shift & ssButtons) == 0 && capture && (capture->ControlStyle() & csCaptureMouse))
        SetCapture(nullptr);
    }
    if (e.Kind != K::MouseDown) UpdateCursor();
  }

  // Enter and leave follow the pointer; while a control holds the capture,
  // only that control is told.
  void Track(TControl* c) {
    TControl* old = mouseControl;
    if (old == c) return;
    mouseControl = c;
    if (old && (!capture || old == capture)) old->Perform(TMessageId::MouseLeave);
    if (mouseControl != c) return;  // a leave handler changed the tree
    if (c && (!capture || c == capture)) c->Perform(TMessageId::MouseEnter);
  }

  void UpdateCursor() {
    if (capture || !mouseControl || !window) return;
    TControl* c = mouseControl;
    TWinControl* w = dynamic_cast<TWinControl*>(c);
    if (!w) w = c->Parent();
    if (!w) return;
    const TPoint origin = w->ClientToWindow({0, 0});
    TMessage m;
    m.Id = TMessageId::SetCursor;
    m.X = lastPos.X - origin.X;
    m.Y = lastPos.Y - origin.Y;
    w->WndProc(m);
    if (m.Result != 0 || !window) return;
    TCursor cursor = crDefault;
    for (const TControl* x = c; x; x = x->Parent())
      if (x->Cursor() != crDefault) {
        cursor = x->Cursor();
        break;
      }
    if (cursor != shownCursor) {
      shownCursor = cursor;
      window->SetCursor(cursor);
    }
  }

  void Key(const TWindowEvent& e) {
    using K = TWindowEvent::TKind;
    if (!owner.Enabled()) return;
    TWinControl* target = focused ? focused : &owner;
    TMessage m;
    m.Key = e.Key;
    m.Shift = e.Shift;
    if (e.Kind == K::KeyDown) {
      const bool tab = e.Key == VK_TAB && (e.Shift & (ssCtrl | ssAlt)) == 0;
      if (tab) {
        TMessage dc;
        dc.Id = TMessageId::GetDialogCode;
        target->WndProc(dc);
        if ((dc.Result & (dcWantTab | dcWantAllKeys)) == 0)
          return owner.SelectNext(focused, (e.Shift & ssShift) == 0);
      }
      m.Id = TMessageId::KeyDown;
      target->WndProc(m);
      // A control that wanted Tab but left it unhandled passes it on.
      if (tab && m.Result == 0 && m.Key == VK_TAB) owner.SelectNext(focused, (e.Shift & ssShift) == 0);
    } else if (e.Kind == K::KeyUp) {
      m.Id = TMessageId::KeyUp;
      target->WndProc(m);
    } else {
      if (e.Shift & ssAlt) {
        TMessage dc;
        dc.Id = TMessageId::DialogChar;
        dc.Key = e.Key;
        dc.Shift = e.Shift;
        if (BroadcastDialogChar(owner, dc)) return;
      }
      m.Id = TMessageId::Char;
      target->WndProc(m);
    }
  }

  static bool BroadcastDialogChar(TWinControl& w, TMessage& m) {
    for (int i = 0; i < w.ControlCount(); ++i) {
      TControl* c = w.Controls(i);
      c->WndProc(m);
      if (m.Result != 0) return true;
      if (auto* child = dynamic_cast<TWinControl*>(c); child && BroadcastDialogChar(*child, m)) return true;
    }
    return false;
  }

  void SetCapture(TControl* c) {
    if (capture == c) return;
    capture = c;
    if (window) window->SetMouseCapture(c != nullptr);
  }

  // The window goes away under a drag: the capturing control is told, so it
  // can end the drag (show the pointer again) instead of waiting for a
  // release that will not come.
  void CancelCapture() {
    TControl* c = capture;
    if (!c) return;
    SetCapture(nullptr);
    c->Perform(TMessageId::CancelMode);
  }

  // c (and everything inside it) leaves this window.
  void Forget(const TControl* c) {
    if (capture && IsWithin(capture, c)) SetCapture(nullptr);
    if (mouseControl && IsWithin(mouseControl, c)) mouseControl = nullptr;
    if (pressed && IsWithin(pressed, c)) pressed = nullptr;
    if (focused && IsWithin(focused, c)) focused = nullptr;
  }
};

}  // namespace detail

}  // namespace framework
