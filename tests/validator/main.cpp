// plonkrift-validator: drives the plug-in library through its entry the way
// hosts and their validators do. Each case runs in a process of its own (this
// program started again with --case NAME), so a crash or a hang fails that
// case and the run goes on.
//
//   plonkrift-validator [--library PATH] [--only NAME,...] [--skip NAME,...] [--list] [--verbose]
//
// Prints one line per case and ends with "N passed, N failed".

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/validator/Cases.h"

namespace validator {

bool openInstance(Host& host, std::string& why, float sampleRate, VstIntPtr blockSize) {
  if (!host.create(&why)) return false;
  host.sampleRateAnswer = static_cast<VstIntPtr>(sampleRate);
  host.blockSizeAnswer = blockSize;
  host.dispatch(effOpen);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
  host.dispatch(effSetBlockSize, 0, blockSize);
  host.dispatch(effMainsChanged, 0, 1);
  return true;
}

CaseResult pass(std::string summary) {
  return {true, std::move(summary)};
}
CaseResult fail(std::string summary) {
  return {false, std::move(summary)};
}

std::string number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace validator

namespace {

using namespace validator;

std::vector<Case> allCases() {
  std::vector<Case> cases = hostCases();
  for (const Case& c : audioCases()) cases.push_back(c);
  return cases;
}

// Cases that show the runner itself turns a crash and a hang into failures;
// run only when named with --only.
CaseResult crashingCase() {
  std::printf("about to crash\n");
  std::fflush(stdout);
  signal(SIGSEGV, SIG_DFL);  // a sanitizer's handler would turn it into an exit
  raise(SIGSEGV);
  return pass("still alive");
}

CaseResult hangingCase() {
  for (;;) pause();
}

std::vector<Case> runnerCases() {
  return {{"runner-crash", crashingCase, DisplayNeed::Unset, 20},
          {"runner-hang", hangingCase, DisplayNeed::Unset, 2}};
}

std::vector<Case> namedCases() {
  std::vector<Case> cases = allCases();
  for (const Case& c : runnerCases()) cases.push_back(c);
  return cases;
}

// The child's side: runs one case and reports on a line of its own.
int runCase(const std::string& name) {
  for (const Case& c : namedCases()) {
    if (name != c.name) continue;
    const CaseResult result = c.run();
    std::printf("%s %s\n",
                result.skipped  ? "=SKIP"
                : result.passed ? "=PASS"
                                : "=FAIL",
                result.summary.c_str());
    std::fflush(stdout);
    return result.skipped ? 3 : result.passed ? 0 : 1;
  }
  std::printf("=FAIL no case named %s\n", name.c_str());
  return 1;
}

// An X server of our own for the editor cases when none is given.
struct XServer {
  pid_t pid = -1;
  std::string display;
  std::string error;

  bool start() {
    int fds[2];
    if (pipe(fds) != 0) {
      error = "cannot make a pipe for Xvfb";
      return false;
    }
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
      const std::string fd = std::to_string(fds[1]);
      // -noreset: each case is a process of its own, and a server that reset
      // when one case's last connection closed would refuse the next case
      // while resetting.
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0",
             "1280x1024x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      error = "cannot fork for Xvfb";
      return false;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      if (poll(&wait, 1, 100) > 0) {
        char c;
        const ssize_t got = read(fds[0], &c, 1);
        if (got <= 0) break;
        if (c == '\n') break;
        number += c;
      }
    }
    close(fds[0]);
    if (number.empty()) {
      error = "Xvfb did not start (is it installed?)";
      stop();
      return false;
    }
    display = ":" + number;
    return true;
  }

  void stop() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      pid = -1;
    }
  }
  ~XServer() { stop(); }
};

struct Outcome {
  enum Kind { Passed, Failed, Skipped } kind;
  std::string summary;
  std::string output;  // everything else the case printed
};

std::string signalName(int signal) {
  const char* name = sigdescr_np(signal);
  return std::to_string(signal) + (name != nullptr ? std::string(" (") + name + ")" : "");
}

Outcome runIsolated(const Case& c, const char* self, const std::string& display) {
  int fds[2];
  if (pipe(fds) != 0) return {Outcome::Failed, "cannot make a pipe", ""};
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    close(fds[0]);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[1]);
    if (c.display == DisplayNeed::XServer)
      setenv("DISPLAY", display.c_str(), 1);
    else
      unsetenv("DISPLAY");
    setenv("PLONKRIFT_VALIDATE_LIBRARY", libraryPath().c_str(), 1);
    // Under LeakSanitizer: what libraries keep for the whole process is not
    // the plug-in's leak.
    if (std::getenv("LSAN_OPTIONS") == nullptr)
      setenv("LSAN_OPTIONS", "suppressions=" PLONKRIFT_LSAN_SUPPRESSIONS, 1);
    execl(self, self, "--case", c.name, static_cast<char*>(nullptr));
    std::printf("=FAIL cannot start %s: %s\n", self, std::strerror(errno));
    _exit(1);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return {Outcome::Failed, "cannot fork", ""};
  }
  setpgid(pid, pid);
  std::string output;
  bool timedOut = false;
  bool ended = false;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(c.timeoutSeconds);
  pollfd wait{fds[0], POLLIN, 0};
  auto readSome = [&](int timeoutMs) {
    if (poll(&wait, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) {
      wait.fd = -1;  // end of output: poll ignores it from now on
      return false;
    }
    output.append(buffer, static_cast<std::size_t>(got));
    return true;
  };
  // Read until the case ends or its time is up. A process the case left
  // behind may still hold the output open, so the end is the case's exit.
  while (!ended) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    readSome(static_cast<int>(std::min<long long>(left, 100)));
    if (wait.fd < 0) usleep(10000);
    // Noticed without reaping: while the case is a zombie its process group
    // id cannot be reused, so the kill below reaches only what it started.
    siginfo_t info{};
    ended =
        waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
  }
  if (ended)
    while (wait.fd >= 0 && readSome(50)) {
    }
  close(fds[0]);
  // Whatever is left of the case's process group goes: the case itself when
  // it hung, anything it started otherwise.
  kill(-pid, SIGKILL);
  waitpid(pid, &status, 0);

  // Split the summary line from the rest.
  std::string summary, rest, line, verdict;
  std::istringstream lines(output);
  while (std::getline(lines, line)) {
    if (line.rfind("=PASS ", 0) == 0 || line.rfind("=FAIL ", 0) == 0 || line.rfind("=SKIP ", 0) == 0) {
      verdict = line.substr(1, 4);
      summary = line.substr(6);
    } else {
      rest += line + "\n";
    }
  }
  if (timedOut)
    return {Outcome::Failed, "hung: no result within " + std::to_string(c.timeoutSeconds) + " s, killed",
            rest};
  if (WIFSIGNALED(status))
    return {
        Outcome::Failed,
        "crashed with signal " + signalName(WTERMSIG(status)) + (summary.empty() ? "" : " after: " + summary),
        rest};
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (verdict == "SKIP" && code == 3) return {Outcome::Skipped, summary, rest};
  if (verdict == "PASS" && code == 0) return {Outcome::Passed, summary, rest};
  if (verdict.empty())
    return {Outcome::Failed, "ended with exit code " + std::to_string(code) + " and no result", rest};
  if (verdict == "PASS")
    return {Outcome::Failed, summary + " — but the process then ended with exit code " + std::to_string(code),
            rest};
  return {Outcome::Failed, summary, rest};
}

std::vector<std::string> splitNames(const std::string& text) {
  std::vector<std::string> names;
  std::stringstream stream(text);
  std::string name;
  while (std::getline(stream, name, ','))
    if (!name.empty()) names.push_back(name);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  std::string only, skip, caseName;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--case" && i + 1 < argc) {
      caseName = argv[++i];
    } else if (arg == "--library" && i + 1 < argc) {
      setLibraryPath(argv[++i]);
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (arg == "--skip" && i + 1 < argc) {
      skip = argv[++i];
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--list") {
      for (const Case& c : allCases()) std::printf("%s\n", c.name);
      return 0;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--library PATH] [--only NAME,...] [--skip NAME,...] [--list] [--verbose]\n",
                   argv[0]);
      return 2;
    }
  }
  if (!caseName.empty()) return runCase(caseName);

  // The same binary runs each case; /proc/self/exe survives a relative argv[0].
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    std::fprintf(stderr, "cannot find this program's path\n");
    return 2;
  }
  self[length] = '\0';

  std::vector<Case> cases;
  const std::vector<std::string> wanted = splitNames(only);
  const std::vector<std::string> unwanted = splitNames(skip);
  std::vector<std::string> skipped;
  for (const Case& c : wanted.empty() ? allCases() : namedCases()) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), c.name) == wanted.end()) continue;
    if (std::find(unwanted.begin(), unwanted.end(), c.name) != unwanted.end()) {
      skipped.push_back(c.name);
      continue;
    }
    cases.push_back(c);
  }
  if (cases.empty()) {
    std::fprintf(stderr, "no case matches %s (see --list)\n", only.c_str());
    return 2;
  }

  std::printf("validating %s\n", libraryPath().c_str());
  for (const std::string& name : skipped) std::printf("SKIP %-22s not run (--skip)\n", name.c_str());
  std::fflush(stdout);
  XServer server;
  std::string display;
  std::string displayError;
  if (const char* given = std::getenv("DISPLAY"); given != nullptr && *given != '\0') display = given;

  int passed = 0, failed = 0;
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    if (c.display == DisplayNeed::XServer && display.empty() && displayError.empty()) {
      if (server.start())
        display = server.display;
      else
        displayError = server.error;
    }
    if (c.display == DisplayNeed::XServer && display.empty())
      outcome = {Outcome::Failed, "no X display: " + displayError, ""};
    else
      outcome = runIsolated(c, self, display);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const char* word = outcome.kind == Outcome::Passed    ? "PASS"
                       : outcome.kind == Outcome::Skipped ? "SKIP"
                                                          : "FAIL";
    std::printf("%s %-22s %s (%.1f s)\n", word, c.name, outcome.summary.c_str(), seconds);
    if ((outcome.kind == Outcome::Failed || verbose) && !outcome.output.empty()) {
      std::istringstream lines(outcome.output);
      std::string line;
      int shown = 0;
      while (std::getline(lines, line) && shown++ < 40) std::printf("     | %s\n", line.c_str());
    }
    std::fflush(stdout);
    if (outcome.kind == Outcome::Passed) ++passed;
    if (outcome.kind == Outcome::Failed) ++failed;
  }
  server.stop();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
