// Cases about the host's side of the life of an instance: the entry, threads
// and what the audio thread may not do, the editor in a real X11 parent, and
// the lifecycle calls hosts get wrong.

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "tests/validator/Cases.h"
#include "tests/validator/Interpose.h"

#include <X11/Xlib.h>

namespace validator {

namespace {

using Clock = std::chrono::steady_clock;

// The audio thread of a host: blocks of random size with a playing transport,
// through both process functions, with MIDI and automation in between; every
// call into the plug-in is marked as an audio call.
class AudioThread {
 public:
  AudioThread(Host& host, double rate, bool mainsChanges = false)
      : host_(host), rate_(rate), mainsChanges_(mainsChanges), thread_([this] { run(); }) {}
  ~AudioThread() { stop(); }
  void stop() {
    running_.store(false);
    if (thread_.joinable()) thread_.join();
  }
  std::uint64_t blocks() const { return blocks_.load(); }
  OutputScan scan;

 private:
  void run() {
    Transport transport(rate_, 120.0);
    Noise noise(1234);
    Stereo in(1024), out(1024);
    // A MIDI list with notes, controllers and pitch bends; built before the
    // loop, as a host builds its lists outside the audio call.
    VstMidiEvent midi[6]{};
    const unsigned char bytes[6][3] = {{0x90, 60, 100}, {0x80, 60, 0},  {0xB0, 7, 90},
                                       {0xE0, 0, 64},   {0xB3, 1, 127}, {0x99, 36, 0}};
    for (int i = 0; i < 6; ++i) {
      midi[i].type = kVstMidiType;
      midi[i].byteSize = sizeof(VstMidiEvent);
      for (int j = 0; j < 3; ++j) midi[i].midiData[j] = static_cast<char>(bytes[i][j]);
    }
    struct {
      VstInt32 numEvents;
      VstIntPtr reserved;
      VstEvent* events[6];
    } list{6, 0, {}};
    for (int i = 0; i < 6; ++i) list.events[i] = reinterpret_cast<VstEvent*>(&midi[i]);

    std::size_t total = 0;
    while (running_.load(std::memory_order_relaxed)) {
      const int frames = noise.range(1, 1024);
      for (int i = 0; i < frames; ++i) in.left[i] = in.right[i] = noise.sample() * 0.5f;
      float* inputs[2] = {in.left.data(), in.right.data()};
      float* outputs[2] = {out.left.data(), out.right.data()};
      host_.time.store(transport.current());
      if (mainsChanges_ && noise.range(0, 3) == 0) host_.dispatch(effMainsChanged, 0, noise.range(0, 1));
      {
        AudioCallScope audio;
        host_.dispatch(effProcessEvents, 0, 0, &list);
      }
      {
        AudioCallScope audio;
        host_.setParameter(noise.range(0, 69), noise.sample() * 0.5f + 0.5f);
      }
      if (blocks_ % 2 == 0) {
        AudioCallScope audio;
        host_.effect()->processReplacing(host_.effect(), inputs, outputs, frames);
      } else {
        std::fill(out.left.begin(), out.left.begin() + frames, 0.0f);
        std::fill(out.right.begin(), out.right.begin() + frames, 0.0f);
        AudioCallScope audio;
        host_.effect()->process(host_.effect(), inputs, outputs, frames);
      }
      scan.scan(out.left.data(), static_cast<std::size_t>(frames), total);
      scan.scan(out.right.data(), static_cast<std::size_t>(frames), total);
      total += static_cast<std::size_t>(frames);
      transport.advance(frames);
      blocks_.fetch_add(1);
      // A real audio thread waits for the next period; a short pause keeps
      // this one from starving the other threads on two cores.
      if (blocks_ % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    host_.time.store(nullptr);
  }

  Host& host_;
  double rate_;
  bool mainsChanges_;
  std::atomic<bool> running_{true};
  std::atomic<std::uint64_t> blocks_{0};
  std::thread thread_;
};

// A user or an automation lane: a parameter every millisecond and a program
// every tenth one.
class ControlThread {
 public:
  explicit ControlThread(Host& host, bool rateChanges = false)
      : host_(host), rateChanges_(rateChanges), thread_([this] { run(); }) {}
  ~ControlThread() { stop(); }
  void stop() {
    running_.store(false);
    if (thread_.joinable()) thread_.join();
  }
  std::uint64_t changes() const { return changes_.load(); }

 private:
  void run() {
    Noise noise(77);
    while (running_.load()) {
      host_.setParameter(noise.range(0, 69), noise.sample() * 0.6f + 0.5f);  // also outside 0..1
      if (changes_ % 10 == 0) host_.dispatch(effSetProgram, 0, noise.range(0, 7));
      if (rateChanges_ && changes_ % 5 == 0) {
        const float rates[] = {8000.0f, 44100.0f, 96000.0f, 384000.0f};
        host_.dispatch(effSetSampleRate, 0, 0, nullptr, rates[noise.range(0, 3)]);
        host_.dispatch(effSetBlockSize, 0, noise.range(1, 8192));
      }
      changes_.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  Host& host_;
  bool rateChanges_;
  std::atomic<bool> running_{true};
  std::atomic<std::uint64_t> changes_{0};
  std::thread thread_;
};

std::string countsText(const AudioCallCounts& counts) {
  return std::to_string(counts.allocations) + " allocations, " + std::to_string(counts.frees) + " frees, " +
         std::to_string(counts.locks) + " locks";
}

AudioCallCounts difference(const AudioCallCounts& after, const AudioCallCounts& before) {
  return {after.allocations - before.allocations, after.frees - before.frees, after.locks - before.locks};
}

// Bytes still held after `rounds` rounds of `round`, beyond what the first
// rounds left behind (libraries cache on first use).
template <typename Round>
std::int64_t growthOver(int rounds, Round round) {
  std::int64_t settled = 0;
  for (int i = 0; i < rounds; ++i) {
    round(i);
    if (i == 2) settled = liveBytes();
  }
  return liveBytes() - settled;
}

// The leak allowance over the later rounds: a leaked instance (2.3 MB), a
// leaked window or picture is far above it.
constexpr std::int64_t kLeakAllowance = 16 * 1024;

// What the summary may claim about leaks: measured here, or left to the
// sanitizer's leak check at exit.
std::string leakClaim() {
  return interposerActive() ? "no heap growth" : "leaks left to LeakSanitizer";
}

std::string leakText(std::int64_t growth, int rounds) {
  return "heap grew by " + std::to_string(growth) + " bytes over rounds 4 to " + std::to_string(rounds);
}

// ---------------------------------------------------------------------------

VstIntPtr refusingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 0 : 1;
}

std::atomic<int> refusedCalls{0};
VstIntPtr countingRefusingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
  refusedCalls.fetch_add(1);
  return refusingHost(effect, opcode, index, value, ptr, opt);
}

CaseResult entry() {
  std::string why;
  if (loadEntry(&why) == nullptr) return fail(why);
  std::string report;
  for (const char* symbol : {"VSTPluginMain", "main"}) {
    auto function = reinterpret_cast<Entry>(dlsym(libraryHandle(), symbol));
    if (function == nullptr) {
      report += std::string(" no ") + symbol + ";";
      continue;
    }
    refusedCalls.store(0);
    if (function(&countingRefusingHost) != nullptr)
      report += std::string(" ") + symbol + " created an instance for a host of version 0;";
    if (refusedCalls.load() != 1)
      report += std::string(" ") + symbol + " called a host of version 0 " +
                std::to_string(refusedCalls.load()) + " times;";
  }
  Host host;
  if (!host.create(&why)) return fail(why);
  const AEffect* e = host.effect();
  if (e->numInputs != 2 || e->numOutputs != 2) report += " not 2 in, 2 out;";
  if ((e->flags & effFlagsCanReplacing) == 0 || e->processReplacing == nullptr)
    report += " no processReplacing;";
  if (e->process == nullptr || e->setParameter == nullptr || e->getParameter == nullptr)
    report += " a record function is null;";
  if (e->numParams <= 0 || e->numPrograms <= 0) report += " no parameters or programs;";
  for (std::size_t i = 0; i < sizeof e->future; ++i)
    if (e->future[i] != 0) {
      report += " the record's reserved tail is not zero;";
      break;
    }
  if (host.close() != 1) report += " effClose did not answer 1;";
  if (!report.empty()) return fail(report.substr(1));
  return pass(
      "both entries answer a host of version 0 with null after one request; the record is sane; effClose "
      "answers 1");
}

// ---------------------------------------------------------------------------

// Proves the counters see the plug-in at all: its instance is created while
// marked, so its allocation must be counted.
std::string interposerSelfTest() {
  const AudioCallCounts before = audioCallCounts();
  Host host;
  std::string why;
  {
    AudioCallScope marked;
    if (!host.create(&why)) return why;
  }
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  {
    AudioCallScope marked;
    pthread_mutex_lock(&mutex);
    pthread_mutex_unlock(&mutex);
  }
  const AudioCallCounts seen = difference(audioCallCounts(), before);
  if (seen.allocations == 0) return "the interposed allocator did not see the plug-in create its instance";
  if (seen.locks == 0) return "the interposed pthread_mutex_lock counted nothing";
  return "";
}

CaseResult allocationsAndLocks() {
  // Under the sanitizers the allocator is theirs: the threads still run (for
  // ThreadSanitizer to watch), only the counting is left out.
  const bool counting = interposerActive();
  if (counting) {
    const std::string selfTest = interposerSelfTest();
    if (!selfTest.empty()) return fail(selfTest);
  }
  Host host;
  std::string why;
  if (!openInstance(host, why, 48000.0f, 1024)) return fail(why);
  const AudioCallCounts before = audioCallCounts();
  std::uint64_t blocks = 0, changes = 0;
  OutputScan scan;
  {
    ControlThread control(host);
    AudioThread audio(host, 48000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    audio.stop();
    control.stop();
    blocks = audio.blocks();
    changes = control.changes();
    scan = audio.scan;
  }
  const AudioCallCounts seen = difference(audioCallCounts(), before);
  const std::string what = std::to_string(blocks) + " blocks with MIDI and automation against " +
                           std::to_string(changes) + " parameter and program changes from another thread";
  if (counting && (seen.allocations != 0 || seen.frees != 0 || seen.locks != 0))
    return fail(what + ": " + countsText(seen));
  if (blocks < 100 || changes < 100) return fail(what + ": too little ran to judge");
  if (!scan.clean()) return fail(what + ": output " + scan.describe());
  if (!counting)
    return pass(what + ": finite output (allocations and locks are counted only without sanitizers)");
  return pass(
      what +
      ": 0 allocations, 0 frees, 0 locks inside processReplacing, process, processEvents and setParameter");
}

// ---------------------------------------------------------------------------

struct X11Parent {
  ::Display* display = nullptr;
  Window window = 0;
  bool open(std::string& why) {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
      why = "cannot open the X display";
      return false;
    }
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 600, 0, 0, 0);
    XStoreName(display, window, "validator host window");
    XMapWindow(display, window);
    XSync(display, False);
    return true;
  }
  ~X11Parent() {
    if (display != nullptr) {
      XDestroyWindow(display, window);
      XCloseDisplay(display);
    }
  }
  int children() {
    XSync(display, False);
    Window root = 0, parent = 0, *list = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &list, &count) == 0) return -1;
    if (list != nullptr) XFree(list);
    return static_cast<int>(count);
  }
  // Children once the plug-in's own connection has had time to reach the
  // server (it may flush on its next request only).
  int childrenSettled(int want, int tries = 25) {
    int count = children();
    for (int i = 0; i < tries && count != want; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      count = children();
    }
    return count;
  }
  void drain() {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
    }
  }
  void* handle() const { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)); }
};

CaseResult editorCycles() {
  X11Parent parent;
  std::string why;
  if (!parent.open(why)) return fail(why);
  Host host;
  if (!openInstance(host, why, 44100.0f, 1024)) return fail(why);
  // Under the sanitizers each open costs ten times as much: fewer cycles
  // there, still enough to catch what they look for.
  const int cycles = interposerActive() ? 200 : 40;
  int opened = 0, refused = 0, noChild = 0, childLeft = 0, badRect = 0;
  std::int64_t settled = 0;
  const AudioCallCounts before = audioCallCounts();
  std::uint64_t blocks = 0;
  OutputScan scan;
  {
    AudioThread audio(host, 44100.0);
    for (int cycle = 0; cycle < cycles; ++cycle) {
      ERect* rect = nullptr;
      host.dispatch(effEditGetRect, 0, 0, &rect);
      if (rect == nullptr || rect->right - rect->left <= 0 || rect->bottom - rect->top <= 0) ++badRect;
      const VstIntPtr answer = host.dispatch(effEditOpen, 0, 0, parent.handle());
      if (answer != 0) {
        ++opened;
        // Once it is clear no window comes, stop waiting for one.
        if (parent.childrenSettled(1, noChild > 3 ? 0 : 25) < 1) ++noChild;
      } else {
        ++refused;
      }
      for (int idle = 0; idle < 5; ++idle) {
        host.dispatch(effEditIdle);
        parent.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      host.dispatch(effEditClose);
      if (answer != 0 && parent.childrenSettled(0) != 0) ++childLeft;
      if (cycle == 9) settled = liveBytes();
    }
    audio.stop();
    blocks = audio.blocks();
    scan = audio.scan;
  }
  const std::int64_t growth = liveBytes() - settled;
  const AudioCallCounts seen = difference(audioCallCounts(), before);
  std::string report;
  if (opened != 0 && refused != 0)
    report += " effEditOpen answered 1 " + std::to_string(opened) + " times and 0 " +
              std::to_string(refused) + " times;";
  if (noChild != 0)
    report += " effEditOpen answered 1 but put no child window into the X11 parent " +
              std::to_string(noChild) + " times (an editor the host cannot see);";
  if (childLeft != 0)
    report += " " + std::to_string(childLeft) + " closes left the child window in the parent;";
  if (badRect != 0) report += " effEditGetRect gave no size " + std::to_string(badRect) + " times;";
  if (seen.allocations != 0 || seen.locks != 0)
    report += " audio calls during the cycles: " + countsText(seen) + ";";
  if (!scan.clean()) report += " audio output " + scan.describe() + ";";
  if (interposerActive() && growth > kLeakAllowance)
    report += " heap grew by " + std::to_string(growth) + " bytes over cycles 11 to 200;";
  // A library that announces an editor must open it.
  const bool announced = (host.effect()->flags & effFlagsHasEditor) != 0;
  if (announced && opened == 0)
    report += " effEditOpen answered 0 all " + std::to_string(cycles) +
              " times, yet the library announces an editor;";
  if (!report.empty()) return fail(report.substr(1));
  const std::string audio = " while " + std::to_string(blocks) + " audio blocks ran on another thread";
  if (opened == 0)
    return pass("effEditOpen answered 0 all " + std::to_string(cycles) +
                " times without crashing (no editor announced)" + audio);
  return pass(std::to_string(cycles) + " open, idle, close cycles in a real X11 parent" + audio +
              ": a child window each time and none left after close, " +
              (interposerActive() ? "no audio-thread allocation, " : "") + leakClaim());
}

// effClose with the editor still open, as a host that tears down a track does.
CaseResult closeWithEditorOpen() {
  X11Parent parent;
  std::string why;
  if (!parent.open(why)) return fail(why);
  const int rounds = 20;
  int opened = 0, shown = 0, childLeft = 0;
  bool failed = false, announced = false;
  const std::int64_t growth = growthOver(rounds, [&](int) {
    Host host;
    if (!openInstance(host, why)) {
      failed = true;
      return;
    }
    Transport transport(44100.0, 120.0);
    host.time.store(transport.current());
    announced = (host.effect()->flags & effFlagsHasEditor) != 0;
    const bool open = host.dispatch(effEditOpen, 0, 0, parent.handle()) != 0;
    opened += open ? 1 : 0;
    if (open && parent.childrenSettled(1, shown == 0 && opened > 3 ? 0 : 25) > 0) ++shown;
    for (int i = 0; i < 3; ++i) host.dispatch(effEditIdle);
    host.close();
    if (open && parent.childrenSettled(0) != 0) ++childLeft;
  });
  if (failed) return fail(why);
  std::string report;
  if (childLeft != 0)
    report +=
        " the editor's window stayed in the parent after effClose " + std::to_string(childLeft) + " times;";
  // Closing with the editor open proves nothing unless it was open.
  if (announced && (opened != rounds || shown == 0))
    report += " the announced editor opened " + std::to_string(opened) + " of " + std::to_string(rounds) +
              " times and showed a window " + std::to_string(shown) + " times;";
  if (interposerActive() && growth > kLeakAllowance) report += " " + leakText(growth, rounds) + ";";
  if (!report.empty()) return fail(report.substr(1));
  return pass(std::to_string(rounds) + " effClose calls with the editor open (" + std::to_string(opened) +
              " opens answered 1, " + std::to_string(shown) + " showed a window in the parent): no crash, " +
              (shown != 0 ? "window gone, " : "") + leakClaim());
}

// ---------------------------------------------------------------------------

CaseResult rateAndBlockChanges() {
  std::string report;
  // Before effOpen.
  {
    Host host;
    std::string why;
    if (!host.create(&why)) return fail(why);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    host.dispatch(effSetBlockSize, 0, 32);
    host.dispatch(effSetBlockSizeAndSampleRate, 0, 64, nullptr, 8000.0f);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);  // nonsense a host may send
    host.dispatch(effSetBlockSize, 0, 0);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    host.dispatch(effSetBlockSize, 0, 128);
    host.dispatch(effOpen);
    host.dispatch(effMainsChanged, 0, 1);
    Stereo in(96000);
    Noise noise(8);
    for (std::size_t i = 0; i < in.size(); ++i) in.left[i] = in.right[i] = noise.sample();
    const Stereo out = renderThrough(host, in, {128}, 96000.0);
    OutputScan scan;
    scan.scan(out.left.data(), out.size(), 0);
    scan.scan(out.right.data(), out.size(), 0);
    if (!scan.clean()) report += " set before effOpen: " + scan.describe() + ";";
  }
  // While resumed, between blocks: a fixed sequence of rate switches among
  // parameter changes, the same every run.
  for (int seed = 1; seed <= 31 && report.empty(); seed += 2) {
    Host host;
    std::string why;
    if (!openInstance(host, why, 44100.0f, 256)) return fail(why);
    Transport transport(44100.0, 120.0);
    host.time.store(transport.current());
    Noise noise(static_cast<std::uint64_t>(seed));
    Stereo in(1024), out(1024);
    const float rates[] = {8000.0f, 44100.0f, 96000.0f, 384000.0f};
    float rate = 44100.0f;
    for (int b = 0; b < 3000; ++b) {
      const int index = noise.range(0, 69);
      const float value = noise.sample() * 0.5f + 0.5f;
      host.setParameter(index, value);
      if (noise.range(0, 7) == 0) {
        rate = rates[noise.range(0, 3)];
        host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
      }
      int frames = noise.range(1, 1024);
      for (int i = 0; i < frames; ++i) in.left[i] = in.right[i] = noise.sample() * 0.5f;
      float* inputs[2] = {in.left.data(), in.right.data()};
      float* outputs[2] = {out.left.data(), out.right.data()};
      host.effect()->processReplacing(host.effect(), inputs, outputs, frames);
      OutputScan scan;
      scan.scan(out.left.data(), static_cast<std::size_t>(frames), 0);
      scan.scan(out.right.data(), static_cast<std::size_t>(frames), 0);
      if (!scan.clean()) {
        report += " rate switches between blocks (sequence " + std::to_string(seed) +
                  "): " + scan.describe() + " in block " + std::to_string(b) + " at " + number(rate, 0) +
                  " Hz after slot " + std::to_string(index) + " was set to " + number(value, 6);
        // Does it recover once the host settles?
        host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        host.dispatch(effSetProgram, 0, 0);
        OutputScan later;
        for (int k = 0; k < 200; ++k) {
          transport.advance(frames);
          host.effect()->processReplacing(host.effect(), inputs, outputs, 256);
          later.scan(out.left.data(), 256, 0);
          frames = 256;
        }
        report +=
            later.clean() ? ", recovers;" : ", and stays broken at 44.1 kHz after program 0 is loaded again;";
        break;
      }
      transport.advance(frames);
    }
    host.time.store(nullptr);
  }
  // While resumed: between blocks on the audio thread, and from another
  // thread while it processes.
  {
    Host host;
    std::string why;
    if (!openInstance(host, why, 44100.0f, 256)) return fail(why);
    OutputScan scan;
    {
      ControlThread control(host, true);
      AudioThread audio(host, 44100.0);
      const float rates[] = {8000.0f, 22050.0f, 48000.0f, 192000.0f, 384000.0f};
      for (int i = 0; i < 300; ++i) {
        host.dispatch(effSetSampleRate, 0, 0, nullptr, rates[i % 5]);
        host.dispatch(effSetBlockSize, 0, 1 + (i * 37) % 8192);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
      }
      audio.stop();
      control.stop();
      scan = audio.scan;
    }
    if (!scan.clean()) report += " changed while resumed: " + scan.describe() + ";";
  }
  if (!report.empty()) return fail(report.substr(1));
  return pass(
      "sample rate and block size set before effOpen (also 0), 16 fixed sequences of rate switches among "
      "parameter "
      "changes, and changes from two threads while resumed: finite output");
}

CaseResult doubleResume() {
  Host host;
  std::string why;
  if (!host.create(&why)) return fail(why);
  host.dispatch(effOpen);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  host.dispatch(effSetBlockSize, 0, 512);
  std::string report;
  auto play = [&](const char* when) {
    OutputScan scan;
    Stereo in(22050);
    Noise noise(4);
    for (std::size_t i = 0; i < in.size(); ++i) in.left[i] = in.right[i] = noise.sample();
    const Stereo out = renderThrough(host, in, {512}, 44100.0);
    scan.scan(out.left.data(), out.size(), 0);
    scan.scan(out.right.data(), out.size(), 0);
    if (!scan.clean())
      report += std::string(" ") + when + ": " + scan.describe() + ";";
    else if (scan.peak < 1e-3)
      report += std::string(" ") + when + ": silent;";
  };
  host.dispatch(effMainsChanged, 0, 1);
  host.dispatch(effMainsChanged, 0, 1);
  play("after two resumes");
  host.dispatch(effMainsChanged, 0, 0);
  host.dispatch(effMainsChanged, 0, 0);
  play("while suspended twice");
  host.dispatch(effMainsChanged, 0, 1);
  play("resumed again");
  const std::uint64_t wantMidi = host.requests(audioMasterWantMidi);
  if (wantMidi != 3) report += " " + std::to_string(wantMidi) + " MIDI requests for 3 resumes;";
  if (host.close() != 1) report += " effClose did not answer 1;";
  if (!report.empty()) return fail(report.substr(1));
  return pass(
      "a second effMainsChanged(1) without suspend, two suspends, processing while suspended: plays on, "
      "finite");
}

CaseResult mainsFromAudioThread() {
  Host host;
  std::string why;
  if (!openInstance(host, why, 48000.0f, 1024)) return fail(why);
  std::uint64_t blocks = 0;
  OutputScan scan;
  {
    ControlThread control(host);
    AudioThread audio(host, 48000.0, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    audio.stop();
    control.stop();
    blocks = audio.blocks();
    scan = audio.scan;
  }
  if (blocks < 100) return fail("only " + std::to_string(blocks) + " blocks ran");
  if (!scan.clean()) return fail("output " + scan.describe());
  if (host.close() != 1) return fail("effClose did not answer 1");
  return pass(std::to_string(blocks) +
              " blocks with effMainsChanged(0/1) from the audio thread between them: no hang, finite");
}

// What a host's plug-in scanner does: no display, no sample rate known, no
// time information; it opens, asks everything, maybe processes a block, closes.
CaseResult scanner() {
  char text[512];
  int badTexts = 0, editorOpens = 0;
  bool failed = false;
  std::string why;
  const int rounds = 60;
  const std::int64_t growth = growthOver(rounds, [&](int round) {
    Host host;
    if (!host.create(&why)) {
      failed = true;
      return;
    }
    host.dispatch(effOpen);
    auto ask = [&](VstInt32 opcode, VstInt32 index) {
      std::memset(text, 0x55, sizeof text);
      host.dispatch(opcode, index, 0, text);
      if (std::memchr(text, 0, 256) == nullptr) ++badTexts;
    };
    ask(effGetEffectName, 0);
    ask(effGetVendorString, 0);
    ask(effGetProductString, 0);
    host.dispatch(effGetVendorVersion);
    host.dispatch(effGetPlugCategory);
    host.dispatch(effGetVstVersion);
    host.dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstTimeInfo"));
    host.dispatch(effCanDo, 0, 0, const_cast<char*>("bypass"));
    for (VstInt32 i = 0; i < host.effect()->numParams; ++i) {
      ask(effGetParamName, i);
      ask(effGetParamLabel, i);
      ask(effGetParamDisplay, i);
      host.dispatch(effCanBeAutomated, i);
    }
    for (VstInt32 p = 0; p < host.effect()->numPrograms; ++p) ask(effGetProgramNameIndexed, p);
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    // Some scanners probe the editor with whatever handle they have; without
    // a display the library may refuse or open a window of its own kind, but
    // it must survive idling and closing it.
    if (round % 10 == 0 &&
        host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(std::uintptr_t{0x1234567})) != 0) {
      ++editorOpens;
      host.dispatch(effEditIdle);
      host.dispatch(effEditClose);
    }
    host.dispatch(effMainsChanged, 0, 1);
    float silence[2][64] = {};
    float* inputs[2] = {silence[0], silence[1]};
    float* outputs[2] = {silence[0], silence[1]};
    host.effect()->processReplacing(host.effect(), inputs, outputs, 64);
    host.dispatch(effMainsChanged, 0, 0);
    host.close();
  });
  if (failed) return fail(why);
  std::string report;
  if (badTexts != 0) report += " " + std::to_string(badTexts) + " texts not terminated within 256 bytes;";
  if (interposerActive() && growth > kLeakAllowance) report += " " + leakText(growth, rounds) + ";";
  if (!report.empty()) return fail(report.substr(1));
  return pass(std::to_string(rounds) +
              " scans without display, sample rate or time information (open, every name and "
              "display, editor probe, one block, close): no crash, " +
              leakClaim() + "; the editor probe with no display " +
              (editorOpens != 0 ? "answered 1 (" + std::to_string(editorOpens) + " of 6)" : "answered 0"));
}

}  // namespace

std::vector<Case> hostCases() {
  return {
      {"entry", entry, DisplayNeed::Unset, 20},
      {"alloc-lock", allocationsAndLocks, DisplayNeed::Unset, 30},
      {"editor-cycles", editorCycles, DisplayNeed::XServer, 90},
      {"close-with-editor-open", closeWithEditorOpen, DisplayNeed::XServer, 60},
      {"rate-block-changes", rateAndBlockChanges, DisplayNeed::Unset, 30},
      {"double-resume", doubleResume, DisplayNeed::Unset, 20},
      {"mains-audio-thread", mainsFromAudioThread, DisplayNeed::Unset, 30},
      {"scanner", scanner, DisplayNeed::Unset, 60},
  };
}

}  // namespace validator
