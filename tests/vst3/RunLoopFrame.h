#pragma once

// A Linux VST3 host's side of an editor view, as small as a test needs: the
// frame around the view (IPlugFrame) that also offers the host's run loop
// (IRunLoop), and a component handler that records the edits it hears.
//
// The run loop is the one a host runs on its user-interface thread: it
// waits with poll() on the descriptors handlers registered until the next
// timer is due, then calls the handlers of readable descriptors and the
// timers whose time has come. The view gets no other calls: no idle.

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

#include "vst3/api/Vst3.h"

namespace vst3test {

// Reference counting for objects the test owns: counted, never deleted, so a
// test can tell whether the plug-in balanced what it took.
class Counted {
 public:
  int References() const { return references_.load(); }

 protected:
  vst3::uint32 Add() { return static_cast<vst3::uint32>(++references_); }
  vst3::uint32 Drop() { return static_cast<vst3::uint32>(--references_); }

 private:
  std::atomic<int> references_{1};
};

class RunLoopFrame final : public vst3::IPlugFrame, public vst3::Linux::IRunLoop, public Counted {
 public:
  using Clock = std::chrono::steady_clock;

  vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override {
    if (object == nullptr) return vst3::kInvalidArgument;
    *object = nullptr;
    if (vst3::sameTuid(iid, vst3::FUnknown::iid) || vst3::sameTuid(iid, vst3::IPlugFrame::iid))
      *object = static_cast<vst3::IPlugFrame*>(this);
    else if (vst3::sameTuid(iid, vst3::Linux::IRunLoop::iid))
      *object = static_cast<vst3::Linux::IRunLoop*>(this);
    if (*object == nullptr) return vst3::kNoInterface;
    Add();
    return vst3::kResultOk;
  }
  vst3::uint32 VST3_CALL addRef() override { return Add(); }
  vst3::uint32 VST3_CALL release() override { return Drop(); }

  vst3::tresult VST3_CALL resizeView(vst3::IPlugView*, vst3::ViewRect* size) override {
    if (size == nullptr) return vst3::kInvalidArgument;
    resizes.push_back(*size);
    return vst3::kResultOk;
  }

  // Registrations hold a reference to their handler until they end, as a
  // careful host does; a second registration of one handler, or ending one
  // that is not there, is the plug-in's mistake and counted.
  vst3::tresult VST3_CALL registerEventHandler(vst3::Linux::IEventHandler* handler,
                                               vst3::Linux::FileDescriptor fd) override {
    if (handler == nullptr || fd < 0) return Mistake();
    for (const Watch& w : watches_)
      if (w.handler == handler) return Mistake();
    handler->addRef();
    watches_.push_back({handler, fd});
    return vst3::kResultOk;
  }
  vst3::tresult VST3_CALL unregisterEventHandler(vst3::Linux::IEventHandler* handler) override {
    const auto found =
        std::find_if(watches_.begin(), watches_.end(), [&](const Watch& w) { return w.handler == handler; });
    if (found == watches_.end()) return Mistake();
    watches_.erase(found);
    handler->release();
    return vst3::kResultOk;
  }
  vst3::tresult VST3_CALL registerTimer(vst3::Linux::ITimerHandler* handler,
                                        vst3::Linux::TimerInterval milliseconds) override {
    if (handler == nullptr || milliseconds == 0) return Mistake();
    for (const Timer& t : timers_)
      if (t.handler == handler) return Mistake();
    handler->addRef();
    const auto interval = std::chrono::milliseconds(milliseconds);
    timers_.push_back({handler, interval, Clock::now() + interval});
    return vst3::kResultOk;
  }
  vst3::tresult VST3_CALL unregisterTimer(vst3::Linux::ITimerHandler* handler) override {
    const auto found =
        std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.handler == handler; });
    if (found == timers_.end()) return Mistake();
    timers_.erase(found);
    handler->release();
    return vst3::kResultOk;
  }

  // One turn of the loop: waits at most until the next timer is due (no
  // longer than maxWait), then runs what is ready.
  void Turn(std::chrono::milliseconds maxWait) {
    auto until = Clock::now() + maxWait;
    for (const Timer& t : timers_) until = std::min(until, t.due);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    std::vector<pollfd> fds;
    for (const Watch& w : watches_) fds.push_back({w.fd, POLLIN, 0});
    const int timeout = static_cast<int>(std::max<long long>(0, wait));
    if (fds.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
    } else if (poll(fds.data(), fds.size(), timeout) > 0) {
      // A handler may end registrations (its own too) while the loop runs.
      const std::vector<Watch> watched = watches_;
      for (std::size_t i = 0; i < fds.size(); ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0 || !Registered(watched[i].handler)) continue;
        ++fdCalls;
        watched[i].handler->onFDIsSet(watched[i].fd);
      }
    }
    const auto now = Clock::now();
    const std::vector<Timer> timers = timers_;
    for (const Timer& t : timers) {
      if (t.due > now) continue;
      for (Timer& live : timers_)
        if (live.handler == t.handler) live.due = now + live.interval;
      if (!Registered(t.handler)) continue;
      ++timerCalls;
      t.handler->onTimer();
    }
  }

  // Runs the loop until done() holds (true) or the limit has passed (false);
  // before each turn, before() (the test's own requests reaching the server).
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(2),
                const std::function<void()>& before = {}) {
    const auto end = Clock::now() + limit;
    for (;;) {
      if (before) before();
      if (done()) return true;
      if (Clock::now() >= end) return false;
      Turn(std::chrono::milliseconds(10));
    }
  }
  void RunFor(std::chrono::milliseconds time, const std::function<void()>& before = {}) {
    const auto end = Clock::now() + time;
    RunUntil([&] { return Clock::now() >= end; }, time + std::chrono::seconds(1), before);
  }

  std::size_t Timers() const { return timers_.size(); }
  std::size_t Handlers() const { return watches_.size(); }
  // The descriptors and timer intervals registered now.
  std::vector<vst3::Linux::FileDescriptor> Descriptors() const {
    std::vector<vst3::Linux::FileDescriptor> out;
    for (const Watch& w : watches_) out.push_back(w.fd);
    return out;
  }
  std::vector<std::chrono::milliseconds> Intervals() const {
    std::vector<std::chrono::milliseconds> out;
    for (const Timer& t : timers_) out.push_back(t.interval);
    return out;
  }

  std::vector<vst3::ViewRect> resizes;
  int timerCalls = 0, fdCalls = 0, mistakes = 0;

 private:
  struct Watch {
    vst3::Linux::IEventHandler* handler;
    vst3::Linux::FileDescriptor fd;
  };
  struct Timer {
    vst3::Linux::ITimerHandler* handler;
    std::chrono::milliseconds interval;
    Clock::time_point due;
  };

  vst3::tresult Mistake() {
    ++mistakes;
    return vst3::kInvalidArgument;
  }
  bool Registered(const vst3::Linux::IEventHandler* handler) const {
    return std::any_of(watches_.begin(), watches_.end(),
                       [&](const Watch& w) { return w.handler == handler; });
  }
  bool Registered(const vst3::Linux::ITimerHandler* handler) const {
    return std::any_of(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.handler == handler; });
  }

  std::vector<Watch> watches_;
  std::vector<Timer> timers_;
};

// The host's component handler: the edits it hears, in order.
class RecordingHandler final : public vst3::IComponentHandler, public Counted {
 public:
  struct Edit {
    char kind;  // 'b' begin, 'p' perform, 'e' end
    vst3::ParamID id;
    double value;
    bool operator==(const Edit&) const = default;
  };

  vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override {
    if (object == nullptr) return vst3::kInvalidArgument;
    *object = nullptr;
    if (!vst3::sameTuid(iid, vst3::FUnknown::iid) && !vst3::sameTuid(iid, vst3::IComponentHandler::iid))
      return vst3::kNoInterface;
    *object = static_cast<vst3::IComponentHandler*>(this);
    Add();
    return vst3::kResultOk;
  }
  vst3::uint32 VST3_CALL addRef() override { return Add(); }
  vst3::uint32 VST3_CALL release() override { return Drop(); }

  vst3::tresult VST3_CALL beginEdit(vst3::ParamID id) override {
    edits.push_back({'b', id, 0.0});
    return vst3::kResultOk;
  }
  vst3::tresult VST3_CALL performEdit(vst3::ParamID id, vst3::ParamValue value) override {
    edits.push_back({'p', id, value});
    return vst3::kResultOk;
  }
  vst3::tresult VST3_CALL endEdit(vst3::ParamID id) override {
    edits.push_back({'e', id, 0.0});
    return vst3::kResultOk;
  }
  vst3::tresult VST3_CALL restartComponent(vst3::int32 flags) override {
    restarts.push_back(flags);
    return vst3::kResultOk;
  }

  std::vector<Edit> edits;
  std::vector<vst3::int32> restarts;
};

// "begin 3", "perform 3 = 1", "end 3" in a test's messages.
inline std::ostream& operator<<(std::ostream& out, const RecordingHandler::Edit& edit) {
  if (edit.kind == 'p') return out << "perform " << edit.id << " = " << edit.value;
  return out << (edit.kind == 'b' ? "begin " : edit.kind == 'e' ? "end " : "? ") << edit.id;
}

}  // namespace vst3test
