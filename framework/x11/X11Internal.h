#pragma once

// Shared by the X11 backend's files: the connection with its error handling
// (X11Connection.cpp), the windows (X11Window.cpp), the pictures they show
// (X11Pictures.cpp), the input (X11Input.cpp) and the window system around
// them (X11Backend.cpp).

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

// X.h names event types with macros that collide with the window layer's
// event kinds.
namespace framework::x11 {
constexpr int kXExpose = Expose;
constexpr int kXFocusIn = FocusIn;
constexpr int kXFocusOut = FocusOut;
}  // namespace framework::x11
#undef Expose
#undef FocusIn
#undef FocusOut

#include "framework/window/WindowSystem.h"

namespace framework::x11 {

// --- the connection and its errors (X11Connection.cpp) ----------------------

// Xlib has one error handler for the whole process, and its default ends the
// process. The backend installs its own only while one of its calls runs
// (counted across threads), forwards errors of other connections to the
// handler it replaced, and puts that handler back afterwards.
class TErrorTrap {
 public:
  TErrorTrap();
  ~TErrorTrap();
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
};

// The Display connection of one window system.
struct TConnection {
  TConnection() = default;
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  Display* display = nullptr;
  bool dead = false;  // the server went away: no more requests
  // Xlib met the loss itself: it left the display locked for the thread it
  // happened on, so only that thread may still free what is left.
  bool ioError = false;
  std::thread::id ioErrorThread;
  // Xlib's own locking exists only where XInitThreads ran before any other
  // call, which a plug-in cannot know: everything that touches the display
  // takes this lock, so a window destroyed from another thread never
  // overlaps an update. Handlers run outside it.
  std::recursive_mutex mutex;
  int errorCode = 0;  // first error since the last ClearError
  std::vector<std::pair<TCursor, Cursor>> cursors;
  Cursor invisible = 0;
  // A picture's rows top-down, as X wants them, for the Present running now
  // (under the lock): one for all the windows of the connection. A local
  // server shares its memory (MIT-SHM) and reads the rows from there rather
  // than from the socket; otherwise they are ours alone.
  std::unique_ptr<std::uint32_t[]> staging;
  std::size_t stagingSize = 0;
  XShmSegmentInfo shared{};
  std::size_t sharedSize = 0;  // bytes
  bool sharingRefused = false;
  // The pointer as the windows know it. A warp moves the real pointer only
  // when the server gets to it, and events already on their way still carry
  // places from before. So each pointer event is reported as the known place
  // plus the real travel since the event before it (or since the warp that
  // came between), so that a drag which keeps putting the pointer back loses
  // no travel and counts none twice. The move a warp itself causes is not
  // the user's.
  struct TWarp {
    unsigned long serial;  // the warp's request
    TPoint target;
  };
  std::deque<TWarp> warps;  // not yet older than the last event
  bool pointerKnown = false;
  TPoint pointer;   // where the windows were told (or set) it is
  TPoint lastReal;  // the real place of the last pointer event
  unsigned long lastSerial = 0;
  // The screen of the host's window (screen coordinates are its root's).
  Window root = 0;

  // Opens the display named (empty: $DISPLAY); EWindowError when it cannot.
  void Open(const std::string& name);
  // Frees what is ours and closes the display (lock held).
  void Close();
  void ClearError() { errorCode = 0; }
  // Whether requests can go out. A server that went away shows as a hang-up
  // on the socket; noticing it here keeps Xlib out of its own lost-connection
  // path, which leaves the display half locked.
  bool Usable();
  // Whether Xlib may be called at all, if only to free memory.
  bool MayFree() const { return display && (!ioError || ioErrorThread == std::this_thread::get_id()); }
  void LostByXlib();
  Window Root() const { return root ? root : DefaultRootWindow(display); }
  int Screen() const;
};

// --- pictures (X11Pictures.cpp) ----------------------------------------------

struct TVisualFormat {
  bool fast = false;  // 32 bits per pixel, 8-bit channels at 16/8/0, LSB first
  bool trueColor = false;
  int depth = 24;
  int bitsPerPixel = 32;
  unsigned long redMask = 0xFF0000, greenMask = 0xFF00, blueMask = 0xFF;
  std::uint32_t alpha = 0;  // bits to set in every pixel (a depth-32 visual's alpha)
  Visual* visual = nullptr;
};

// TX11Window::Present lives there too.

// Lets the server go of the shared staging memory (when it can still be
// asked) and lets go of ours (connection locked).
void ReleaseSharedStaging(TConnection& c);

// --- windows (X11Window.cpp) --------------------------------------------------

class TX11Backend;

class TX11Window final : public TBackendWindow {
 public:
  TX11Window(TX11Backend& backend, std::shared_ptr<TConnection> connection, Window window, GC gc,
             const TVisualFormat& format, const TRect& bounds, IWindowEvents& events);
  ~TX11Window() override;

  TWindowHandle Handle() const override { return static_cast<TWindowHandle>(window_); }
  void SetBounds(const TRect& bounds) override;
  void Show() override;
  void Hide() override;
  void Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& source,
               TPoint dest) override;
  void SetCursor(TCursor cursor) override;
  void SetFocus() override;
  void SetMouseCapture(bool capture) override;
  TPoint ClientOrigin() const override;
  bool Reparent(TWindowHandle parent) override;

  Window XWindow() const { return window_; }
  // The X11 window went with its parent: no more requests for it.
  void MarkGone() {
    gone_ = true;
    grabbed_ = false;
  }
  bool Gone() const { return gone_; }
  // Defines the window's cursor, or none while the pointer is hidden
  // (connection locked).
  void ApplyCursor();
  bool CursorDefined() const { return cursorDefined_; }

 private:
  TX11Backend& backend_;
  std::shared_ptr<TConnection> connection_;
  Window window_;
  GC gc_;
  TVisualFormat format_;
  TRect bounds_;
  TCursor cursor_ = crDefault;
  // Defined when the pointer first comes in (or a shape is asked for): the
  // first shape loads the cursor theme, which a window about to show does
  // not wait for.
  bool cursorDefined_ = false;
  bool gone_ = false;
  bool grabbed_ = false;
};

// The pointer's buttons and the modifiers of an X state mask.
TShiftState ShiftFromState(unsigned int state);

// --- the window system (X11Backend.cpp, X11Input.cpp) -----------------------

class TX11Backend final : public TWindowSystem {
 public:
  explicit TX11Backend(std::string display) : displayName_(std::move(display)) {}
  ~TX11Backend() override;

  int FileDescriptor() const override;
  // Whether window is a window of the display (opens the connection).
  bool IsWindow(TWindowHandle window);
  // The connection, opened (again, after the server went away) when needed.
  std::shared_ptr<TConnection> Open();
  Cursor CursorFor(TConnection& c, TCursor cursor);

 protected:
  std::unique_ptr<TBackendWindow> MakeWindow(TWindowHandle parent, const TRect& bounds,
                                             IWindowEvents& events) override;
  void ReadEvents() override;
  bool InputWaiting() const override;
  bool KeepApart(const TQueuedEvent& older, const TQueuedEvent& newer) const override;
  bool Prepare(TQueuedEvent& event) override;
  TPoint QueryCursorPos() const override;
  TPoint WarpPointer(TPoint position) override;
  void ShowPointer(bool visible) override;
  TShiftState QueryKeyboardState() const override;
  void OpenUrl(const std::string& url) override;

 private:
  // The connection if open.
  std::shared_ptr<TConnection> Current() const;
  void Collect(TConnection& c);
  TX11Window* WindowOf(Window window) const;

  std::string displayName_;
  std::mutex openMutex_;      // one Open at a time
  mutable std::mutex mutex_;  // guards connection_
  std::shared_ptr<TConnection> connection_;
};

}  // namespace framework::x11
