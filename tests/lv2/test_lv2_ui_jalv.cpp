// The LV2 UI inside a real host: Debian's jalv.gtk3, which embeds X11 UIs in
// its GTK window, on a private Xvfb with a JACK server of its own on the
// dummy driver. The host's values reach the editor (jalv's -c at start, a
// preset picked from its menu later) and a click in the editor reaches the
// host's port; the host's port values are read back from the state that
// jalv saves (File > Save), and the screen is compared with the editor as
// the headless backend draws those values.
//
// With PLONKRIFT_LV2_UI_SHOT=FILE, the host's window with the editor in it
// is written to FILE as a PNG (scripts/make-docs.sh).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "lv2/Ports.h"
#include "plugin/Parameters.h"
#include "tests/framework/x11/XvfbServer.h"
#include "tests/support/EditorPictures.h"
// Last: Xlib's macros would break the headers above.
#include "tests/support/XScreen.h"

extern char** environ;

namespace {

using namespace plonktest;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A program of the test's: started with an environment of its own, its
// output into a file; stopped (SIGTERM, then SIGKILL) when the object goes.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
        const fs::path& cwd, const fs::path& log) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() { Stop(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid > 0; }
  // The exit status once the program has ended by itself within the time.
  std::optional<int> Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (pid > 0) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() > end) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }
  // Asks the program to end (SIGTERM) and waits for its exit status.
  std::optional<int> Quit(std::chrono::milliseconds limit) {
    if (pid <= 0) return std::nullopt;
    kill(pid, SIGTERM);
    return Wait(limit);
  }
  bool Running() {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, WNOHANG) == 0;
  }
  void Stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!Wait(std::chrono::seconds(5)) && pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
    }
  }

 private:
  pid_t pid = -1;
};

// Port symbols by slot, as the bundle's description names them.
std::map<int, std::string> SymbolsOfSlots() {
  const std::string text = ReadFile(fs::path(PLONKRIFT_LV2_BUNDLE) / "plonkrift6.ttl");
  static const std::regex port(R"re(lv2:index (\d+) ;\s*lv2:symbol "([^"]+)")re");
  std::map<int, std::string> out;
  for (std::sregex_iterator i(text.begin(), text.end(), port), end; i != end; ++i) {
    const auto index = static_cast<std::uint32_t>(std::stoul((*i)[1]));
    if (lv2plugin::isSlotPort(index)) out[lv2plugin::slotOfPort(index)] = (*i)[2];
  }
  return out;
}

// The port values of a state jalv saved; nothing unless it names all 61.
std::optional<Values> ValuesOfState(const fs::path& file, const std::map<int, std::string>& symbols) {
  const std::string text = ReadFile(file);
  static const std::regex port(R"re(lv2:symbol "([^"]+)" ;\s*pset:value ([-+0-9.eE]+))re");
  std::map<std::string, float> byName;
  for (std::sregex_iterator i(text.begin(), text.end(), port), end; i != end; ++i)
    byName[(*i)[1]] = std::stof((*i)[2]);
  Values values{};
  for (const auto& [slot, symbol] : symbols) {
    const auto found = byName.find(symbol);
    if (found == byName.end()) return std::nullopt;
    values[slot] = found->second;
  }
  return values;
}

bool Found(const std::string& program) {
  return !plonktest::FindProgram(program).empty();
}

class JalvUi : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"Xvfb", "jalv.gtk3", "jackd", "jack_wait"})
      if (!Found(program)) GTEST_SKIP() << program << " is not installed (jalv, jackd2, xvfb)";
    symbols = SymbolsOfSlots();
    ASSERT_EQ(symbols.size(), static_cast<std::size_t>(parameters::kLast));

    server = std::make_unique<plonktest::TXvfbServer>(24);
    ASSERT_FALSE(server->Name().empty()) << "Xvfb did not start";
    char pattern[] = "/tmp/plonkrift-lv2-ui-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch = pattern;
    fs::create_directories(scratch / "lv2");
    fs::create_directories(scratch / "home");
    fs::create_symlink(PLONKRIFT_LV2_BUNDLE, scratch / "lv2" / "plonkrift6.lv2");

    // A JACK server for this test alone. Client names are kept apart too:
    // JACK names its clients' sockets after them, whatever the server.
    const std::string jack = "plonkrift-ui-" + std::to_string(getpid());
    const std::map<std::string, std::string> jackEnv = {{"JACK_NO_START_SERVER", "1"},
                                                        {"JACK_DEFAULT_SERVER", jack}};
    jackd = std::make_unique<Child>(std::vector<std::string>{"jackd", "--no-realtime", "-n", jack, "-d",
                                                             "dummy", "-r", "48000", "-p", "256"},
                                    jackEnv, scratch, scratch / "jackd.log");
    ASSERT_TRUE(jackd->Started());
    // A client may be turned away while the server is still starting (more
    // so with other servers starting beside it): asked again.
    bool ready = false;
    for (int attempt = 0; attempt < 5 && !ready && jackd->Running(); ++attempt) {
      Child wait({"jack_wait", "-s", jack, "-n", jack + "-wait", "-w", "-t", "10"}, jackEnv, scratch,
                 scratch / "jackd.log");
      ready = wait.Wait(std::chrono::seconds(20)) == std::optional<int>(0);
      if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ASSERT_TRUE(ready) << "the JACK server did not start\n" << ReadFile(scratch / "jackd.log");

    std::map<std::string, std::string> env = jackEnv;
    env["DISPLAY"] = server->Name();
    env["LV2_PATH"] = (scratch / "lv2").string();
    env["HOME"] = (scratch / "home").string();
    env["GSETTINGS_BACKEND"] = "memory";
    env["NO_AT_BRIDGE"] = "1";
    // The host's values at the start: step 3 and tie 9 on, the rest as
    // the plug-in's defaults.
    started = Defaults();
    started[parameters::kStep1 + 2] = 1.0f;
    started[parameters::kTie1 + 8] = 1.0f;
    jalv = std::make_unique<Child>(
        std::vector<std::string>{"jalv.gtk3", "--print-controls", "--jack-name", jack, "--exact-jack-name",
                                 "-c", symbols[parameters::kStep1 + 2] + "=1", "-c",
                                 symbols[parameters::kTie1 + 8] + "=1", lv2plugin::kUri},
        env, scratch, scratch / "jalv.log");
    ASSERT_TRUE(jalv->Started());

    x = XOpenDisplay(server->Name().c_str());
    ASSERT_NE(x, nullptr);
    ASSERT_TRUE(WaitFor([&] { return FindEditor(); }, std::chrono::seconds(30)))
        << "no editor in jalv's window\n"
        << ReadFile(scratch / "jalv.log");
  }

  void TearDown() override {
    if (x != nullptr) XCloseDisplay(x);
    jalv.reset();
    jackd.reset();
    if (HasFailure() && !scratch.empty()) {
      std::cerr << "--- jalv\n"
                << ReadFile(scratch / "jalv.log") << "--- jackd\n"
                << ReadFile(scratch / "jackd.log");
    }
    if (!scratch.empty()) fs::remove_all(scratch);
  }

  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      XSync(x, False);
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end || !jalv->Running()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  void Pause(int ms) {
    XSync(x, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  // jalv's window (named after the plug-in) and the editor in it: a window
  // of the editor's size with nothing below it.
  bool FindEditor() {
    for (Window top : Children(x, DefaultRootWindow(x))) {
      if (NameOf(x, top) != "plonkrift6v2") continue;
      std::vector<Window> found;
      Descendants(
          x, top, [&](Window w) { return Viewable(x, w, kWidth, kHeight) && Children(x, w).empty(); }, found);
      if (found.size() == 1) {
        host = top;
        editor = found[0];
        return true;
      }
    }
    return false;
  }

  Window TopLevelNamed(const std::string& name) {
    for (Window top : Children(x, DefaultRootWindow(x))) {
      XWindowAttributes attributes{};
      if (NameOf(x, top) == name && XGetWindowAttributes(x, top, &attributes) != 0 &&
          attributes.map_state == IsViewable)
        return top;
    }
    return 0;
  }

  // Opens jalv's File menu (the first of its menu bar).
  void OpenFileMenu() {
    const Point origin = ScreenOrigin(x, host);
    Click(x, origin.x + 15, origin.y + 12);
    Pause(400);
  }

  // The host's port values: File > Save, a new folder named name in jalv's
  // folder, read back from the state jalv writes there.
  std::optional<Values> HostValues(const std::string& name) {
    OpenFileMenu();
    Key(x, XK_Down);  // "Save"
    Key(x, XK_Return);
    if (!WaitFor([&] { return TopLevelNamed("Save State") != 0; }, std::chrono::seconds(10)))
      return std::nullopt;
    Pause(400);
    Type(x, name);
    Pause(300);
    Key(x, XK_Return);
    std::optional<Values> values;
    WaitFor([&] { return (values = ValuesOfState(scratch / name / "state.ttl", symbols)).has_value(); },
            std::chrono::seconds(10));
    WaitFor([&] { return TopLevelNamed("Save State") == 0; }, std::chrono::seconds(5));
    return values;
  }

  Picture EditorOnScreen() { return Grab(x, editor, 0, 0, kWidth, kHeight); }

  // Whether the plug-in last reported that it has no time information, as
  // jalv prints its output ports (--print-controls). jalv tells the plug-in
  // of its transport only when that changes, and a change that comes in the
  // cycle before jalv runs the plug-in is lost, so on a stopped transport
  // the plug-in may rightly never have a position.
  bool TimeMissingReported() {
    const std::string log = ReadFile(scratch / "jalv.log");
    const std::string key = std::string(lv2plugin::kTimeMissingSymbol) + " = ";
    const auto at = log.rfind(key);
    return at != std::string::npos && std::strtod(log.c_str() + at + key.size(), nullptr) != 0.0;
  }

  // The screen shows the values as the editor draws them, with the notice
  // as the plug-in reports it: every cell exactly, the whole window but for
  // a few pixels (text drawn by another rasteriser). The editor repaints at
  // the host's idle calls, after windows that covered it have gone: it is
  // given a few seconds.
  void ExpectShows(const Values& values) {
    Picture expected = EditorPicture(values, TimeMissingReported());
    const auto cellsMatch = [&](const Picture& screen) {
      for (int n = 1; n <= parameters::kSteps; ++n) {
        const Point s = StepCentre(n), t = TieCentre(n);
        if (screen[s.y * kWidth + s.x] != expected[s.y * kWidth + s.x] ||
            screen[t.y * kWidth + t.x] != expected[t.y * kWidth + t.x])
          return false;
      }
      return true;
    };
    Picture screen;
    WaitFor(
        [&] {
          screen = EditorOnScreen();
          expected = EditorPicture(values, TimeMissingReported());
          return screen.size() == expected.size() && cellsMatch(screen) &&
                 Differing(screen, expected) < screen.size() / 100;
        },
        std::chrono::seconds(5));
    ASSERT_EQ(screen.size(), expected.size());
    for (int n = 1; n <= parameters::kSteps; ++n) {
      const Point s = StepCentre(n), t = TieCentre(n);
      EXPECT_EQ(screen[s.y * kWidth + s.x], expected[s.y * kWidth + s.x]) << "step " << n;
      EXPECT_EQ(screen[t.y * kWidth + t.x], expected[t.y * kWidth + t.x]) << "tie " << n;
    }
    EXPECT_LT(Differing(screen, expected), screen.size() / 100);
  }

  std::unique_ptr<plonktest::TXvfbServer> server;
  fs::path scratch;
  std::unique_ptr<Child> jackd, jalv;
  std::map<int, std::string> symbols;
  Values started{};
  Display* x = nullptr;
  Window host = 0, editor = 0;
};

TEST_F(JalvUi, TheEditorIsInTheHostsWindowShowingTheHostsValues) {
  EXPECT_NE(ParentOf(x, editor), host) << "inside jalv's window, below its own widgets";
  ExpectShows(started);

  if (const char* shot = std::getenv("PLONKRIFT_LV2_UI_SHOT")) {
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(x, host, &attributes), 0);
    const Picture window = Grab(x, host, 0, 0, attributes.width, attributes.height);
    EXPECT_TRUE(WritePng(window, attributes.width, attributes.height, shot)) << shot;
  }

  // Quitting jalv destroys its window and then the UI: it goes quietly.
  EXPECT_EQ(jalv->Quit(std::chrono::seconds(10)), std::optional<int>(0)) << ReadFile(scratch / "jalv.log");
}

TEST_F(JalvUi, AClickReachesTheHostsPortAndAPresetReachesTheEditor) {
  // Step 4 is off: a click in the editor turns it on in the host.
  ExpectShows(started);
  const Point origin = ScreenOrigin(x, editor);
  Click(x, origin.x + StepCentre(4).x, origin.y + StepCentre(4).y);
  Values expected = started;
  expected[parameters::kStep1 + 3] = 1.0f;
  ExpectShows(expected);
  const std::optional<Values> clicked = HostValues("clicked");
  ASSERT_TRUE(clicked.has_value()) << "jalv saved no state";
  for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
    EXPECT_EQ((*clicked)[slot], expected[slot]) << symbols[slot];

  // A preset from jalv's menu (whichever comes second in it) moves the
  // host's ports, and the editor follows.
  OpenFileMenu();
  Key(x, XK_Right);  // the Presets menu
  Pause(200);
  for (int i = 0; i < 4; ++i) Key(x, XK_Down);  // past "Save Preset..." and "Delete Current Preset..."
  Key(x, XK_Return);
  Pause(400);
  const std::optional<Values> preset = HostValues("preset");
  ASSERT_TRUE(preset.has_value()) << "jalv saved no state";
  int moved = 0;
  for (int slot = parameters::kStep1; slot <= parameters::kLastTie; ++slot)
    if (((*preset)[slot] > 0.5f) != (expected[slot] > 0.5f)) ++moved;
  EXPECT_GT(moved, 0) << "the preset moved steps or ties";
  ExpectShows(*preset);
}

}  // namespace
