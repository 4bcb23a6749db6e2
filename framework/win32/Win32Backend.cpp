#include "framework/win32/Win32Backend.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "framework/window/Application.h"
#include "framework/window/Desktop.h"
#include "framework/window/Shell.h"

// Windows' headers come after the framework's: their macros (VK_*,
// CreateWindow) would otherwise rename the framework's own names.
#define UNICODE
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX  // libstdc++ may have defined it
#endif
#include <windows.h>
#undef CreateWindow

namespace framework {

namespace {

// Private messages and the timer of our windows.
constexpr UINT kPumpMessage = WM_APP + 0x3C1;
constexpr UINT kDestroyMessage = WM_APP + 0x3C2;
constexpr UINT_PTR kTimerId = 0x3C1;
// How long a window closed from another thread waits for its own thread to
// destroy it before it is left inert instead.
constexpr UINT kDestroyWaitMs = 100;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// ---------------------------------------------------------------------------
// The window class: registered with the first window of this module and
// unregistered with the last, so that no class outlives the code of its
// procedure when a host unloads the library. Its name carries the module's
// address, so two loaded copies never share one. A window left inert after
// its module went (see DestroyElsewhere) keeps its class registered; a copy
// loaded again at the same address takes that name over once the window is
// gone, and another name while it lives.

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);

struct TWindowClass {
  std::mutex mutex;
  int users = 0;
  std::wstring name;
};

TWindowClass& Class() {
  static TWindowClass windowClass;
  return windowClass;
}

bool AcquireClass() {
  TWindowClass& c = Class();
  std::lock_guard lock(c.mutex);
  if (c.users > 0) {
    ++c.users;
    return true;
  }
  const std::wstring base =
      L"plonkrift6.window." + std::to_wstring(reinterpret_cast<std::uintptr_t>(ThisModule()));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = ThisModule();
  // No background brush: the picture covers every pixel.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::wstring name = attempt == 0 ? base : base + L"." + std::to_wstring(attempt);
    wc.lpszClassName = name.c_str();
    // A class of this name left behind has no window left when it can be
    // unregistered: then the name is ours again.
    if (RegisterClassExW(&wc) || (UnregisterClassW(name.c_str(), ThisModule()) && RegisterClassExW(&wc))) {
      c.name = std::move(name);
      c.users = 1;
      return true;
    }
  }
  return false;
}

void ReleaseClass() {
  TWindowClass& c = Class();
  std::lock_guard lock(c.mutex);
  if (c.users == 0 || --c.users > 0) return;
  // Refused while an inert window of the class remains; the name is taken
  // over later (AcquireClass).
  UnregisterClassW(c.name.c_str(), ThisModule());
}

const wchar_t* ClassName() {
  return Class().name.c_str();
}

// ---------------------------------------------------------------------------

TShiftState ModifiersNow() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

TShiftState ShiftNow() {
  TShiftState s = ModifiersNow();
  if (GetKeyState(VK_LBUTTON) < 0) s |= ssLeft;
  if (GetKeyState(VK_RBUTTON) < 0) s |= ssRight;
  if (GetKeyState(VK_MBUTTON) < 0) s |= ssMiddle;
  return s;
}

// The state a mouse message carries (after the event), with Alt.
TShiftState ShiftFromMouse(WPARAM keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  if (keys & MK_MBUTTON) s |= ssMiddle;
  return s;
}

LPCWSTR CursorResource(TCursor cursor) {
  switch (cursor) {
    case crCross:
      return IDC_CROSS;
    case crIBeam:
      return IDC_IBEAM;
    case crSizeNESW:
      return IDC_SIZENESW;
    case crSizeNWSE:
      return IDC_SIZENWSE;
    case crSizeNS:
    case crVSplit:
      return IDC_SIZENS;
    case crSizeWE:
    case crHSplit:
      return IDC_SIZEWE;
    case crUpArrow:
      return IDC_UPARROW;
    case crHourGlass:
      return IDC_WAIT;
    case crAppStart:
      return IDC_APPSTARTING;
    case crNoDrop:
    case crNo:
      return IDC_NO;
    case crHelp:
      return IDC_HELP;
    case crHandPoint:
      return IDC_HAND;
    case crSizeAll:
      return IDC_SIZEALL;
    default:
      return IDC_ARROW;
  }
}

class TWin32Backend;

// A recursive lock of the system's. A std::recursive_mutex would do, but
// mingw's thread library allocates behind each one on first use and, as
// libstdc++ never destroys it, leaks that with every window system.
class TLock {
 public:
  TLock() { InitializeCriticalSection(&section_); }
  ~TLock() { DeleteCriticalSection(&section_); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class TWin32Window final : public TBackendWindow {
 public:
  TWin32Window(TWin32Backend& backend, const TRect& bounds, IWindowEvents& events);
  ~TWin32Window() override;

  TWindowHandle Handle() const override { return reinterpret_cast<TWindowHandle>(hwnd_); }
  void SetBounds(const TRect& bounds) override;
  void Show() override;
  void Hide() override;
  void Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& source,
               TPoint dest) override;
  void SetCursor(TCursor cursor) override;
  void SetFocus() override;
  void SetMouseCapture(bool capture) override;
  TPoint ClientOrigin() const override;

  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  void MarkGone() { gone_ = true; }
  bool Gone() const { return gone_; }
  HWND Hwnd() const { return hwnd_; }
  TWin32Backend& Backend() { return backend_; }
  // Shows the window's cursor, or none while the pointer is hidden.
  void ApplyCursor() const;
  LRESULT Message(UINT msg, WPARAM w, LPARAM l);

 private:
  // Calls of another thread must not wait for this window's thread, which
  // may be waiting for them: they go through its message queue.
  bool OnOwnThread() const { return GetWindowThreadProcessId(hwnd_, nullptr) == GetCurrentThreadId(); }
  void Post(const TWindowEvent& event, TPoint client, TShiftState state);
  void Mouse(TWindowEvent::TKind kind, TMouseButton button, WPARAM w, LPARAM l);
  void Key(TWindowEvent::TKind kind, std::uint16_t key);

  TWin32Backend& backend_;
  HWND hwnd_ = nullptr;
  TRect bounds_;
  TCursor cursor_ = crDefault;
  bool inside_ = false;  // the pointer is over the window (a leave is being tracked)
  bool gone_ = false;    // the window went with its parent
};

class TWin32Backend final : public TWindowSystem {
 public:
  // From a window's procedure: queues the event and makes sure an update
  // follows on the window's thread.
  void QueueFromWindow(TWin32Window& window, const TQueuedEvent& event);
  // For a message of the thread's windows: runs the update.
  void Pump();
  // The window left: its thread's timer and update request leave it too.
  void Forget(const TWin32Window& window);

 protected:
  std::unique_ptr<TBackendWindow> MakeWindow(TWindowHandle parent, const TRect& bounds,
                                             IWindowEvents& events) override;
  void Rearm() override;
  TPoint QueryCursorPos() const override;
  TPoint WarpPointer(TPoint position) override;
  void ShowPointer(bool visible) override;
  TShiftState QueryKeyboardState() const override { return ShiftNow(); }
  void OpenUrl(const std::string& url) override { OpenUrlWithDesktop(url); }

 private:
  // What the windows of one thread share.
  struct TThreadState {
    DWORD thread = 0;
    HWND pumpTarget = nullptr;  // the window an update request is posted to, if any
    HWND timerWindow = nullptr;
  };
  TThreadState& State(DWORD thread);  // lock held
  std::vector<TWin32Window*> WindowsOf(DWORD thread) const;

  TLock lock_;  // guards threads_
  std::vector<TThreadState> threads_;
};

// ---------------------------------------------------------------------------

TWin32Window::TWin32Window(TWin32Backend& backend, const TRect& bounds, IWindowEvents& events)
    : TBackendWindow(backend, events), backend_(backend), bounds_(bounds) {
  if (!AcquireClass()) throw EWindowError("The window class could not be registered");
}

// Only its own thread may destroy a window. When that thread takes messages,
// it destroys the window now; one that does not (it waits for the caller, or
// has ended) finds the window left inert: the system's own procedure instead
// of ours, no timer, and a close request that the system's procedure carries
// out. Nothing of this module runs for it any more, even once the host has
// unloaded the module.
void DestroyElsewhere(HWND hwnd) {
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(hwnd, kDestroyMessage, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kDestroyWaitMs,
                          &result) &&
      !IsWindow(hwnd))
    return;
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  KillTimer(hwnd, kTimerId);
  PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

TWin32Window::~TWin32Window() {
  LeaveSystem();
  backend_.Forget(*this);
  if (hwnd_ != nullptr && !gone_) {
    // Our procedure sees no window from now on.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    if (OnOwnThread()) {
      if (GetCapture() == hwnd_) ReleaseCapture();
      DestroyWindow(hwnd_);
    } else {
      DestroyElsewhere(hwnd_);
    }
  }
  ReleaseClass();
}

void TWin32Window::SetBounds(const TRect& bounds) {
  bounds_ = bounds;
  if (gone_) return;
  SetWindowPos(hwnd_, nullptr, bounds.Left, bounds.Top, std::max(1, bounds.Right - bounds.Left),
               std::max(1, bounds.Bottom - bounds.Top),
               SWP_NOZORDER | SWP_NOACTIVATE | (OnOwnThread() ? 0 : SWP_ASYNCWINDOWPOS));
}

void TWin32Window::Show() {
  if (gone_) return;
  if (OnOwnThread())
    ShowWindow(hwnd_, SW_SHOWNA);
  else
    ShowWindowAsync(hwnd_, SW_SHOWNA);
}

void TWin32Window::Hide() {
  if (gone_) return;
  if (!OnOwnThread()) {
    ShowWindowAsync(hwnd_, SW_HIDE);
    return;
  }
  if (GetCapture() == hwnd_) ReleaseCapture();
  ShowWindow(hwnd_, SW_HIDE);
}

void TWin32Window::Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                           const TRect& source, TPoint dest) {
  TPresentArea area;
  if (gone_ || !bits ||
      !ClipPresent(width, height, source, dest, bounds_.Right - bounds_.Left, bounds_.Bottom - bounds_.Top,
                   area))
    return;
  HDC dc = GetDC(hwnd_);
  if (dc == nullptr) return;
  // The picture as it is: 32-bit rows, bottom-up (a positive height), which
  // is how a device-independent bitmap lies. Rows are counted from the
  // bottom there.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, area.DestX, area.DestY, static_cast<DWORD>(area.Columns),
                    static_cast<DWORD>(area.Rows), area.SourceX, height - (area.SourceY + area.Rows), 0,
                    static_cast<UINT>(height), bits, &info, DIB_RGB_COLORS);
  ReleaseDC(hwnd_, dc);
}

void TWin32Window::ApplyCursor() const {
  const bool none = backend_.PointerHidden() || cursor_ == crNone;
  ::SetCursor(none ? nullptr
                   : LoadCursorW(nullptr, CursorResource(cursor_ == crArrow ? crDefault : cursor_)));
}

void TWin32Window::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  if (!gone_ && (inside_ || GetCapture() == hwnd_)) ApplyCursor();
}

void TWin32Window::SetFocus() {
  // The keyboard belongs to the host unless the user clicked into us.
  if (!gone_ && backend_.DeliveringPress() && IsWindowVisible(hwnd_)) ::SetFocus(hwnd_);
}

void TWin32Window::SetMouseCapture(bool capture) {
  if (gone_) return;
  if (!capture) {
    if (GetCapture() == hwnd_) ReleaseCapture();
    return;
  }
  // A capture without a held button would keep the desktop's pointer until
  // released; the window's own messages do without one.
  if ((backend_.KeyboardState() & ssButtons) != 0) ::SetCapture(hwnd_);
}

TPoint TWin32Window::ClientOrigin() const {
  POINT p{0, 0};
  if (gone_ || !ClientToScreen(hwnd_, &p)) return {bounds_.Left, bounds_.Top};
  return {p.x, p.y};
}

void TWin32Window::Post(const TWindowEvent& event, TPoint client, TShiftState state) {
  POINT screen{client.X, client.Y};
  ClientToScreen(hwnd_, &screen);
  backend_.QueueFromWindow(*this, {this, event, {screen.x, screen.y}, state, 0});
}

void TWin32Window::Mouse(TWindowEvent::TKind kind, TMouseButton button, WPARAM w, LPARAM l) {
  TWindowEvent e;
  e.Kind = kind;
  e.Button = button;
  e.X = static_cast<short>(LOWORD(l));  // signed: captured moves may lie left of or above the window
  e.Y = static_cast<short>(HIWORD(l));
  e.Shift = ShiftFromMouse(w);
  Post(e, {e.X, e.Y}, e.Shift);
}

void TWin32Window::Key(TWindowEvent::TKind kind, std::uint16_t key) {
  TWindowEvent e;
  e.Kind = kind;
  e.Key = key;
  e.Shift = ShiftNow();
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(hwnd_, &p);
  Post(e, {p.x, p.y}, e.Shift);
}

LRESULT TWin32Window::Message(UINT msg, WPARAM w, LPARAM l) {
  using K = TWindowEvent::TKind;
  switch (msg) {
    case WM_MOUSEMOVE:
      if (!inside_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
        inside_ = TrackMouseEvent(&track) != FALSE;
      }
      Mouse(K::MouseMove, mbLeft, w, l);
      return 0;
    case WM_LBUTTONDOWN:
      Mouse(K::MouseDown, mbLeft, w, l);
      return 0;
    case WM_RBUTTONDOWN:
      Mouse(K::MouseDown, mbRight, w, l);
      return 0;
    case WM_MBUTTONDOWN:
      Mouse(K::MouseDown, mbMiddle, w, l);
      return 0;
    case WM_LBUTTONUP:
      Mouse(K::MouseUp, mbLeft, w, l);
      return 0;
    case WM_RBUTTONUP:
      Mouse(K::MouseUp, mbRight, w, l);
      return 0;
    case WM_MBUTTONUP:
      Mouse(K::MouseUp, mbMiddle, w, l);
      return 0;
    case WM_MOUSELEAVE: {
      inside_ = false;
      // With a button held the pointer still belongs to us (capture).
      const TShiftState state = ShiftNow();
      if ((state & ssButtons) != 0) return 0;
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(hwnd_, &p);
      TWindowEvent e;
      e.Kind = K::MouseExit;
      e.X = p.x;
      e.Y = p.y;
      e.Shift = state;
      Post(e, {p.x, p.y}, state);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      Key(K::KeyDown, static_cast<std::uint16_t>(w));
      // Alt combinations still reach the host's window (its menus, Alt+F4).
      return msg == WM_KEYDOWN ? 0 : DefWindowProcW(hwnd_, msg, w, l);
    case WM_KEYUP:
    case WM_SYSKEYUP:
      Key(K::KeyUp, static_cast<std::uint16_t>(w));
      return msg == WM_KEYUP ? 0 : DefWindowProcW(hwnd_, msg, w, l);
    case WM_CHAR:
    case WM_SYSCHAR:
      // One byte, as the X11 backend gives characters.
      if (w >= 1 && w <= 0xFF && w != 0x7F) Key(K::Char, static_cast<std::uint16_t>(w));
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      TWindowEvent e;
      e.Kind = msg == WM_SETFOCUS ? K::FocusIn : K::FocusOut;
      Post(e, {}, ModifiersNow());
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd_, &ps);
      const RECT r = ps.rcPaint;
      EndPaint(hwnd_, &ps);
      if (r.right > r.left && r.bottom > r.top) {
        TWindowEvent e;
        e.Kind = K::Expose;
        e.Rect = {r.left, r.top, r.right, r.bottom};
        Post(e, {}, 0);
      }
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the picture covers everything; no flash of background
    case WM_SETCURSOR:
      if (LOWORD(l) == HTCLIENT) {
        ApplyCursor();
        return TRUE;
      }
      break;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, w, l);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_NCCREATE) {
    auto* made = static_cast<TWin32Window*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    made->Attach(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made));
  }
  auto* window = reinterpret_cast<TWin32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) {
    // Let go of from another thread, which waits for this one to destroy it.
    if (msg == kDestroyMessage) {
      KillTimer(hwnd, kTimerId);
      DestroyWindow(hwnd);
      return 1;
    }
    return DefWindowProcW(hwnd, msg, w, l);
  }
  try {
    if (msg == kPumpMessage || (msg == WM_TIMER && w == kTimerId)) {
      // The update may destroy this very window and let go of the system.
      const std::shared_ptr<TWindowSystem> keep = window->Backend().shared_from_this();
      static_cast<TWin32Backend&>(*keep).Pump();
      return 0;
    }
    if (msg == WM_NCDESTROY) {
      // Gone with its parent, before the editor let go of it.
      window->MarkGone();
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      return DefWindowProcW(hwnd, msg, w, l);
    }
    return window->Message(msg, w, l);
  } catch (...) {
    // Nothing may unwind through the system's code.
    HandleException();
    return 0;
  }
}

// ---------------------------------------------------------------------------

TWin32Backend::TThreadState& TWin32Backend::State(DWORD thread) {
  for (TThreadState& t : threads_)
    if (t.thread == thread) return t;
  threads_.push_back({thread, nullptr, nullptr});
  return threads_.back();
}

std::vector<TWin32Window*> TWin32Backend::WindowsOf(DWORD thread) const {
  std::vector<TWin32Window*> out;
  for (TBackendWindow* w : Windows()) {
    auto* window = static_cast<TWin32Window*>(w);
    if (!window->Gone() && GetWindowThreadProcessId(window->Hwnd(), nullptr) == thread) out.push_back(window);
  }
  return out;
}

std::unique_ptr<TBackendWindow> TWin32Backend::MakeWindow(TWindowHandle parent, const TRect& bounds,
                                                          IWindowEvents& events) {
  const HWND parentWindow = reinterpret_cast<HWND>(parent);
  if (parent != 0 && !IsWindow(parentWindow)) throw EWindowError("The parent window does not exist");
  auto window = std::make_unique<TWin32Window>(*this, bounds, events);
  const DWORD style = parent != 0 ? WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN : WS_POPUP | WS_CLIPCHILDREN;
  const HWND hwnd = CreateWindowExW(
      0, ClassName(), L"plonkrift6", style, bounds.Left, bounds.Top, std::max(1, bounds.Right - bounds.Left),
      std::max(1, bounds.Bottom - bounds.Top), parentWindow, nullptr, ThisModule(), window.get());
  if (hwnd == nullptr) throw EWindowError("The window could not be made");
  return window;
}

void TWin32Backend::QueueFromWindow(TWin32Window& window, const TQueuedEvent& event) {
  Queue(event);
  std::lock_guard lock(lock_);
  TThreadState& t = State(GetCurrentThreadId());
  if (t.pumpTarget == nullptr && PostMessageW(window.Hwnd(), kPumpMessage, 0, 0))
    t.pumpTarget = window.Hwnd();
}

void TWin32Backend::Pump() {
  {
    std::lock_guard lock(lock_);
    State(GetCurrentThreadId()).pumpTarget = nullptr;
  }
  Update();
}

void TWin32Backend::Forget(const TWin32Window& window) {
  const DWORD thread = GetWindowThreadProcessId(window.Hwnd(), nullptr);
  const bool own = thread == GetCurrentThreadId();
  {
    std::lock_guard lock(lock_);
    for (TThreadState& t : threads_) {
      if (t.pumpTarget == window.Hwnd()) t.pumpTarget = nullptr;
      if (t.timerWindow == window.Hwnd()) t.timerWindow = nullptr;
    }
    // A thread without windows is forgotten.
    std::erase_if(threads_, [&](const TThreadState& t) { return WindowsOf(t.thread).empty(); });
  }
  // The thread's timer moves to its next window.
  if (own) Rearm();
}

// The framework's timers run from one Win32 timer on the thread's first
// window, set for the next one due.
void TWin32Backend::Rearm() {
  const DWORD self = GetCurrentThreadId();
  const std::vector<TWin32Window*> mine = WindowsOf(self);
  std::lock_guard lock(lock_);
  if (mine.empty()) return;
  TThreadState& t = State(self);
  const HWND target = mine.front()->Hwnd();
  if (t.timerWindow != nullptr && t.timerWindow != target) KillTimer(t.timerWindow, kTimerId);
  t.timerWindow = target;
  const auto due = NextTimerDue();
  if (!due) {
    KillTimer(target, kTimerId);
    return;
  }
  const std::uint64_t now = NowMs();
  const std::uint64_t wait = *due > now ? *due - now : 0;
  SetTimer(target, kTimerId,
           static_cast<UINT>(std::clamp<std::uint64_t>(wait, USER_TIMER_MINIMUM, 0x7FFFFFFF)), nullptr);
}

TPoint TWin32Backend::QueryCursorPos() const {
  POINT p{};
  if (!GetCursorPos(&p)) return {};
  return {p.x, p.y};
}

TPoint TWin32Backend::WarpPointer(TPoint position) {
  ::SetCursorPos(position.X, position.Y);
  return position;
}

void TWin32Backend::ShowPointer(bool) {
  const HWND captured = GetCapture();
  POINT p{};
  GetCursorPos(&p);
  const HWND under = WindowFromPoint(p);
  for (TWin32Window* w : WindowsOf(GetCurrentThreadId()))
    if (w->Hwnd() == captured || w->Hwnd() == under) {
      w->ApplyCursor();
      break;
    }
}

}  // namespace

// ---------------------------------------------------------------------------

std::shared_ptr<TWindowSystem> MakeWin32Backend() {
  return std::make_shared<TWin32Backend>();
}

bool IsWin32Backend(const TWindowSystem& system) {
  return dynamic_cast<const TWin32Backend*>(&system) != nullptr;
}

std::shared_ptr<TWindowSystem> DesktopWindowSystemFor(TWindowHandle parent) {
  // Only a real window can hold the editor: a handle that is none is
  // refused, as the host would want to hear.
  if (parent == 0 || !IsWindow(reinterpret_cast<HWND>(parent)))
    throw EWindowError("The host's window handle is no window");
  return MakeWin32Backend();
}

}  // namespace framework
