#pragma once

// The seam between the controls and a windowing system. The controls talk only
// to TWindowBackend and TBackendWindow; a backend turns these calls into real
// windows (X11) or into memory (headless, for tests and screenshots), and
// reports input as TWindowEvent values to the IWindowEvents of each window.
//
// Nothing is delivered behind the framework's back: a backend reports events
// only from inside PumpEvents, which framework::PumpEvents calls on the thread
// that owns the windows: from the editor's idle, and, where the system's own
// message loop drives the windows (Win32), from their messages.

#include <cstdint>
#include <memory>
#include <string>

#include "framework/graphics/Types.h"
#include "framework/window/WindowTypes.h"

namespace framework {

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

class IWindowEvents {
 public:
  virtual void HandleWindowEvent(const TWindowEvent& event) = 0;

 protected:
  ~IWindowEvents() = default;
};

// One native window. Coordinates are client pixels; rectangles exclude their
// Right/Bottom edge.
class TBackendWindow {
 public:
  virtual ~TBackendWindow() = default;
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
  // Asks for the keyboard focus.
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

class TWindowBackend {
 public:
  virtual ~TWindowBackend() = default;

  // A window inside parent (0: a top-level window), hidden until Show.
  // Raises EWindowError when the window cannot be made.
  virtual std::unique_ptr<TBackendWindow> CreateWindow(TWindowHandle parent, const TRect& bounds,
                                                       IWindowEvents& events) = 0;
  // Delivers the pending events of this thread's windows; never blocks.
  virtual void PumpEvents() = 0;
  // Monotonic milliseconds; timers are due against this clock.
  virtual std::uint64_t NowMs() const = 0;
  // Something is due at dueMs on the calling thread: a backend whose windows
  // wait for the system's messages arranges a PumpEvents by then.
  virtual void WakeBy(std::uint64_t dueMs) { static_cast<void>(dueMs); }

  // The pointer, in screen coordinates.
  virtual TPoint CursorPos() const = 0;
  virtual void SetCursorPos(TPoint position) = 0;
  virtual void SetPointerVisible(bool visible) = 0;
  // Modifier keys and mouse buttons held now.
  virtual TShiftState KeyboardState() const = 0;

  // Shows a message to the user without waiting for an answer.
  virtual void ShowMessage(const std::string& text) = 0;
  // Opens an address with the desktop's opener without waiting for it.
  virtual void ShellOpen(const std::string& url) = 0;
};

// The backend every window made from now on uses. Windows keep the backend
// they were made with. Until one is set, a headless backend is used.
void SetWindowBackend(std::shared_ptr<TWindowBackend> backend);
std::shared_ptr<TWindowBackend> WindowBackendPtr();
// Whether a backend was set on purpose (by SetWindowBackend), rather than
// being the headless default.
bool WindowBackendChosen();
inline TWindowBackend& WindowBackend() {
  return *WindowBackendPtr();
}

}  // namespace framework
