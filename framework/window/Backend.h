#pragma once

// The seam between the controls and a windowing platform: the input a window
// reports, what the window layer does with a window (IWindowEvents), and one
// native window (TBackendWindow). A window system (WindowSystem.h) makes the
// windows and drives them; its platform part turns these calls into real
// windows (X11, Win32) or into memory (headless, for tests and screenshots).

#include <cstdint>
#include <thread>

#include "framework/graphics/Types.h"
#include "framework/window/WindowTypes.h"

namespace framework {

class TWindowSystem;

struct TWindowEvent {
  enum class TKind : std::uint8_t {
    MouseMove,
    MouseDown,
    MouseUp,
    MouseExit,  // the pointer left the window (no button held)
    KeyDown,
    KeyUp,
    Char,
    Expose,  // Rect must be drawn again
    FocusIn,
    FocusOut,
  };
  TKind Kind = TKind::MouseMove;
  TMouseButton Button = mbLeft;
  TShiftState Shift = 0;  // for MouseUp: the state after the release
  std::int32_t X = 0;     // client coordinates of the window
  std::int32_t Y = 0;
  std::uint16_t Key = 0;  // virtual key code, or the character of Char
  TRect Rect;             // Expose; Right/Bottom exclusive
};

// What the window system asks of the window layer for one window. Every call
// comes from the system's Update on the thread that made the window.
class IWindowEvents {
 public:
  virtual void HandleWindowEvent(const TWindowEvent& event) = 0;
  // Runs the paints the window's controls asked for.
  virtual void UpdateWindow() {}
  // Whether paints are waiting for UpdateWindow.
  virtual bool PaintsPending() const { return false; }

 protected:
  ~IWindowEvents() = default;
};

// One native window. Coordinates are client pixels; rectangles exclude their
// Right/Bottom edge. It belongs to the window system that made it and to the
// thread that made it, whose Update delivers its events.
class TBackendWindow {
 public:
  virtual ~TBackendWindow();
  TBackendWindow(const TBackendWindow&) = delete;
  TBackendWindow& operator=(const TBackendWindow&) = delete;

  virtual TWindowHandle Handle() const = 0;
  // Position inside the parent window (or on the screen) and size.
  virtual void SetBounds(const TRect& bounds) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Copies source (a rectangle of a 32-bit BGRA bottom-up picture of
  // width x height pixels) to the window with its top-left corner at dest.
  virtual void Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& source,
                       TPoint dest) = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // Asks for the keyboard focus; granted only while a press is delivered (a
  // click), so that the host keeps its keyboard otherwise.
  virtual void SetFocus() = 0;
  // Holds (or releases) the pointer while a control has the mouse capture, so
  // that moves and the release outside the window still arrive.
  virtual void SetMouseCapture(bool capture) = 0;
  // Screen position of the client area's top-left pixel.
  virtual TPoint ClientOrigin() const = 0;
  // Moves the window, as it is, into another parent (0: the screen's, where
  // a hidden window waits unseen); false when the window system cannot, or
  // refuses that parent, and the window stays where it was.
  virtual bool Reparent(TWindowHandle parent) {
    static_cast<void>(parent);
    return false;
  }

  TWindowSystem& System() const { return system_; }
  IWindowEvents& Events() const { return events_; }
  std::thread::id Thread() const { return thread_; }

 protected:
  TBackendWindow(TWindowSystem& system, IWindowEvents& events);
  // Takes the window out of its system's registry, with its queued events,
  // so that nothing is delivered to it any more. A platform window calls it
  // first thing in its destructor; the base destructor calls it too.
  void LeaveSystem();

 private:
  TWindowSystem& system_;
  IWindowEvents& events_;
  std::thread::id thread_;
};

// The part of a Present that lands inside a window: the source rectangle
// clipped to the picture, then the target clipped to the window.
struct TPresentArea {
  std::int32_t SourceX = 0, SourceY = 0;  // visual (top-down) picture coordinates
  std::int32_t DestX = 0, DestY = 0;      // window client coordinates
  std::int32_t Columns = 0, Rows = 0;
};
// False when nothing of the source lands in a window of the given size.
bool ClipPresent(std::int32_t pictureWidth, std::int32_t pictureHeight, const TRect& source, TPoint dest,
                 std::int32_t windowWidth, std::int32_t windowHeight, TPresentArea& area);

}  // namespace framework
