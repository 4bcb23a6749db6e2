#pragma once

// A private X server for a test: Xvfb on a display number it picks itself
// (-displayfd), stopped when the object goes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace plonktest {

inline std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

class TXvfbServer {
 public:
  // depth: bits per pixel of the screen (24, 16, 8); extensions named in
  // without are turned off.
  explicit TXvfbServer(int depth = 24, const std::vector<std::string>& without = {}) {
    const std::string program = FindProgram("Xvfb");
    if (program.empty()) return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string screen = "1024x768x" + std::to_string(depth);
    std::vector<std::string> args = {program, "-displayfd", "3",   "-screen", "0",
                                     screen,  "-nolisten",  "tcp", "-noreset"};
    for (const std::string& extension : without) {
      args.push_back("-extension");
      args.push_back(extension);
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (pid_ > 0 && poll(&p, 1, 20000) > 0) {
      char buf[16];
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, static_cast<std::size_t>(n));
      if (number.find('\n') != std::string::npos) break;
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (!number.empty()) name_ = ":" + number;
  }
  ~TXvfbServer() { Kill(); }
  TXvfbServer(const TXvfbServer&) = delete;
  TXvfbServer& operator=(const TXvfbServer&) = delete;

  static bool Installed() { return !FindProgram("Xvfb").empty(); }
  // ":N", or empty when the server did not start.
  const std::string& Name() const { return name_; }

  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace plonktest
