#include "framework/win32/Win32Backend.h"

#include <algorithm>
#include <cstdint>
#include <deque>
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

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// ---------------------------------------------------------------------------
// Window classes: registered with the first window of this module and
// unregistered with the last, so that no class outlives the code of its
// procedure when a host unloads the library.

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
LRESULT CALLBACK MessageProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);

struct TClasses {
  std::mutex mutex;
  int users = 0;
  std::wstring window, message;
};

TClasses& Classes() {
  static TClasses classes;
  return classes;
}

bool AcquireClasses() {
  TClasses& c = Classes();
  std::lock_guard lock(c.mutex);
  if (c.users > 0) {
    ++c.users;
    return true;
  }
  const std::wstring module = std::to_wstring(reinterpret_cast<std::uintptr_t>(ThisModule()));
  c.window = L"plonkrift6.window." + module;
  c.message = L"plonkrift6.message." + module;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = ThisModule();
  wc.lpszClassName = c.window.c_str();
  // No background brush: the picture covers every pixel.
  if (!RegisterClassExW(&wc)) return false;
  wc.lpfnWndProc = &MessageProc;
  wc.lpszClassName = c.message.c_str();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  if (!RegisterClassExW(&wc)) {
    UnregisterClassW(c.window.c_str(), ThisModule());
    return false;
  }
  c.users = 1;
  return true;
}

void ReleaseClasses() {
  TClasses& c = Classes();
  std::lock_guard lock(c.mutex);
  if (c.users == 0 || --c.users > 0) return;
  UnregisterClassW(c.window.c_str(), ThisModule());
  UnregisterClassW(c.message.c_str(), ThisModule());
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
class TWin32Window;

// An event taken from a message, delivered by the next pump.
struct TPending {
  HWND window = nullptr;
  TWindowEvent event;
  TPoint screen;          // the pointer, in screen coordinates
  TShiftState state = 0;  // modifiers and buttons after the event
};

// A recursive lock of the system's. A std::recursive_mutex would do, but
// mingw's thread library allocates behind each one on first use and, as
// libstdc++ never destroys it, leaks that with every thread state.
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

// What the windows of one thread share. Touched by that thread, except that
// a window destroyed elsewhere leaves the lists under the lock.
struct TThreadState {
  DWORD thread = 0;
  TLock mutex;
  std::vector<TWin32Window*> windows;
  std::deque<TPending> queue;
  std::vector<HWND> messages;
  HWND pumpTarget = nullptr;  // the window a pump message is posted to, if any
  HWND timerWindow = nullptr;
  bool pointerHidden = false;
  // While an event is delivered, the pointer services answer from it.
  bool dispatching = false;
  bool pressDispatch = false;  // a button press is being delivered: focus may be taken
  TPoint dispatchPos;
  TShiftState dispatchState = 0;
};

class TWin32Window final : public TBackendWindow {
 public:
  TWin32Window(TWin32Backend& backend, std::shared_ptr<TThreadState> thread, const TRect& bounds,
               IWindowEvents& events)
      : backend_(backend), thread_(std::move(thread)), events_(events), bounds_(bounds) {}
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
  IWindowEvents& Events() { return events_; }
  TWin32Backend& Backend() { return backend_; }
  const std::shared_ptr<TThreadState>& Thread() const { return thread_; }
  // Shows the window's cursor, or none while the pointer is hidden.
  void ApplyCursor() const;
  LRESULT Message(UINT msg, WPARAM w, LPARAM l);

 private:
  void Post(const TWindowEvent& event, TPoint client, TShiftState state);
  void Mouse(TWindowEvent::TKind kind, TMouseButton button, WPARAM w, LPARAM l);
  void Key(TWindowEvent::TKind kind, std::uint16_t key);

  TWin32Backend& backend_;
  std::shared_ptr<TThreadState> thread_;
  IWindowEvents& events_;
  HWND hwnd_ = nullptr;
  TRect bounds_;
  TCursor cursor_ = crDefault;
  bool inside_ = false;  // the pointer is over the window (a leave is being tracked)
  bool gone_ = false;    // the window went with its parent
};

class TWin32Backend final : public TWindowBackend, public std::enable_shared_from_this<TWin32Backend> {
 public:
  std::unique_ptr<TBackendWindow> CreateWindow(TWindowHandle parent, const TRect& bounds,
                                               IWindowEvents& events) override;
  void PumpEvents() override;
  std::uint64_t NowMs() const override;
  void WakeBy(std::uint64_t dueMs) override;
  TPoint CursorPos() const override;
  void SetCursorPos(TPoint position) override;
  void SetPointerVisible(bool visible) override;
  TShiftState KeyboardState() const override;
  void ShowMessage(const std::string& text) override;
  void ShellOpen(const std::string& url) override { OpenUrlWithDesktop(url); }

  std::shared_ptr<TThreadState> Current() const;
  // A window left the thread: the thread's timer moves to the next window;
  // after the last one its messages close and the thread is forgotten.
  void Release(const std::shared_ptr<TThreadState>& thread);
  void Queue(TThreadState& thread, const TPending& pending);
  // Runs the framework's pump for a message of the thread's windows.
  void Pump(const std::shared_ptr<TThreadState>& thread);
  void ArmTimer(TThreadState& thread);

 private:
  std::shared_ptr<TThreadState> Open();
  void Deliver(TThreadState& thread, const TPending& pending);
  void CreateMessage(TThreadState& thread, const std::string& text);

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<TThreadState>> threads_;
  std::deque<std::string> queuedMessages_;
};

// ---------------------------------------------------------------------------

TWin32Window::~TWin32Window() {
  TThreadState& t = *thread_;
  bool orphanPosted = false;
  {
    std::lock_guard lock(t.mutex);
    std::erase(t.windows, this);
    std::erase_if(t.queue, [&](const TPending& p) { return p.window == hwnd_; });
    if (t.pumpTarget == hwnd_) t.pumpTarget = nullptr;
    if (t.timerWindow == hwnd_) t.timerWindow = nullptr;
    if (hwnd_ != nullptr && !gone_) {
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      if (GetWindowThreadProcessId(hwnd_, nullptr) == GetCurrentThreadId()) {
        if (GetCapture() == hwnd_) ReleaseCapture();
        DestroyWindow(hwnd_);
      } else {
        // Only its own thread may destroy a window: it does at its next
        // message, and lets go of the classes then.
        orphanPosted = PostMessageW(hwnd_, kDestroyMessage, 0, 0) != FALSE;
      }
    }
  }
  backend_.Release(thread_);
  if (!orphanPosted) ReleaseClasses();
}

void TWin32Window::SetBounds(const TRect& bounds) {
  bounds_ = bounds;
  if (gone_) return;
  SetWindowPos(hwnd_, nullptr, bounds.Left, bounds.Top, std::max(1, bounds.Right - bounds.Left),
               std::max(1, bounds.Bottom - bounds.Top), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Window::Show() {
  if (!gone_) ShowWindow(hwnd_, SW_SHOWNA);
}

void TWin32Window::Hide() {
  if (gone_) return;
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
  const bool none = thread_->pointerHidden || cursor_ == crNone;
  ::SetCursor(none ? nullptr
                   : LoadCursorW(nullptr, CursorResource(cursor_ == crArrow ? crDefault : cursor_)));
}

void TWin32Window::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  if (!gone_ && (inside_ || GetCapture() == hwnd_)) ApplyCursor();
}

void TWin32Window::SetFocus() {
  // The keyboard belongs to the host unless the user clicked into us.
  if (!gone_ && thread_->pressDispatch && IsWindowVisible(hwnd_)) ::SetFocus(hwnd_);
}

void TWin32Window::SetMouseCapture(bool capture) {
  if (gone_) return;
  if (!capture) {
    if (GetCapture() == hwnd_) ReleaseCapture();
    return;
  }
  // A capture without a held button would keep the desktop's pointer until
  // released; the window's own messages do without one.
  const TShiftState held = thread_->dispatching ? thread_->dispatchState : ShiftNow();
  if ((held & ssButtons) != 0) ::SetCapture(hwnd_);
}

TPoint TWin32Window::ClientOrigin() const {
  POINT p{0, 0};
  if (gone_ || !ClientToScreen(hwnd_, &p)) return {bounds_.Left, bounds_.Top};
  return {p.x, p.y};
}

void TWin32Window::Post(const TWindowEvent& event, TPoint client, TShiftState state) {
  POINT screen{client.X, client.Y};
  ClientToScreen(hwnd_, &screen);
  backend_.Queue(*thread_, {hwnd_, event, {screen.x, screen.y}, state});
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
    if (msg == kDestroyMessage) {
      DestroyWindow(hwnd);
      ReleaseClasses();
      return 0;
    }
    return DefWindowProcW(hwnd, msg, w, l);
  }
  try {
    if (msg == kPumpMessage || (msg == WM_TIMER && w == kTimerId)) {
      // The pump may destroy this very window: keep what it needs.
      const auto backend = window->Backend().shared_from_this();
      const auto thread = window->Thread();
      backend->Pump(thread);
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

std::shared_ptr<TThreadState> TWin32Backend::Current() const {
  const DWORD self = GetCurrentThreadId();
  std::lock_guard lock(mutex_);
  for (const auto& t : threads_)
    if (t->thread == self) return t;
  return nullptr;
}

std::shared_ptr<TThreadState> TWin32Backend::Open() {
  if (auto t = Current()) return t;
  auto t = std::make_shared<TThreadState>();
  t->thread = GetCurrentThreadId();
  std::lock_guard lock(mutex_);
  threads_.push_back(t);
  return t;
}

void TWin32Backend::Release(const std::shared_ptr<TThreadState>& thread) {
  const bool own = thread->thread == GetCurrentThreadId();
  {
    std::lock_guard lock(thread->mutex);
    if (!thread->windows.empty()) {
      if (own) ArmTimer(*thread);
      return;
    }
    // Messages go with the last window of their thread.
    if (own)
      for (HWND m : std::vector<HWND>(thread->messages)) DestroyWindow(m);
  }
  std::lock_guard lock(mutex_);
  std::erase(threads_, thread);
}

std::unique_ptr<TBackendWindow> TWin32Backend::CreateWindow(TWindowHandle parent, const TRect& bounds,
                                                            IWindowEvents& events) {
  const HWND parentWindow = reinterpret_cast<HWND>(parent);
  if (parent != 0 && !IsWindow(parentWindow)) throw EWindowError("The parent window does not exist");
  if (!AcquireClasses()) throw EWindowError("The window class could not be registered");
  auto thread = Open();
  auto window = std::make_unique<TWin32Window>(*this, thread, bounds, events);
  const DWORD style = parent != 0 ? WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN : WS_POPUP | WS_CLIPCHILDREN;
  const HWND hwnd =
      CreateWindowExW(0, Classes().window.c_str(), L"plonkrift6", style, bounds.Left, bounds.Top,
                      std::max(1, bounds.Right - bounds.Left), std::max(1, bounds.Bottom - bounds.Top),
                      parentWindow, nullptr, ThisModule(), window.get());
  if (hwnd == nullptr) {
    window.reset();  // lets go of the classes and the thread
    throw EWindowError("The window could not be made");
  }
  {
    std::lock_guard lock(thread->mutex);
    thread->windows.push_back(window.get());
  }
  ArmTimer(*thread);
  return window;
}

void TWin32Backend::Queue(TThreadState& t, const TPending& pending) {
  std::lock_guard lock(t.mutex);
  // Queued moves fold into the latest, so a slow pump never falls behind the
  // pointer.
  if (pending.event.Kind == TWindowEvent::TKind::MouseMove && !t.queue.empty() &&
      t.queue.back().window == pending.window && t.queue.back().event.Kind == TWindowEvent::TKind::MouseMove)
    t.queue.back() = pending;
  else
    t.queue.push_back(pending);
  if (t.pumpTarget == nullptr && PostMessageW(pending.window, kPumpMessage, 0, 0))
    t.pumpTarget = pending.window;
}

void TWin32Backend::Pump(const std::shared_ptr<TThreadState>& thread) {
  const auto keep = shared_from_this();
  {
    std::lock_guard lock(thread->mutex);
    thread->pumpTarget = nullptr;
  }
  framework::PumpEvents();
  std::lock_guard lock(thread->mutex);
  ArmTimer(*thread);
}

void TWin32Backend::ArmTimer(TThreadState& t) {
  std::lock_guard lock(t.mutex);
  HWND target = nullptr;
  for (TWin32Window* w : t.windows)
    if (!w->Gone()) {
      target = w->Hwnd();
      break;
    }
  if (t.timerWindow != nullptr && t.timerWindow != target) KillTimer(t.timerWindow, kTimerId);
  t.timerWindow = target;
  if (target == nullptr) return;
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

void TWin32Backend::WakeBy(std::uint64_t) {
  if (auto t = Current()) ArmTimer(*t);
}

void TWin32Backend::PumpEvents() {
  const auto t = Current();
  if (!t) return;
  std::deque<std::string> texts;
  {
    std::lock_guard lock(mutex_);
    texts.swap(queuedMessages_);
  }
  for (const std::string& text : texts) CreateMessage(*t, text);
  // Also what the handlers' own calls queue (a focus change) is delivered now.
  for (;;) {
    TPending p;
    {
      std::lock_guard lock(t->mutex);
      if (t->queue.empty()) break;
      p = t->queue.front();
      t->queue.pop_front();
    }
    Deliver(*t, p);
  }
}

void TWin32Backend::Deliver(TThreadState& t, const TPending& p) {
  TWin32Window* window = nullptr;
  {
    std::lock_guard lock(t.mutex);
    // A handler before may have destroyed the window.
    for (TWin32Window* w : t.windows)
      if (w->Hwnd() == p.window && !w->Gone()) window = w;
    if (window == nullptr) return;
    t.dispatching = true;
    t.dispatchPos = p.screen;
    t.dispatchState = p.state;
    t.pressDispatch = p.event.Kind == TWindowEvent::TKind::MouseDown;
  }
  window->Events().HandleWindowEvent(p.event);
  std::lock_guard lock(t.mutex);
  t.dispatching = false;
  t.pressDispatch = false;
  // The last button is up: no capture outlives it, whatever the handler did.
  if (p.event.Kind == TWindowEvent::TKind::MouseUp && (p.state & ssButtons) == 0)
    for (TWin32Window* w : t.windows)
      if (w->Hwnd() == GetCapture()) ReleaseCapture();
}

std::uint64_t TWin32Backend::NowMs() const {
  static const std::int64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<std::uint64_t>(now.QuadPart / frequency * 1000 +
                                    now.QuadPart % frequency * 1000 / frequency);
}

TPoint TWin32Backend::CursorPos() const {
  if (const auto t = Current(); t && t->dispatching) return t->dispatchPos;
  POINT p{};
  if (!GetCursorPos(&p)) return {};
  return {p.x, p.y};
}

void TWin32Backend::SetCursorPos(TPoint position) {
  ::SetCursorPos(position.X, position.Y);
  if (const auto t = Current(); t && t->dispatching) t->dispatchPos = position;
}

void TWin32Backend::SetPointerVisible(bool visible) {
  const auto t = Current();
  if (!t) return;
  std::lock_guard lock(t->mutex);
  if (t->pointerHidden == !visible) return;
  t->pointerHidden = !visible;
  const HWND captured = GetCapture();
  POINT p{};
  GetCursorPos(&p);
  const HWND under = WindowFromPoint(p);
  for (TWin32Window* w : t->windows)
    if (!w->Gone() && (w->Hwnd() == captured || w->Hwnd() == under)) {
      w->ApplyCursor();
      break;
    }
}

TShiftState TWin32Backend::KeyboardState() const {
  if (const auto t = Current(); t && t->dispatching) return t->dispatchState;
  return ShiftNow();
}

// ---------------------------------------------------------------------------
// Messages: a small window with the text and an OK button, above the host's
// window. Nobody waits for it.

constexpr int kMessageMargin = 16;
constexpr int kOkWidth = 80;
constexpr int kOkHeight = 26;

void TWin32Backend::ShowMessage(const std::string& text) {
  if (const auto t = Current()) {
    std::lock_guard lock(t->mutex);
    if (!t->windows.empty()) {
      CreateMessage(*t, text);
      return;
    }
  }
  // Not a thread with windows (or not yet one): the next pump of a thread
  // that has them shows it.
  std::lock_guard lock(mutex_);
  queuedMessages_.push_back(text);
}

void TWin32Backend::CreateMessage(TThreadState& t, const std::string& text) {
  if (t.windows.empty() || !AcquireClasses()) return;
  const std::wstring wide = Wide(text);
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  RECT textRect{0, 0, 480, 0};
  if (HDC dc = GetDC(nullptr)) {
    const HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, wide.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
  }
  const int clientWidth = std::max<int>(200, textRect.right + 2 * kMessageMargin);
  const int clientHeight = textRect.bottom + 3 * kMessageMargin + kOkHeight;
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  const HWND owner = GetAncestor(t.windows.front()->Hwnd(), GA_ROOT);
  const HWND m = CreateWindowExW(WS_EX_DLGMODALFRAME, Classes().message.c_str(), L"plonkrift6", style, x, y,
                                 width, height, owner, nullptr, ThisModule(), &t);
  if (m == nullptr) {
    ReleaseClasses();
    return;
  }
  const HWND label = CreateWindowExW(
      0, L"STATIC", wide.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kMessageMargin,
      kMessageMargin, textRect.right, textRect.bottom, m, nullptr, ThisModule(), nullptr);
  const HWND ok = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                  (clientWidth - kOkWidth) / 2, clientHeight - kMessageMargin - kOkHeight,
                                  kOkWidth, kOkHeight, m, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)),
                                  ThisModule(), nullptr);
  for (HWND child : {label, ok})
    if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  t.messages.push_back(m);
  ShowWindow(m, SW_SHOWNORMAL);
  if (ok != nullptr) ::SetFocus(ok);
}

LRESULT CALLBACK MessageProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
  auto* thread = reinterpret_cast<TThreadState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) DestroyWindow(hwnd);
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_NCDESTROY:
      if (thread != nullptr) {
        std::lock_guard lock(thread->mutex);
        std::erase(thread->messages, hwnd);
      }
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      ReleaseClasses();
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, w, l);
}

}  // namespace

// ---------------------------------------------------------------------------

std::shared_ptr<TWindowBackend> MakeWin32Backend() {
  return std::make_shared<TWin32Backend>();
}

bool IsWin32Backend(const TWindowBackend& backend) {
  return dynamic_cast<const TWin32Backend*>(&backend) != nullptr;
}

std::shared_ptr<TWindowBackend> UseWin32BackendFor(TWindowHandle parent) {
  static std::mutex choosing;
  std::lock_guard lock(choosing);
  // A backend someone chose (a test, a tool, an earlier editor's) is kept.
  // Otherwise only a real window can hold the editor: a handle that is none
  // is refused, as the host would want to hear.
  auto current = WindowBackendPtr();
  if (WindowBackendChosen() || IsWin32Backend(*current)) return current;
  if (parent == 0 || !IsWindow(reinterpret_cast<HWND>(parent)))
    throw EWindowError("The host's window handle is no window");
  auto backend = MakeWin32Backend();
  SetWindowBackend(backend);
  return backend;
}

std::shared_ptr<TWindowBackend> UseDesktopBackendFor(TWindowHandle parent) {
  return UseWin32BackendFor(parent);
}

}  // namespace framework
