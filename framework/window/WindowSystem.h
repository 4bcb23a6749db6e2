#pragma once

// A window system: the windows of one editor (or of one test, one tool),
// their framework timers, their input and their paints, over one platform
// (X11, Win32, or memory). Whoever makes windows holds one and hands it to
// the top-level control (TWinControl::SetWindowSystem): there is no window
// system of the process, so two editors in one process never share one by
// accident, and closing one leaves the other alone.
//
// Driving it: Update runs what is pending without ever blocking: the input
// the platform has, the timers whose time has come (each at most once per
// call), the paints the controls asked for, and the reaping of programs that
// ShellOpen started. Whoever runs the loop calls it: a VST 2 host's
// effEditIdle, an LV2 host's idle call, a run loop that waits until NextDue
// (in the system's clock, NowMs) or until FileDescriptor is readable (the X
// connection; -1 where there is none), or the platform's own message loop
// (the Win32 windows post themselves the calls, and a Win32 timer wakes them
// for the next due time).
//
// Threads: a window and a timer belong to the thread that made (or started)
// it, and Update delivers, fires and paints only the calling thread's. A
// window may be destroyed from any thread.
//
// Input: the platform queues each event with the pointer's screen place and
// the modifiers and buttons held after it. Queued moves of a window fold into
// the latest one, so a slow loop never falls behind the pointer. While an
// event is delivered, CursorPos and KeyboardState answer from it and
// SetCursorPos moves that answer too. A release of the last button ends any
// capture, whatever the handler did. Exceptions of handlers go to the
// exception handler (Application.h), never out of Update.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/window/Backend.h"

namespace framework {

class TTimer;

// An event a platform read, waiting for delivery.
struct TQueuedEvent {
  TBackendWindow* Window = nullptr;
  TWindowEvent Event;
  TPoint Screen;           // the pointer on the screen
  TShiftState State = 0;   // modifiers and buttons after the event
  std::uint64_t Mark = 0;  // the platform's own order (X11: the request serial)
};

class TWindowSystem : public std::enable_shared_from_this<TWindowSystem> {
 public:
  virtual ~TWindowSystem();
  TWindowSystem(const TWindowSystem&) = delete;
  TWindowSystem& operator=(const TWindowSystem&) = delete;

  // --- for whoever runs the loop

  // Runs what is due for the calling thread; never blocks.
  void Update();
  // When Update has something to do for the calling thread: now (NowMs) when
  // input or paints are waiting already, else the next timer's due time;
  // nothing when neither (input that is still to come shows on
  // FileDescriptor).
  std::optional<std::uint64_t> NextDue() const;
  // When the calling thread's next timer is due.
  std::optional<std::uint64_t> NextTimerDue() const;
  // A descriptor that is readable when input arrives, or -1.
  virtual int FileDescriptor() const { return -1; }
  // Monotonic milliseconds; timers are due against this clock.
  virtual std::uint64_t NowMs() const;

  // --- for the window layer

  // A window inside parent (0: a top-level window), hidden until Show.
  // Raises EWindowError when the window cannot be made.
  std::unique_ptr<TBackendWindow> CreateWindow(TWindowHandle parent, const TRect& bounds,
                                               IWindowEvents& events);
  // Schedules timer every interval ms on the calling thread; returns the
  // entry's serial number (never 0).
  std::uint64_t StartTimer(TTimer& timer, std::uint32_t interval);
  void StopTimer(std::uint64_t serial);

  // --- the pointer, the keyboard and the desktop

  // The pointer in screen coordinates.
  TPoint CursorPos() const;
  void SetCursorPos(TPoint position);
  // Hides (false) or shows (true) the pointer over the system's windows.
  // Calls nest: the pointer shows while the count is 0 or more. Returns the
  // new count.
  int ShowCursor(bool show);
  bool PointerHidden() const { return pointerHidden_.load(std::memory_order_relaxed); }
  // Modifier keys and mouse buttons held now.
  TShiftState KeyboardState() const;
  // Whether a button press is being delivered (a platform grants the focus
  // only then).
  bool DeliveringPress() const { return pressDispatch_; }
  // Opens an address with the desktop's opener without waiting. An empty
  // address, or one the opener would read as an option (leading '-'), is
  // refused: returns false.
  bool ShellOpen(const std::string& url);

 protected:
  TWindowSystem() = default;

  // --- the platform's part

  virtual std::unique_ptr<TBackendWindow> MakeWindow(TWindowHandle parent, const TRect& bounds,
                                                     IWindowEvents& events) = 0;
  // Queues what the platform has for the system's windows, without waiting.
  virtual void ReadEvents() {}
  // Whether input waits that ReadEvents takes without reading the descriptor
  // (what a platform library buffered during other calls).
  virtual bool InputWaiting() const { return false; }
  // Whether two queued moves of one window must stay apart.
  virtual bool KeepApart(const TQueuedEvent& older, const TQueuedEvent& newer) const {
    static_cast<void>(older);
    static_cast<void>(newer);
    return false;
  }
  // Just before delivery: the platform may correct the event, or drop it
  // (false).
  virtual bool Prepare(TQueuedEvent& event) {
    static_cast<void>(event);
    return true;
  }
  // The calling thread's next due time may have moved: a platform whose loop
  // others run arranges an Update by then.
  virtual void Rearm() {}
  virtual TPoint QueryCursorPos() const = 0;
  // Moves the pointer; returns where it went.
  virtual TPoint WarpPointer(TPoint position) = 0;
  virtual void ShowPointer(bool visible) = 0;
  virtual TShiftState QueryKeyboardState() const = 0;
  virtual void OpenUrl(const std::string& url) = 0;

  // Queues an event of one of the system's windows; from any thread.
  void Queue(const TQueuedEvent& event);
  // The system's window whose native handle is handle, or null.
  TBackendWindow* FindWindow(TWindowHandle handle) const;
  // The system's windows, oldest first.
  std::vector<TBackendWindow*> Windows() const;

 private:
  friend class TBackendWindow;
  struct TTimerEntry {
    std::uint64_t serial;
    TTimer* timer;
    std::uint64_t due;
    std::uint32_t interval;
    std::thread::id thread;
  };

  void Register(TBackendWindow& window);
  void Unregister(TBackendWindow& window);
  bool TakeEvent(TQueuedEvent& event);
  void Deliver(TQueuedEvent& event);
  void FireDueTimers(std::uint64_t now);
  void PaintWindows();
  std::vector<TBackendWindow*> WindowsOfThisThread() const;

  // Windows, events and timers are shared with the threads that destroy
  // windows, so they are guarded; handlers and platform calls always run
  // outside the lock.
  mutable std::mutex mutex_;
  std::vector<TBackendWindow*> windows_;
  std::deque<TQueuedEvent> queue_;
  std::vector<TTimerEntry> timers_;
  std::uint64_t nextSerial_ = 1;
  int cursorCount_ = 0;
  std::atomic<bool> pointerHidden_{false};
  // The event being delivered, on the thread delivering it.
  bool dispatching_ = false;
  bool pressDispatch_ = false;
  TPoint dispatchPos_;
  TShiftState dispatchState_ = 0;
};

// Milliseconds of a monotonic clock that starts at some fixed point (such as
// the system's start): the clock of the desktop window systems.
std::uint64_t MonotonicMs();

}  // namespace framework
