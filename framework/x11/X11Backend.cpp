#include "framework/x11/X11Backend.h"

#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>

// X.h names event types with macros that collide with the window layer's
// event kinds.
namespace {
constexpr int kXExpose = Expose;
constexpr int kXFocusIn = FocusIn;
constexpr int kXFocusOut = FocusOut;
}  // namespace
#undef Expose
#undef FocusIn
#undef FocusOut

#include "framework/window/Desktop.h"
#include "framework/window/Shell.h"

namespace framework {

namespace {

class TX11Backend;
class TX11Window;
struct TConnection;

// ---------------------------------------------------------------------------
// Errors. Xlib has one error handler for the whole process, and its default
// ends the process. The backend installs its own only while one of its calls
// runs (counted across threads), forwards errors of other connections to the
// handler it replaced, and puts that handler back afterwards.

std::mutex gTrapMutex;
int gTrapDepth = 0;
XErrorHandler gForeignError = nullptr;
XIOErrorHandler gForeignIOError = nullptr;
std::vector<TConnection*> gConnections;  // guarded by gTrapMutex

int OnXError(Display* display, XErrorEvent* event);
int OnXIOError(Display* display);

class TErrorTrap {
 public:
  TErrorTrap() {
    std::lock_guard lock(gTrapMutex);
    if (gTrapDepth++ == 0) {
      XErrorHandler previous = XSetErrorHandler(&OnXError);
      if (previous != &OnXError) gForeignError = previous;
      XIOErrorHandler previousIO = XSetIOErrorHandler(&OnXIOError);
      if (previousIO != &OnXIOError) gForeignIOError = previousIO;
    }
  }
  ~TErrorTrap() {
    std::lock_guard lock(gTrapMutex);
    if (--gTrapDepth == 0) {
      // Someone who installed a handler meanwhile keeps it.
      XErrorHandler current = XSetErrorHandler(gForeignError);
      if (current != &OnXError) XSetErrorHandler(current);
      XIOErrorHandler currentIO = XSetIOErrorHandler(gForeignIOError);
      if (currentIO != &OnXIOError) XSetIOErrorHandler(currentIO);
    }
  }
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
};

// ---------------------------------------------------------------------------

struct TVisualFormat {
  bool fast = false;  // 32 bits per pixel, 8-bit channels at 16/8/0, LSB first
  bool trueColor = false;
  int depth = 24;
  int bitsPerPixel = 32;
  unsigned long redMask = 0xFF0000, greenMask = 0xFF00, blueMask = 0xFF;
  std::uint32_t alpha = 0;  // bits to set in every pixel (a depth-32 visual's alpha)
  Visual* visual = nullptr;
};

// What one pump read from the connection, delivered after the reading.
struct TPendingEvent {
  Window window = 0;
  TWindowEvent event;
  TPoint root;
  TShiftState state = 0;  // modifiers and buttons after the event
  unsigned long serial = 0;
};

struct TMessageWindow {
  Window window = 0;
  GC gc = nullptr;
  std::vector<std::string> lines;
  int width = 0, height = 0;
  bool pressedOk = false;
};

// One Display connection, owned by the thread that made its first window.
struct TConnection {
  std::thread::id thread;
  Display* display = nullptr;
  bool dead = false;  // the server went away: no more requests
  // Xlib met the loss itself: it left the display locked for the thread it
  // happened on, so only that thread may still free what is left.
  bool ioError = false;
  std::thread::id ioErrorThread;
  // Xlib's own locking exists only where XInitThreads ran before any other
  // call, which a plug-in cannot know: everything that touches the display
  // takes this lock, so a window destroyed from another thread never
  // overlaps a pump. Handlers run outside it.
  std::recursive_mutex mutex;
  int errorCode = 0;  // first error since the last ClearError
  std::vector<TX11Window*> windows;
  std::vector<TMessageWindow> messages;
  std::vector<std::pair<TCursor, Cursor>> cursors;
  Cursor invisible = 0;
  XFontStruct* font = nullptr;
  Atom wmProtocols = 0, wmDelete = 0;
  // A picture's rows top-down, as X wants them, for the Present running now
  // (under the lock): one for all the windows of the connection. A local
  // server shares its memory (MIT-SHM) and reads the rows from there rather
  // than from the socket; otherwise they are ours alone.
  std::unique_ptr<std::uint32_t[]> staging;
  std::size_t stagingSize = 0;
  XShmSegmentInfo shared{};
  std::size_t sharedSize = 0;  // bytes
  bool sharingRefused = false;
  bool pointerHidden = false;
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
  // While an event is delivered, the pointer services answer from it.
  bool dispatching = false;
  TPoint dispatchPos;
  TShiftState dispatchState = 0;
  bool pressDispatch = false;  // a button press is being delivered: focus may be taken

  void ClearError() { errorCode = 0; }
  // Whether requests can go out. A server that went away shows as a hang-up
  // on the socket; noticing it here keeps Xlib out of its own lost-connection
  // path, which leaves the display half locked.
  bool Usable() {
    if (!display || dead) return false;
    pollfd p{ConnectionNumber(display), 0, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) dead = true;
    return !dead;
  }
  // Whether Xlib may be called at all, if only to free memory.
  bool MayFree() const { return display && (!ioError || ioErrorThread == std::this_thread::get_id()); }
  void LostByXlib() {
    dead = true;
    if (!ioError) {
      ioError = true;
      ioErrorThread = std::this_thread::get_id();
    }
  }
  // The screen of the host's window (screen coordinates are its root's).
  Window root = 0;
  Window Root() const { return root ? root : DefaultRootWindow(display); }
  int Screen() const {
    for (int i = 0; i < ScreenCount(display); ++i)
      if (RootWindow(display, i) == Root()) return i;
    return DefaultScreen(display);
  }
};

int OnXError(Display* display, XErrorEvent* event) {
  XErrorHandler foreign = nullptr;
  {
    std::lock_guard lock(gTrapMutex);
    for (TConnection* c : gConnections)
      if (c->display == display) {
        if (c->errorCode == 0) c->errorCode = event->error_code;
        return 0;
      }
    foreign = gForeignError;
  }
  return foreign && foreign != &OnXError ? foreign(display, event) : 0;
}

int OnXIOError(Display* display) {
  XIOErrorHandler foreign = nullptr;
  {
    std::lock_guard lock(gTrapMutex);
    for (TConnection* c : gConnections)
      if (c->display == display) {
        c->LostByXlib();
        return 0;
      }
    foreign = gForeignIOError;
  }
  return foreign && foreign != &OnXIOError ? foreign(display) : 0;
}

// Called by Xlib instead of exit() when our connection is lost.
void OnXIOErrorExit(Display*, void* data) {
  static_cast<TConnection*>(data)->LostByXlib();
}

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

std::uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

// Maps a channel (0..255) into the bits of mask.
unsigned long ScaleToMask(std::uint32_t value, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  int bits = 0;
  while (((mask >> (shift + bits)) & 1u) != 0) ++bits;
  const unsigned long v = bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8) : value >> (8 - bits);
  return (v << shift) & mask;
}

// ---------------------------------------------------------------------------

// Staging memory of our own for at least pixels rows' pixels (connection
// locked); every pixel of it is written before use, so it is not cleared.
std::uint32_t* LocalStaging(TConnection& c, std::size_t pixels) {
  if (c.stagingSize < pixels) {
    c.staging.reset(new std::uint32_t[pixels]);
    c.stagingSize = pixels;
  }
  return c.staging.get();
}

// Lets the server go of the shared staging memory (when it can still be
// asked) and lets go of ours (connection locked).
void ReleaseSharedStaging(TConnection& c) {
  if (c.shared.shmaddr == nullptr) return;
  if (c.Usable()) {
    XShmDetach(c.display, &c.shared);
    XSync(c.display, False);
  }
  shmdt(c.shared.shmaddr);
  c.shared = {};
  c.sharedSize = 0;
}

// Staging memory of at least bytes that the server reads too, or null when
// the server cannot (a remote display, no MIT-SHM) or the system refuses it;
// then never again on this connection (connection locked, errors trapped).
std::uint32_t* SharedStaging(TConnection& c, std::size_t bytes) {
  if (c.sharingRefused) return nullptr;
  if (c.shared.shmaddr != nullptr && c.sharedSize >= bytes)
    return reinterpret_cast<std::uint32_t*>(c.shared.shmaddr);
  ReleaseSharedStaging(c);
  c.sharingRefused = true;  // until it works
  if (!XShmQueryExtension(c.display)) return nullptr;
  const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (id < 0) return nullptr;
  void* address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(id, IPC_RMID, nullptr);
    return nullptr;
  }
  c.shared.shmid = id;
  c.shared.shmaddr = static_cast<char*>(address);
  c.shared.readOnly = True;
  c.ClearError();
  const Status attached = XShmAttach(c.display, &c.shared);
  XSync(c.display, False);
  // The segment goes when both sides have let go, however this process ends.
  shmctl(id, IPC_RMID, nullptr);
  if (!attached || c.errorCode != 0 || c.dead) {
    c.ClearError();
    shmdt(address);
    c.shared = {};
    return nullptr;
  }
  c.sharedSize = bytes;
  c.sharingRefused = false;
  return reinterpret_cast<std::uint32_t*>(address);
}

class TX11Window final : public TBackendWindow {
 public:
  TX11Window(TX11Backend& backend, std::shared_ptr<TConnection> connection, Window window, GC gc,
             const TVisualFormat& format, const TRect& bounds, IWindowEvents& events)
      : backend_(backend),
        connection_(std::move(connection)),
        window_(window),
        gc_(gc),
        format_(format),
        bounds_(bounds),
        events_(events) {}
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
  IWindowEvents& Events() { return events_; }
  // The X11 window went with its parent: no more requests for it.
  void MarkGone() {
    gone_ = true;
    grabbed_ = false;
  }
  bool Gone() const { return gone_; }
  // Ends the pointer grab (connection locked).
  void ReleaseGrab() {
    if (grabbed_ && !gone_) XUngrabPointer(connection_->display, CurrentTime);
    grabbed_ = false;
  }
  void ApplyCursor();
  bool CursorDefined() const { return cursorDefined_; }

 private:
  TX11Backend& backend_;
  std::shared_ptr<TConnection> connection_;
  Window window_;
  GC gc_;
  TVisualFormat format_;
  TRect bounds_;
  IWindowEvents& events_;
  TCursor cursor_ = crDefault;
  // Defined when the pointer first comes in (or a shape is asked for): the
  // first shape loads the cursor theme, which a window about to show does
  // not wait for.
  bool cursorDefined_ = false;
  bool gone_ = false;
  bool grabbed_ = false;
};

class TX11Backend final : public TWindowBackend {
 public:
  explicit TX11Backend(std::string display) : displayName_(std::move(display)) {}
  ~TX11Backend() override;

  std::unique_ptr<TBackendWindow> CreateWindow(TWindowHandle parent, const TRect& bounds,
                                               IWindowEvents& events) override;
  void PumpEvents() override;
  std::uint64_t NowMs() const override { return MonotonicMs(); }
  TPoint CursorPos() const override;
  void SetCursorPos(TPoint position) override;
  void SetPointerVisible(bool visible) override;
  TShiftState KeyboardState() const override;
  void ShowMessage(const std::string& text) override;
  void ShellOpen(const std::string& url) override { OpenUrlWithDesktop(url); }

  // The calling thread's connection, if it has one.
  std::shared_ptr<TConnection> Current() const;
  // The connection's last window went: close it (and its messages).
  void Release(const std::shared_ptr<TConnection>& connection);
  Cursor CursorFor(TConnection& c, TCursor cursor);

 private:
  std::shared_ptr<TConnection> Open();
  static void Close(TConnection& c);
  void Collect(TConnection& c, std::vector<TPendingEvent>& out);
  void Deliver(TConnection& c, TPendingEvent& p);
  void CreateMessage(TConnection& c, const std::string& text);
  void PaintMessage(TConnection& c, TMessageWindow& m);
  bool MessageEvent(TConnection& c, const XEvent& ev);
  void CloseMessage(TConnection& c, Window window);

  std::string displayName_;
  mutable std::mutex mutex_;  // guards connections_ and queuedMessages_
  std::vector<std::shared_ptr<TConnection>> connections_;
  std::deque<std::string> queuedMessages_;
};

// ---------------------------------------------------------------------------

TX11Backend::~TX11Backend() {
  // Windows hold the backend alive, so only connections without windows
  // can be left here (a message whose editor is gone).
  std::vector<std::shared_ptr<TConnection>> all;
  {
    std::lock_guard lock(mutex_);
    all.swap(connections_);
  }
  for (auto& c : all) {
    std::lock_guard lock(c->mutex);
    Close(*c);
  }
}

std::shared_ptr<TConnection> TX11Backend::Current() const {
  const auto self = std::this_thread::get_id();
  std::lock_guard lock(mutex_);
  for (const auto& c : connections_)
    if (c->thread == self) return c;
  return nullptr;
}

std::shared_ptr<TConnection> TX11Backend::Open() {
  if (auto c = Current()) return c;
  auto c = std::make_shared<TConnection>();
  c->thread = std::this_thread::get_id();
  {
    TErrorTrap trap;
    c->display = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
  }
  if (!c->display) throw EWindowError("Cannot open the X display");
  {
    std::lock_guard lock(gTrapMutex);
    gConnections.push_back(c.get());
  }
  XSetIOErrorExitHandler(c->display, &OnXIOErrorExit, c.get());
  {
    TErrorTrap trap;
    // Held keys repeat as presses only, as the window layer expects.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(c->display, True, &supported);
    c->wmProtocols = XInternAtom(c->display, "WM_PROTOCOLS", False);
    c->wmDelete = XInternAtom(c->display, "WM_DELETE_WINDOW", False);
  }
  std::lock_guard lock(mutex_);
  connections_.push_back(c);
  return c;
}

void TX11Backend::Close(TConnection& c) {
  if (!c.display) return;
  if (c.MayFree()) {
    TErrorTrap trap;
    // Requests on a lost connection go nowhere, but the memory is freed.
    for (TMessageWindow& m : c.messages) {
      XFreeGC(c.display, m.gc);
      XDestroyWindow(c.display, m.window);
    }
    for (const auto& [shape, cursor] : c.cursors) XFreeCursor(c.display, cursor);
    if (c.invisible) XFreeCursor(c.display, c.invisible);
    if (c.font) XFreeFont(c.display, c.font);
    ReleaseSharedStaging(c);
    c.messages.clear();
    c.cursors.clear();
    c.invisible = 0;
    c.font = nullptr;
    XCloseDisplay(c.display);
  } else {
    // Lost under another thread's Xlib call: our side of the shared memory
    // is still ours to free (a dead connection is not asked to detach).
    ReleaseSharedStaging(c);
  }
  {
    std::lock_guard lock(gTrapMutex);
    std::erase(gConnections, &c);
  }
  c.display = nullptr;
}

void TX11Backend::Release(const std::shared_ptr<TConnection>& connection) {
  {
    std::lock_guard lock(connection->mutex);
    if (!connection->windows.empty()) return;
    Close(*connection);
  }
  std::lock_guard lock(mutex_);
  std::erase(connections_, connection);
}

Cursor TX11Backend::CursorFor(TConnection& c, TCursor cursor) {
  if (cursor == crNone || c.pointerHidden) {
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

std::unique_ptr<TBackendWindow> TX11Backend::CreateWindow(TWindowHandle parent, const TRect& bounds,
                                                          IWindowEvents& events) {
  auto c = Open();
  if (!c->Usable()) {
    // The server went away since; a connection without windows starts over.
    Release(c);
    c = Open();
  }
  std::unique_ptr<TX11Window> window;
  std::unique_lock lock(c->mutex);
  const auto fail = [&](const char* message) {
    lock.unlock();
    Release(c);
    throw EWindowError(message);
  };
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
  if (c->windows.empty()) c->root = attrs.root;

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
  window = std::make_unique<TX11Window>(*this, c, x, gc, format, bounds, events);
  c->windows.push_back(window.get());
  return window;
}

TX11Window::~TX11Window() {
  {
    std::lock_guard lock(connection_->mutex);
    TConnection& c = *connection_;
    if (c.MayFree()) {
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
    std::erase(c.windows, this);
  }
  backend_.Release(connection_);
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

void TX11Window::Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                         const TRect& source, TPoint dest) {
  const std::int32_t ww = bounds_.Right - bounds_.Left, wh = bounds_.Bottom - bounds_.Top;
  TPresentArea area;
  if (!bits || !ClipPresent(width, height, source, dest, ww, wh, area)) return;
  const std::int32_t sx = area.SourceX, sy = area.SourceY, dx = area.DestX, dy = area.DestY;
  const std::int32_t cols = area.Columns, rows = area.Rows;

  std::lock_guard lock(connection_->mutex);
  TConnection& c = *connection_;
  if (!c.Usable() || gone_) return;
  TErrorTrap trap;
  const auto* src = reinterpret_cast<const std::uint32_t*>(bits);
  const auto row = [&](std::int32_t r) {
    return src + static_cast<std::ptrdiff_t>(height - 1 - (sy + r)) * width + sx;
  };

  if (format_.fast) {
    // The picture's BGRA bytes are already the visual's pixels; only the row
    // order flips (and a depth-32 visual gets opaque alpha).
    const std::size_t need = static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows);
    std::uint32_t* staging = SharedStaging(c, need * 4);
    const bool shared = staging != nullptr;
    if (!shared) staging = LocalStaging(c, need);
    for (std::int32_t r = 0; r < rows; ++r) {
      std::uint32_t* to = staging + static_cast<std::ptrdiff_t>(r) * cols;
      std::memcpy(to, row(r), static_cast<std::size_t>(cols) * 4);
      if (format_.alpha != 0)
        for (std::int32_t i = 0; i < cols; ++i) to[i] |= format_.alpha;
    }
    XImage image{};
    image.width = cols;
    image.height = rows;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(staging);
    image.byte_order = LSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = LSBFirst;
    image.bitmap_pad = 32;
    image.depth = format_.depth;
    image.bytes_per_line = cols * 4;
    image.bits_per_pixel = 32;
    image.red_mask = format_.redMask;
    image.green_mask = format_.greenMask;
    image.blue_mask = format_.blueMask;
    if (!XInitImage(&image)) return;
    if (shared) {
      image.obdata = reinterpret_cast<char*>(&c.shared);
      c.ClearError();
      XShmPutImage(c.display, window_, gc_, &image, 0, 0, dx, dy, static_cast<unsigned>(cols),
                   static_cast<unsigned>(rows), False);
      // The server has read the rows before the next Present writes them.
      XSync(c.display, False);
      // A window that went with its parent is no reason to stop sharing.
      if (c.errorCode == 0 || c.dead || c.errorCode == BadDrawable || c.errorCode == BadWindow) {
        c.ClearError();
        return;
      }
      // Refused after all: the socket carries this picture and the next.
      c.ClearError();
      std::uint32_t* local = LocalStaging(c, need);
      std::memcpy(local, staging, need * 4);
      image.data = reinterpret_cast<char*>(local);
      image.obdata = nullptr;
      ReleaseSharedStaging(c);
      c.sharingRefused = true;
    }
    XPutImage(c.display, window_, gc_, &image, 0, 0, dx, dy, static_cast<unsigned>(cols),
              static_cast<unsigned>(rows));
  } else {
    // Any other visual: pixel by pixel through Xlib's own packing. Colour
    // visuals get each channel scaled into their masks; the rest black or
    // white by brightness.
    XImage* image = XCreateImage(c.display, format_.visual, static_cast<unsigned>(format_.depth), ZPixmap, 0,
                                 nullptr, static_cast<unsigned>(cols), static_cast<unsigned>(rows), 32, 0);
    if (!image) return;
    image->data = static_cast<char*>(
        std::calloc(static_cast<std::size_t>(image->bytes_per_line), static_cast<std::size_t>(rows)));
    if (!image->data) {
      XDestroyImage(image);
      return;
    }
    const int screen = c.Screen();
    for (std::int32_t r = 0; r < rows; ++r) {
      const std::uint32_t* from = row(r);
      for (std::int32_t i = 0; i < cols; ++i) {
        const std::uint32_t p = from[i];
        const std::uint32_t red = (p >> 16) & 0xFF, green = (p >> 8) & 0xFF, blue = p & 0xFF;
        unsigned long pixel;
        if (format_.trueColor)
          pixel = ScaleToMask(red, format_.redMask) | ScaleToMask(green, format_.greenMask) |
                  ScaleToMask(blue, format_.blueMask) | format_.alpha;
        else
          pixel = (red * 299 + green * 587 + blue * 114) >= 128000 ? WhitePixel(c.display, screen)
                                                                   : BlackPixel(c.display, screen);
        XPutPixel(image, i, r, pixel);
      }
    }
    XPutImage(c.display, window_, gc_, image, 0, 0, dx, dy, static_cast<unsigned>(cols),
              static_cast<unsigned>(rows));
    XDestroyImage(image);
  }
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
  if (!c.Usable() || gone_ || !c.pressDispatch) return;
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
    TShiftState held = c.dispatching ? c.dispatchState : 0;
    if (!c.dispatching) {
      Window root = 0, child = 0;
      int rx = 0, ry = 0, wx = 0, wy = 0;
      unsigned int mask = 0;
      if (XQueryPointer(c.display, c.Root(), &root, &child, &rx, &ry, &wx, &wy, &mask))
        held = ShiftFromState(mask);
    }
    if ((held & ssButtons) == 0) return;
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

// ---------------------------------------------------------------------------

void TX11Backend::PumpEvents() {
  auto c = Current();
  if (!c) return;
  std::vector<TPendingEvent> pending;
  {
    std::lock_guard lock(c->mutex);
    if (!c->Usable()) return;
    std::deque<std::string> texts;
    {
      std::lock_guard backendLock(mutex_);
      texts.swap(queuedMessages_);
    }
    TErrorTrap trap;
    for (const std::string& text : texts) CreateMessage(*c, text);
    // One round trip: everything the server did before this pump is read now.
    XSync(c->display, False);
    Collect(*c, pending);
    c->ClearError();
  }
  for (TPendingEvent& p : pending) Deliver(*c, p);
}

void TX11Backend::Collect(TConnection& c, std::vector<TPendingEvent>& out) {
  Display* d = c.display;
  while (!c.dead && XPending(d) > 0) {
    XEvent ev;
    XNextEvent(d, &ev);
    if (MessageEvent(c, ev)) continue;
    TX11Window* w = nullptr;
    for (TX11Window* x : c.windows)
      if (x->XWindow() == ev.xany.window) w = x;
    if (!w) continue;
    TPendingEvent p;
    p.window = ev.xany.window;
    p.serial = ev.xany.serial;
    TWindowEvent& e = p.event;
    using K = TWindowEvent::TKind;
    switch (ev.type) {
      case MotionNotify: {
        e.Kind = K::MouseMove;
        e.X = ev.xmotion.x;
        e.Y = ev.xmotion.y;
        p.root = {ev.xmotion.x_root, ev.xmotion.y_root};
        p.state = ShiftFromState(ev.xmotion.state);
        e.Shift = p.state;
        // Queued moves fold into the latest, so a slow idle never falls
        // behind the pointer.
        // Moves on both sides of a warp are measured from different places
        // and stay apart.
        const auto crossesWarp = [&](unsigned long from, unsigned long to) {
          return std::any_of(c.warps.begin(), c.warps.end(),
                             [&](const TConnection::TWarp& w) { return from < w.serial && w.serial <= to; });
        };
        if (!out.empty() && out.back().window == p.window && out.back().event.Kind == K::MouseMove &&
            !crossesWarp(out.back().serial, p.serial)) {
          out.back() = p;
          continue;
        }
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
        p.root = {ev.xbutton.x_root, ev.xbutton.y_root};
        // X reports the state before the event; the window layer wants it after.
        p.state = ShiftFromState(ev.xbutton.state);
        if (press)
          p.state |= ButtonShift(*button);
        else
          p.state &= ~ButtonShift(*button);
        e.Shift = p.state;
        break;
      }
      case EnterNotify:
        if (!w->CursorDefined()) w->ApplyCursor();
        if (ev.xcrossing.mode != NotifyNormal || ev.xcrossing.detail == NotifyInferior) continue;
        e.Kind = K::MouseMove;
        e.X = ev.xcrossing.x;
        e.Y = ev.xcrossing.y;
        p.root = {ev.xcrossing.x_root, ev.xcrossing.y_root};
        p.state = ShiftFromState(ev.xcrossing.state);
        e.Shift = p.state;
        break;
      case LeaveNotify:
        // With a button held the pointer still belongs to us (grab).
        if (ev.xcrossing.mode != NotifyNormal || ev.xcrossing.detail == NotifyInferior ||
            (ShiftFromState(ev.xcrossing.state) & ssButtons) != 0)
          continue;
        e.Kind = K::MouseExit;
        p.root = {ev.xcrossing.x_root, ev.xcrossing.y_root};
        p.state = ShiftFromState(ev.xcrossing.state);
        e.Shift = p.state;
        break;
      case KeyPress:
      case KeyRelease: {
        char text[8] = {};
        KeySym sym = NoSymbol;
        const int n = XLookupString(&ev.xkey, text, sizeof text, &sym, nullptr);
        p.state = ShiftFromState(ev.xkey.state);
        p.root = {ev.xkey.x_root, ev.xkey.y_root};
        e.Shift = p.state;
        e.Key = VirtualKey(sym);
        e.Kind = ev.type == KeyPress ? K::KeyDown : K::KeyUp;
        if (e.Key != 0) out.push_back(p);
        const auto ch = static_cast<unsigned char>(text[0]);
        if (ev.type == KeyPress && n == 1 && ch != 0x7F) {
          e.Kind = K::Char;
          e.Key = ch;
          out.push_back(p);
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
    out.push_back(p);
  }
}

void TX11Backend::Deliver(TConnection& c, TPendingEvent& p) {
  TX11Window* w = nullptr;
  {
    std::lock_guard lock(c.mutex);
    // A handler before may have destroyed the window.
    for (TX11Window* x : c.windows)
      if (x->XWindow() == p.window && !x->Gone()) w = x;
    if (!w) return;
    using K = TWindowEvent::TKind;
    if (p.event.Kind == K::MouseMove || p.event.Kind == K::MouseDown || p.event.Kind == K::MouseUp) {
      // The latest warp the server made between the last event and this one.
      const TConnection::TWarp* between = nullptr;
      for (const TConnection::TWarp& warp : c.warps)
        if (warp.serial > c.lastSerial && warp.serial <= p.serial) between = &warp;
      const TPoint real = p.root;
      const TPoint from = between ? between->target : c.lastReal;
      const bool echo = between && p.event.Kind == K::MouseMove && real.X == from.X && real.Y == from.Y;
      // With no button held nothing is being measured: report the real place,
      // so that no offset outlives a drag.
      const bool settled = (p.state & ssButtons) == 0;
      if (c.pointerKnown && !settled) {
        const TPoint shift{c.pointer.X + (real.X - from.X) - real.X,
                           c.pointer.Y + (real.Y - from.Y) - real.Y};
        p.root = {real.X + shift.X, real.Y + shift.Y};
        p.event.X += shift.X;
        p.event.Y += shift.Y;
      }
      c.pointerKnown = true;
      c.pointer = p.root;
      c.lastReal = real;
      c.lastSerial = p.serial;
      while (!c.warps.empty() && c.warps.front().serial <= p.serial) c.warps.pop_front();
      if (echo) return;
    }
    c.dispatching = true;
    c.dispatchPos = p.root;
    c.dispatchState = p.state;
    c.pressDispatch = p.event.Kind == TWindowEvent::TKind::MouseDown;
  }
  w->Events().HandleWindowEvent(p.event);
  std::lock_guard lock(c.mutex);
  c.dispatching = false;
  c.pressDispatch = false;
  if (c.Usable()) {
    TErrorTrap trap;
    // The last button is up: no grab outlives it, whatever the handler did.
    if (p.event.Kind == TWindowEvent::TKind::MouseUp && (p.state & ssButtons) == 0)
      for (TX11Window* x : c.windows)
        if (x->XWindow() == p.window) x->ReleaseGrab();
    XFlush(c.display);
  }
}

TPoint TX11Backend::CursorPos() const {
  auto c = Current();
  if (!c) return {};
  std::lock_guard lock(c->mutex);
  if (c->dispatching) return c->dispatchPos;
  if (!c->Usable()) return {};
  TErrorTrap trap;
  Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(c->display, c->Root(), &root, &child, &rx, &ry, &wx, &wy, &mask)) return {};
  return {rx, ry};
}

void TX11Backend::SetCursorPos(TPoint position) {
  auto c = Current();
  if (!c) return;
  std::lock_guard lock(c->mutex);
  if (!c->Usable()) return;
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
  if (c->dispatching) c->dispatchPos = position;
}

void TX11Backend::SetPointerVisible(bool visible) {
  auto c = Current();
  if (!c) return;
  std::lock_guard lock(c->mutex);
  if (c->pointerHidden == !visible) return;
  c->pointerHidden = !visible;
  if (!c->Usable()) return;
  TErrorTrap trap;
  for (TX11Window* w : c->windows) w->ApplyCursor();
  XFlush(c->display);
}

TShiftState TX11Backend::KeyboardState() const {
  auto c = Current();
  if (!c) return 0;
  std::lock_guard lock(c->mutex);
  if (c->dispatching) return c->dispatchState;
  if (!c->Usable()) return 0;
  TErrorTrap trap;
  Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(c->display, c->Root(), &root, &child, &rx, &ry, &wx, &wy, &mask)) return 0;
  return ShiftFromState(mask);
}

// ---------------------------------------------------------------------------
// Messages: a small top-level window with the text and an OK area, pumped
// with the editor's events. Nobody waits for it.

constexpr int kMessageMargin = 16;
constexpr int kOkWidth = 80;
constexpr int kOkHeight = 26;

void TX11Backend::ShowMessage(const std::string& text) {
  auto c = Current();
  if (c) {
    std::lock_guard lock(c->mutex);
    if (c->Usable()) {
      TErrorTrap trap;
      CreateMessage(*c, text);
      XFlush(c->display);
      return;
    }
  }
  // Not a thread with windows (or not yet one): the next pump of a thread
  // that has them shows it.
  std::lock_guard lock(mutex_);
  queuedMessages_.push_back(text);
}

void TX11Backend::CreateMessage(TConnection& c, const std::string& text) {
  Display* d = c.display;
  if (!c.font) c.font = XLoadQueryFont(d, "fixed");
  TMessageWindow m;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) m.lines.push_back(line);
  if (m.lines.empty()) m.lines.emplace_back();
  int textWidth = 0;
  const int lineHeight = c.font ? c.font->ascent + c.font->descent : 13;
  for (const std::string& line : m.lines)
    textWidth = std::max(textWidth, c.font ? XTextWidth(c.font, line.c_str(), static_cast<int>(line.size()))
                                           : static_cast<int>(line.size()) * 6);
  const int screen = c.Screen();
  m.width = std::clamp(textWidth + 2 * kMessageMargin, 200, std::max(200, DisplayWidth(d, screen) - 40));
  m.height = std::min(kMessageMargin * 3 + lineHeight * static_cast<int>(m.lines.size()) + kOkHeight,
                      std::max(100, DisplayHeight(d, screen) - 40));
  const int x = std::max(0, (DisplayWidth(d, screen) - m.width) / 2);
  const int y = std::max(0, (DisplayHeight(d, screen) - m.height) / 2);
  m.window =
      XCreateSimpleWindow(d, c.Root(), x, y, static_cast<unsigned>(m.width), static_cast<unsigned>(m.height),
                          1, BlackPixel(d, screen), WhitePixel(d, screen));
  if (!m.window) return;
  XSelectInput(d, m.window,
               ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | StructureNotifyMask);
  XStoreName(d, m.window, "plonkrift6");
  XClassHint hint{const_cast<char*>("plonkrift6"), const_cast<char*>("Plonkrift6")};
  XSetClassHint(d, m.window, &hint);
  XSetWMProtocols(d, m.window, &c.wmDelete, 1);
  // Keep it above the host's window the editor sits in.
  if (!c.windows.empty() && !c.windows.front()->Gone()) {
    Window w = c.windows.front()->XWindow(), root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    while (XQueryTree(d, w, &root, &parent, &children, &n)) {
      if (children) XFree(children);
      children = nullptr;
      if (parent == root || parent == 0) break;
      w = parent;
    }
    XSetTransientForHint(d, m.window, w);
  }
  m.gc = XCreateGC(d, m.window, 0, nullptr);
  if (c.font) XSetFont(d, m.gc, c.font->fid);
  XMapRaised(d, m.window);
  c.messages.push_back(std::move(m));
}

void TX11Backend::PaintMessage(TConnection& c, TMessageWindow& m) {
  Display* d = c.display;
  const int screen = c.Screen();
  const int ascent = c.font ? c.font->ascent : 10;
  const int lineHeight = c.font ? c.font->ascent + c.font->descent : 13;
  XClearWindow(d, m.window);
  XSetForeground(d, m.gc, BlackPixel(d, screen));
  int y = kMessageMargin + ascent;
  for (const std::string& line : m.lines) {
    XDrawString(d, m.window, m.gc, kMessageMargin, y, line.c_str(), static_cast<int>(line.size()));
    y += lineHeight;
  }
  const int bx = (m.width - kOkWidth) / 2, by = m.height - kMessageMargin - kOkHeight;
  XDrawRectangle(d, m.window, m.gc, bx, by, kOkWidth - 1, kOkHeight - 1);
  const int okWidth = c.font ? XTextWidth(c.font, "OK", 2) : 12;
  XDrawString(d, m.window, m.gc, bx + (kOkWidth - okWidth) / 2, by + (kOkHeight + ascent) / 2 - 1, "OK", 2);
}

bool TX11Backend::MessageEvent(TConnection& c, const XEvent& ev) {
  auto it = std::find_if(c.messages.begin(), c.messages.end(),
                         [&](const TMessageWindow& m) { return m.window == ev.xany.window; });
  if (it == c.messages.end()) return false;
  TMessageWindow& m = *it;
  const int bx = (m.width - kOkWidth) / 2, by = m.height - kMessageMargin - kOkHeight;
  const auto onOk = [&](int x, int y) {
    return x >= bx && x < bx + kOkWidth && y >= by && y < by + kOkHeight;
  };
  switch (ev.type) {
    case kXExpose:
      if (ev.xexpose.count == 0) PaintMessage(c, m);
      break;
    case ButtonPress:
      m.pressedOk = ev.xbutton.button == Button1 && onOk(ev.xbutton.x, ev.xbutton.y);
      break;
    case ButtonRelease:
      if (ev.xbutton.button == Button1 && m.pressedOk && onOk(ev.xbutton.x, ev.xbutton.y))
        CloseMessage(c, m.window);
      else if (ev.xbutton.button == Button1)
        m.pressedOk = false;
      break;
    case KeyPress: {
      const KeySym sym = XLookupKeysym(const_cast<XKeyEvent*>(&ev.xkey), 0);
      if (sym == XK_Return || sym == XK_KP_Enter || sym == XK_Escape || sym == XK_space)
        CloseMessage(c, m.window);
      break;
    }
    case ClientMessage:
      if (ev.xclient.message_type == c.wmProtocols && static_cast<Atom>(ev.xclient.data.l[0]) == c.wmDelete)
        CloseMessage(c, m.window);
      break;
    case DestroyNotify:
      // Gone without us (should not happen): forget it.
      XFreeGC(c.display, m.gc);
      c.messages.erase(it);
      break;
    default:
      break;
  }
  return true;
}

void TX11Backend::CloseMessage(TConnection& c, Window window) {
  auto it = std::find_if(c.messages.begin(), c.messages.end(),
                         [&](const TMessageWindow& m) { return m.window == window; });
  if (it == c.messages.end()) return;
  XFreeGC(c.display, it->gc);
  XDestroyWindow(c.display, it->window);
  c.messages.erase(it);
}

}  // namespace

// ---------------------------------------------------------------------------

std::shared_ptr<TWindowBackend> MakeX11Backend(const std::string& display) {
  return std::make_shared<TX11Backend>(display);
}

std::shared_ptr<TWindowBackend> UseX11Backend() {
  static std::mutex choosing;
  std::lock_guard lock(choosing);
  auto current = WindowBackendPtr();
  if (IsX11Backend(*current)) return current;
  auto backend = MakeX11Backend();
  SetWindowBackend(backend);
  return backend;
}

bool IsX11Window(TWindowHandle window, const std::string& display) {
  if (window == 0 || window > 0x1FFFFFFFu) return false;
  TConnection probe;
  {
    TErrorTrap trap;
    probe.display = XOpenDisplay(display.empty() ? nullptr : display.c_str());
  }
  if (!probe.display) return false;
  {
    std::lock_guard lock(gTrapMutex);
    gConnections.push_back(&probe);
  }
  XSetIOErrorExitHandler(probe.display, &OnXIOErrorExit, &probe);
  bool found = false;
  {
    TErrorTrap trap;
    XWindowAttributes attrs{};
    found = XGetWindowAttributes(probe.display, static_cast<Window>(window), &attrs) != 0;
    XSync(probe.display, False);
    found = found && probe.errorCode == 0 && !probe.dead;
    if (probe.MayFree()) XCloseDisplay(probe.display);
  }
  std::lock_guard lock(gTrapMutex);
  std::erase(gConnections, &probe);
  return found;
}

std::shared_ptr<TWindowBackend> UseX11BackendFor(TWindowHandle parent) {
  // A backend someone chose (a test, the screenshot tool, an earlier editor's
  // X11) is kept. Otherwise only a real window of the display can hold the
  // editor: a handle that is none is refused, as the host would want to hear.
  auto current = WindowBackendPtr();
  if (WindowBackendChosen() || IsX11Backend(*current)) return current;
  if (!IsX11Window(parent)) throw EWindowError("The host's window handle is no window of the X display");
  return UseX11Backend();
}

std::shared_ptr<TWindowBackend> UseDesktopBackendFor(TWindowHandle parent) {
  return UseX11BackendFor(parent);
}

bool IsX11Backend(const TWindowBackend& backend) {
  return dynamic_cast<const TX11Backend*>(&backend) != nullptr;
}

}  // namespace framework
