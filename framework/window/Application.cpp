#include "framework/window/Application.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/window/Backend.h"
#include "framework/window/Controls.h"
#include "framework/window/Shell.h"
#include "framework/window/Timer.h"
#include "framework/window/WindowInternal.h"

namespace framework {

namespace {

struct TTimerEntry {
  std::uint64_t serial;
  TTimer* timer;
  std::uint64_t due;
  std::uint32_t interval;
  std::thread::id thread;
};

struct TRootEntry {
  TWinControl* root;
  std::thread::id thread;
};

// Windows and timers belong to the thread that made them; the lists are
// shared, so they are guarded, but handlers always run outside the lock.
std::mutex gMutex;
std::vector<TTimerEntry> gTimers;
std::vector<TRootEntry> gRoots;
std::uint64_t gNextSerial = 1;
TExceptionHandler gExceptionHandler;
std::atomic<int> gCursorCount{0};

bool RootAlive(TWinControl* root) {
  std::lock_guard lock(gMutex);
  return std::any_of(gRoots.begin(), gRoots.end(), [&](const TRootEntry& e) { return e.root == root; });
}

}  // namespace

namespace detail {

void RegisterRoot(TWinControl* root) {
  std::lock_guard lock(gMutex);
  gRoots.push_back({root, std::this_thread::get_id()});
}

bool RootOfThisThread(const TWinControl* root) {
  const auto self = std::this_thread::get_id();
  std::lock_guard lock(gMutex);
  return std::any_of(gRoots.begin(), gRoots.end(),
                     [&](const TRootEntry& e) { return e.root == root && e.thread == self; });
}

void UnregisterRoot(TWinControl* root) {
  std::lock_guard lock(gMutex);
  std::erase_if(gRoots, [&](const TRootEntry& e) { return e.root == root; });
}

std::uint64_t StartTimer(TTimer* timer, std::uint32_t interval) {
  const auto backend = WindowBackendPtr();
  const std::uint64_t now = backend->NowMs();
  std::uint64_t serial = 0;
  {
    std::lock_guard lock(gMutex);
    serial = gNextSerial++;
    gTimers.push_back({serial, timer, now + interval, interval, std::this_thread::get_id()});
  }
  backend->WakeBy(now + interval);
  return serial;
}

void StopTimer(std::uint64_t serial) {
  std::lock_guard lock(gMutex);
  std::erase_if(gTimers, [&](const TTimerEntry& e) { return e.serial == serial; });
}

}  // namespace detail

void FireDueTimers(std::uint64_t now) {
  const auto self = std::this_thread::get_id();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> due;  // (due time, serial)
  {
    std::lock_guard lock(gMutex);
    for (const TTimerEntry& e : gTimers)
      if (e.thread == self && e.due <= now) due.emplace_back(e.due, e.serial);
  }
  std::sort(due.begin(), due.end());
  for (const auto& [when, serial] : due) {
    TTimer* timer = nullptr;
    {
      // A handler that ran before may have stopped or restarted this one.
      std::lock_guard lock(gMutex);
      // ...or a pump inside a handler already fired it.
      for (TTimerEntry& e : gTimers)
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

std::optional<std::uint64_t> NextTimerDue() {
  const auto self = std::this_thread::get_id();
  std::lock_guard lock(gMutex);
  std::optional<std::uint64_t> next;
  for (const TTimerEntry& e : gTimers)
    if (e.thread == self && (!next || e.due < *next)) next = e.due;
  return next;
}

void PumpEvents() {
  const auto backend = WindowBackendPtr();
  try {
    backend->PumpEvents();
  } catch (...) {
    HandleException();
  }
  FireDueTimers(backend->NowMs());
  std::vector<TWinControl*> roots;
  {
    const auto self = std::this_thread::get_id();
    std::lock_guard lock(gMutex);
    for (const TRootEntry& e : gRoots)
      if (e.thread == self) roots.push_back(e.root);
  }
  for (TWinControl* root : roots)
    if (RootAlive(root)) PaintWindowTree(*root);
  ReapChildren();
}

void SetExceptionHandler(TExceptionHandler handler) {
  std::lock_guard lock(gMutex);
  gExceptionHandler = std::move(handler);
}

void HandleException() {
  TExceptionHandler handler;
  {
    std::lock_guard lock(gMutex);
    handler = gExceptionHandler;
  }
  if (!handler) return;
  try {
    handler(std::current_exception());
  } catch (...) {
    // The handler's own failure has nowhere to go.
  }
}

TPoint TMouse::CursorPos() const {
  return WindowBackend().CursorPos();
}

void TMouse::SetCursorPos(TPoint position) const {
  WindowBackend().SetCursorPos(position);
}

int ShowCursor(bool show) {
  const int count = show ? ++gCursorCount : --gCursorCount;
  if (show && count == 0) WindowBackend().SetPointerVisible(true);
  if (!show && count == -1) WindowBackend().SetPointerVisible(false);
  return count;
}

TShiftState KeyboardState() {
  return WindowBackend().KeyboardState();
}

void ShowMessage(const std::string& text) {
  WindowBackend().ShowMessage(text);
}

bool ShellOpen(const std::string& url) {
  if (url.empty() || url.front() == '-') return false;
  WindowBackend().ShellOpen(url);
  return true;
}

}  // namespace framework
