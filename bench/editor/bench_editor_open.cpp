// How fast the editor opens on a real X server, against the least any 719 x 512
// window costs, measured in the same run.
//
//   baseline        - XCreateWindow in the host's window, map, XPutImage of a
//                     full 719 x 512 picture, until the picture is on screen
//   first_open      - effEditOpen of the built library in a fresh process
//                     (fork/exec of this program's helper mode), right after
//                     the instance was made, until the editor is on screen
//   first_open_late - the same with the instance 300 ms old, as when a user
//                     opens the editor of an effect the host made before
//   later_open      - effEditOpen after the process opened and closed the
//                     editor once (each open followed by idles and a close)
//   idle            - an open editor idled every 30 ms for 3 s with nothing
//                     changing: CPU share of one core and paints made
// "On screen" means that the host's window, read back through the X server,
// shows something other than its own colour at the editor's bottom-right
// pixel: the editor paints its whole window in one picture, so the last pixel
// of it arriving ends the open.
//
// Also prints the size of the library stripped (strip -o), the goals and which
// of them the run met: first open at most 3 x baseline, later opens at most
// 1.5 x, idle under 0.5 % of a core with no paints, the stripped library under
// 2 MB.
//
//   bench_editor_open [--library PATH] [benchmark options]
//   bench_editor_open --first-open LIBRARY PAUSE_MS   (helper: prints seconds)
//
// Needs Xvfb when DISPLAY is unset (a private server is started then).

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/APluginEditor.h"
#include "host/AEffectX.h"
#include "plugin/APlugin.h"
#include "tests/framework/x11/XvfbServer.h"

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 719, kHeight = 512;
constexpr unsigned long kHostColour = 0xFF00FF;  // never the editor's bottom-right pixel

std::string pluginPath = PLONKRIFT_PLUGIN_PATH;
std::string selfPath;

VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  switch (opcode) {
    case audioMasterVersion:
      return 2400;
    case audioMasterGetVendorString:
    case audioMasterGetProductString:
      if (ptr != nullptr) std::strcpy(static_cast<char*>(ptr), "bench");
      return 1;
    default:
      return 0;
  }
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The host's side: a top-level window of the editor's size in a colour of its
// own, on a connection of its own.
struct HostWindow {
  Display* display = nullptr;
  Window window = 0;

  HostWindow() {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) return;
    window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, 0, 0, kHostColour);
    XMapWindow(display, window);
    XSync(display, False);
  }
  ~HostWindow() {
    if (display != nullptr) XCloseDisplay(display);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  bool ok() const { return display != nullptr && window != 0; }
  void* handle() const { return reinterpret_cast<void*>(window); }

  // The colour the server shows at the window's bottom-right pixel.
  unsigned long Corner() {
    XImage* image = XGetImage(display, window, kWidth - 1, kHeight - 1, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return kHostColour;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }
  // Polls until something covers the host's colour (true) or a second passed.
  bool WaitCovered() {
    const auto until = Clock::now() + std::chrono::seconds(1);
    while (Corner() == kHostColour)
      if (Clock::now() > until) return false;
    return true;
  }
  bool WaitBare() {
    const auto until = Clock::now() + std::chrono::seconds(1);
    XSync(display, False);
    while (Corner() != kHostColour) {
      if (Clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
};

// The plug-in library as a host loads it.
struct Library {
  void* handle = nullptr;
  AEffect* (*entry)(audioMasterCallback) = nullptr;

  explicit Library(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr)
      entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(handle, "VSTPluginMain"));
  }
  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  AEffect* Create() const {
    AEffect* effect = entry != nullptr ? entry(&HostCallback) : nullptr;
    if (effect != nullptr) effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    return effect;
  }
};

VstIntPtr Dispatch(AEffect* effect, VstInt32 opcode, void* ptr = nullptr) {
  return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f);
}

// --- the helper mode -----------------------------------------------------------

// One first open in this fresh process: prints its seconds, or nothing.
int FirstOpenHelper(const std::string& library, int pauseMs) {
  HostWindow host;
  if (!host.ok()) return 1;
  Library plugin(library);
  AEffect* effect = plugin.Create();
  if (effect == nullptr) return 1;
  if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  const auto t0 = Clock::now();
  if (Dispatch(effect, effEditOpen, host.handle()) != 1) return 1;
  if (!host.WaitCovered()) return 1;
  const auto t1 = Clock::now();
  std::printf("%.9f\n", Seconds(t0, t1));
  std::fflush(stdout);
  Dispatch(effect, effEditClose);
  Dispatch(effect, effClose);
  return 0;
}

// Runs this program's helper mode and reads the seconds it prints; negative
// when it failed.
double RunFirstOpen(int pauseMs) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const std::string pause = std::to_string(pauseMs);
  std::vector<std::string> args = {selfPath, "--first-open", pluginPath, pause};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, selfPath.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string out;
  char buf[64];
  for (ssize_t n; spawned == 0 && (n = read(fds[0], buf, sizeof buf)) > 0;)
    out.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return out.empty() ? -1 : std::strtod(out.c_str(), nullptr);
}

// --- benchmarks ----------------------------------------------------------------

std::vector<double> baselineSamples, firstSamples, firstLateSamples, laterSamples;
double idleCpuShare = -1;
long idlePaints = -1;

void BM_Baseline(benchmark::State& state) {
  HostWindow host;
  if (!host.ok()) return state.SkipWithError("no X display");
  // A picture with the editor's size and some variety in it.
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      pixels[static_cast<std::size_t>(y) * kWidth + x] = (x * 0x010203u) ^ (y * 0x030201u);
  const int screen = DefaultScreen(host.display);
  Visual* visual = DefaultVisual(host.display, screen);
  const int depth = DefaultDepth(host.display, screen);
  for (auto _ : state) {
    const auto t0 = Clock::now();
    XSetWindowAttributes swa{};
    swa.background_pixmap = None;
    const Window w = XCreateWindow(host.display, host.window, 0, 0, kWidth, kHeight, 0, depth, InputOutput,
                                   visual, CWBackPixmap, &swa);
    XMapWindow(host.display, w);
    GC gc = XCreateGC(host.display, w, 0, nullptr);
    XImage* image = XCreateImage(host.display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(pixels.data()), kWidth, kHeight, 32, kWidth * 4);
    XPutImage(host.display, w, gc, image, 0, 0, 0, 0, kWidth, kHeight);
    XSync(host.display, False);
    const bool shown = host.WaitCovered();
    const auto t1 = Clock::now();
    image->data = nullptr;  // ours
    XDestroyImage(image);
    XFreeGC(host.display, gc);
    XDestroyWindow(host.display, w);
    if (!shown || !host.WaitBare()) return state.SkipWithError("the window never showed");
    state.SetIterationTime(Seconds(t0, t1));
    baselineSamples.push_back(Seconds(t0, t1));
  }
}

void FirstOpen(benchmark::State& state, int pauseMs, std::vector<double>& samples) {
  for (auto _ : state) {
    const double s = RunFirstOpen(pauseMs);
    if (s < 0) return state.SkipWithError("the helper process failed");
    state.SetIterationTime(s);
    samples.push_back(s);
  }
}

void BM_FirstOpen(benchmark::State& state) {
  FirstOpen(state, 0, firstSamples);
}
void BM_FirstOpenLate(benchmark::State& state) {
  FirstOpen(state, 300, firstLateSamples);
}

void BM_LaterOpen(benchmark::State& state) {
  HostWindow host;
  if (!host.ok()) return state.SkipWithError("no X display");
  Library plugin(pluginPath);
  AEffect* effect = plugin.Create();
  if (effect == nullptr) return state.SkipWithError("cannot load the plug-in");
  const auto cycle = [&](bool timed) {
    const auto t0 = Clock::now();
    if (Dispatch(effect, effEditOpen, host.handle()) != 1 || !host.WaitCovered()) return -1.0;
    const auto t1 = Clock::now();
    for (int i = 0; i < 3; ++i) {
      Dispatch(effect, effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(timed ? 2 : 10));
    }
    Dispatch(effect, effEditClose);
    return host.WaitBare() ? Seconds(t0, t1) : -1.0;
  };
  if (cycle(false) < 0) return state.SkipWithError("the editor did not open");
  for (auto _ : state) {
    const double s = cycle(true);
    if (s < 0) return state.SkipWithError("the editor did not open or close");
    state.SetIterationTime(s);
    laterSamples.push_back(s);
  }
  Dispatch(effect, effClose);
}

// In this process with the effect linked in, so that the container's paints
// can be counted.
void BM_Idle(benchmark::State& state) {
  HostWindow host;
  if (!host.ok()) return state.SkipWithError("no X display");
  for (auto _ : state) {
    int paints = 0;  // outlives the editor that counts into it
    APlugin plugin(&HostCallback);
    if (plugin.dispatcher(effEditOpen, 0, 0, host.handle(), 0.0f) != 1 || !host.WaitCovered())
      return state.SkipWithError("the editor did not open");
    auto* editor = static_cast<APluginEditor*>(plugin.getEditor());
    // Settle: the expose of the new window and the first refresh.
    for (int i = 0; i < 5; ++i) {
      plugin.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    // The container's paints from here on, counted by its BeforePaint event.
    editor->getWindow()->DIBImageContainer2->BeforePaint.Bind([&paints](framework::TObject*) { ++paints; });
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    auto next = t0;
    while (Clock::now() - t0 < std::chrono::seconds(3)) {
      plugin.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
      next += std::chrono::milliseconds(30);
      std::this_thread::sleep_until(next);
    }
    const double cpu = CpuSeconds() - cpu0;
    const double wall = Seconds(t0, Clock::now());
    idlePaints = paints;
    idleCpuShare = cpu / wall;
    state.SetIterationTime(cpu);
    state.counters["cpu_percent"] = 100.0 * idleCpuShare;
    state.counters["paints"] = static_cast<double>(idlePaints);
    plugin.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
  }
}

BENCHMARK(BM_Baseline)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstOpen)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstOpenLate)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LaterOpen)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Idle)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Size of the library with its symbols and debug information stripped, or -1.
long StrippedSize(const std::string& library) {
  char temp[] = "/tmp/bench_editor_open_XXXXXX";
  const int fd = mkstemp(temp);
  if (fd < 0) return -1;
  close(fd);
  std::vector<std::string> args = {"strip", "-o", temp, library};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int status = 0;
  long size = -1;
  if (posix_spawnp(&pid, "strip", nullptr, nullptr, argv.data(), environ) == 0 &&
      waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    struct stat st {};
    if (stat(temp, &st) == 0) size = static_cast<long>(st.st_size);
  }
  unlink(temp);
  return size;
}

void PrintSummary() {
  const double base = Median(baselineSamples);
  std::printf("\nmedians: baseline (plain window) %.3f ms", base * 1e3);
  const auto line = [&](const char* name, const std::vector<double>& v, double goal) {
    if (v.empty() || base <= 0) return;
    const double m = Median(v);
    std::printf("\n%-16s %8.3f ms = %5.2f x baseline (goal at most %.1f x: %s)", name, m * 1e3, m / base,
                goal, m <= goal * base ? "met" : "NOT met");
  };
  line("first open", firstSamples, 3.0);
  line("first open late", firstLateSamples, 3.0);
  line("later open", laterSamples, 1.5);
  if (idleCpuShare >= 0)
    std::printf("\nidle: %.3f %% of a core, %ld paints (goal under 0.5 %% and none: %s)",
                100.0 * idleCpuShare, idlePaints,
                idleCpuShare < 0.005 && idlePaints == 0 ? "met" : "NOT met");
  const long size = StrippedSize(pluginPath);
  if (size >= 0)
    std::printf("\nstripped library: %ld bytes (goal under 2 MB = 2000000 bytes: %s)", size,
                size < 2000000 ? "met" : "NOT met");
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  char self[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  selfPath = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
  if (argc == 4 && std::strcmp(argv[1], "--first-open") == 0)
    return FirstOpenHelper(argv[2], std::atoi(argv[3]));
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--library") == 0) {
      pluginPath = argv[i + 1];
      for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
      argc -= 2;
      break;
    }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::unique_ptr<plonktest::TXvfbServer> server;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    server = std::make_unique<plonktest::TXvfbServer>(24);
    if (server->Name().empty()) {
      std::fprintf(stderr, "bench_editor_open: no DISPLAY and no Xvfb could be started\n");
      return 1;
    }
    setenv("DISPLAY", server->Name().c_str(), 1);
  }
  benchmark::RunSpecifiedBenchmarks();
  PrintSummary();
  benchmark::Shutdown();
  return 0;
}
