#include "framework/window/Shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>

extern char** environ;

namespace framework {

namespace {
std::mutex gChildMutex;
std::vector<pid_t> gChildren;
}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv.front().empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // A host may block or catch signals on its threads; the opener must start
  // with a clean slate.
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return false;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
    sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  {
    std::lock_guard lock(gChildMutex);
    gChildren.push_back(pid);
  }
  ReapChildren();
  return true;
}

void ReapChildren() {
  std::lock_guard lock(gChildMutex);
  std::erase_if(gChildren, [](pid_t pid) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    // ECHILD: the host reaps its children itself (SIGCHLD ignored); nothing
    // is left to collect.
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

std::size_t PendingChildren() {
  std::lock_guard lock(gChildMutex);
  return gChildren.size();
}

bool OpenUrlWithDesktop(const std::string& url) {
  if (url.empty() || url.front() == '-') return false;
  return SpawnDetached({"xdg-open", url});
}

}  // namespace framework
