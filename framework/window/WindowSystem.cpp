#include "framework/window/WindowSystem.h"

#include <algorithm>
#include <chrono>

#include "framework/window/Application.h"
#include "framework/window/Shell.h"
#include "framework/window/Timer.h"

namespace framework {

std::uint64_t MonotonicMs() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

TWindowSystem::~TWindowSystem() = default;

std::uint64_t TWindowSystem::NowMs() const {
  return MonotonicMs();
}

// --- windows ------------------------------------------------------------------

std::unique_ptr<TBackendWindow> TWindowSystem::CreateWindow(TWindowHandle parent, const TRect& bounds,
                                                            IWindowEvents& events) {
  std::unique_ptr<TBackendWindow> window = MakeWindow(parent, bounds, events);
  Register(*window);
  // A window to wake for timers started before it.
  Rearm();
  return window;
}

void TWindowSystem::Register(TBackendWindow& window) {
  std::lock_guard lock(mutex_);
  windows_.push_back(&window);
}

void TWindowSystem::Unregister(TBackendWindow& window) {
  std::lock_guard lock(mutex_);
  std::erase(windows_, &window);
  std::erase_if(queue_, [&](const TQueuedEvent& e) { return e.Window == &window; });
}

TBackendWindow* TWindowSystem::FindWindow(TWindowHandle handle) const {
  std::lock_guard lock(mutex_);
  for (TBackendWindow* w : windows_)
    if (w->Handle() == handle) return w;
  return nullptr;
}

std::vector<TBackendWindow*> TWindowSystem::Windows() const {
  std::lock_guard lock(mutex_);
  return windows_;
}

std::vector<TBackendWindow*> TWindowSystem::WindowsOfThisThread() const {
  const auto self = std::this_thread::get_id();
  std::vector<TBackendWindow*> mine;
  std::lock_guard lock(mutex_);
  for (TBackendWindow* w : windows_)
    if (w->Thread() == self) mine.push_back(w);
  return mine;
}

// --- input ----------------------------------------------------------------------

void TWindowSystem::Queue(const TQueuedEvent& event) {
  using K = TWindowEvent::TKind;
  std::lock_guard lock(mutex_);
  if (std::find(windows_.begin(), windows_.end(), event.Window) == windows_.end()) return;
  // The latest place is all a slow loop needs of the pointer's way.
  if (event.Event.Kind == K::MouseMove && !queue_.empty()) {
    TQueuedEvent& last = queue_.back();
    if (last.Window == event.Window && last.Event.Kind == K::MouseMove && !KeepApart(last, event)) {
      last = event;
      return;
    }
  }
  queue_.push_back(event);
}

bool TWindowSystem::TakeEvent(TQueuedEvent& event) {
  const auto self = std::this_thread::get_id();
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(queue_.begin(), queue_.end(),
                               [&](const TQueuedEvent& e) { return e.Window->Thread() == self; });
  if (it == queue_.end()) return false;
  event = *it;
  queue_.erase(it);
  return true;
}

void TWindowSystem::Deliver(TQueuedEvent& p) {
  if (!Prepare(p)) return;
  dispatching_ = true;
  dispatchPos_ = p.Screen;
  dispatchState_ = p.State;
  pressDispatch_ = p.Event.Kind == TWindowEvent::TKind::MouseDown;
  try {
    p.Window->Events().HandleWindowEvent(p.Event);
  } catch (...) {
    HandleException();
  }
  dispatching_ = false;
  pressDispatch_ = false;
  // The last button is up: no capture outlives it, whatever the handler did
  // (unless the handler destroyed the window).
  if (p.Event.Kind == TWindowEvent::TKind::MouseUp && (p.State & ssButtons) == 0) {
    const std::vector<TBackendWindow*> mine = WindowsOfThisThread();
    if (std::find(mine.begin(), mine.end(), p.Window) != mine.end()) p.Window->SetMouseCapture(false);
  }
}

// --- timers ---------------------------------------------------------------------

std::uint64_t TWindowSystem::StartTimer(TTimer& timer, std::uint32_t interval) {
  const std::uint64_t now = NowMs();
  std::uint64_t serial = 0;
  {
    std::lock_guard lock(mutex_);
    serial = nextSerial_++;
    timers_.push_back({serial, &timer, now + interval, interval, std::this_thread::get_id()});
  }
  Rearm();
  return serial;
}

void TWindowSystem::StopTimer(std::uint64_t serial) {
  std::lock_guard lock(mutex_);
  std::erase_if(timers_, [&](const TTimerEntry& e) { return e.serial == serial; });
}

std::optional<std::uint64_t> TWindowSystem::NextTimerDue() const {
  const auto self = std::this_thread::get_id();
  std::lock_guard lock(mutex_);
  std::optional<std::uint64_t> next;
  for (const TTimerEntry& e : timers_)
    if (e.thread == self && (!next || e.due < *next)) next = e.due;
  return next;
}

void TWindowSystem::FireDueTimers(std::uint64_t now) {
  const auto self = std::this_thread::get_id();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> due;  // (due time, serial)
  {
    std::lock_guard lock(mutex_);
    for (const TTimerEntry& e : timers_)
      if (e.thread == self && e.due <= now) due.emplace_back(e.due, e.serial);
  }
  std::sort(due.begin(), due.end());
  for (const auto& [when, serial] : due) {
    TTimer* timer = nullptr;
    {
      // A handler that ran before may have stopped or restarted this one, or
      // an Update inside a handler fired it already.
      std::lock_guard lock(mutex_);
      for (TTimerEntry& e : timers_)
        if (e.serial == serial && e.due <= now) {
          e.due = now + e.interval;
          timer = e.timer;
        }
    }
    if (!timer) continue;
    try {
      timer->Timer();
    } catch (...) {
      HandleException();
    }
  }
}

// --- the loop -------------------------------------------------------------------

void TWindowSystem::PaintWindows() {
  for (TBackendWindow* w : WindowsOfThisThread()) {
    IWindowEvents* events = nullptr;
    {
      // A paint before may have destroyed it.
      std::lock_guard lock(mutex_);
      if (std::find(windows_.begin(), windows_.end(), w) != windows_.end()) events = &w->Events();
    }
    if (!events) continue;
    try {
      events->UpdateWindow();
    } catch (...) {
      HandleException();
    }
  }
}

void TWindowSystem::Update() {
  // A handler may let go of the system's last other owner.
  const std::shared_ptr<TWindowSystem> keep = weak_from_this().lock();
  try {
    ReadEvents();
  } catch (...) {
    HandleException();
  }
  // Also what the handlers queue themselves (a focus change) is delivered now.
  for (TQueuedEvent event; TakeEvent(event);) Deliver(event);
  FireDueTimers(NowMs());
  PaintWindows();
  ReapChildren();
  Rearm();
}

std::optional<std::uint64_t> TWindowSystem::NextDue() const {
  bool now = InputWaiting();
  if (!now) {
    const auto self = std::this_thread::get_id();
    std::lock_guard lock(mutex_);
    now = std::any_of(queue_.begin(), queue_.end(),
                      [&](const TQueuedEvent& e) { return e.Window->Thread() == self; });
  }
  if (!now)
    for (TBackendWindow* w : WindowsOfThisThread()) now = now || w->Events().PaintsPending();
  if (now) return NowMs();
  return NextTimerDue();
}

// --- the pointer, the keyboard and the desktop ------------------------------------

TPoint TWindowSystem::CursorPos() const {
  return dispatching_ ? dispatchPos_ : QueryCursorPos();
}

void TWindowSystem::SetCursorPos(TPoint position) {
  const TPoint at = WarpPointer(position);
  if (dispatching_) dispatchPos_ = at;
}

int TWindowSystem::ShowCursor(bool show) {
  int count = 0;
  {
    std::lock_guard lock(mutex_);
    count = show ? ++cursorCount_ : --cursorCount_;
  }
  const bool visible = count >= 0;
  if ((show && count == 0) || (!show && count == -1)) {
    pointerHidden_.store(!visible, std::memory_order_relaxed);
    ShowPointer(visible);
  }
  return count;
}

TShiftState TWindowSystem::KeyboardState() const {
  return dispatching_ ? dispatchState_ : QueryKeyboardState();
}

bool TWindowSystem::ShellOpen(const std::string& url) {
  if (url.empty() || url.front() == '-') return false;
  OpenUrl(url);
  return true;
}

}  // namespace framework
