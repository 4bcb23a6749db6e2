#include "tools/render/SafeFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace render {

namespace {

// The temporary files a signal handler must remove. A handler may run at any
// moment, so the table is changed only while those signals are blocked.
constexpr int kSlots = 4;
char temporaryPaths[kSlots][PATH_MAX];
volatile sig_atomic_t slotUsed[kSlots];
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

extern "C" void RemoveAndEnd(int signal) {
  const int saved = errno;
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i]) unlink(temporaryPaths[i]);
  // Ends the process with the signal itself, so the caller's shell sees what
  // happened (130 for Ctrl-C).
  ::signal(signal, SIG_DFL);
  raise(signal);
  errno = saved;
}

int Register(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  SignalsBlocked blocked;
  for (int i = 0; i < kSlots; ++i) {
    if (slotUsed[i]) continue;
    std::memcpy(temporaryPaths[i], path.c_str(), path.size() + 1);
    slotUsed[i] = 1;
    return i;
  }
  return -1;
}

void Unregister(int slot) {
  if (slot < 0) return;
  SignalsBlocked blocked;
  slotUsed[slot] = 0;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveAndEnd;
  sigemptyset(&action.sa_mask);
  for (int s : kSignals) sigaddset(&action.sa_mask, s);
  for (int s : kSignals) {
    struct sigaction old {};
    sigaction(s, nullptr, &old);
    // A signal the caller chose to ignore (nohup, a shell's background job)
    // stays ignored.
    if (old.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
  }
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool PendingFile::create(const std::string& target, std::string& error) {
  discard();
  target_ = target;
  const auto fail = [&](const std::string& why) {
    error = "cannot write '" + target + "': " + why;
    return false;
  };
  std::string place = target;
  struct stat status {};
  const bool exists = stat(target.c_str(), &status) == 0;
  if (exists) {
    if (S_ISDIR(status.st_mode)) return fail("it is a folder");
    if (!S_ISREG(status.st_mode)) {
      fd_ = open(target.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd_ < 0) return fail(std::strerror(errno));
      inPlace_ = true;
      return true;
    }
    if (access(target.c_str(), W_OK) != 0) return fail("the file is write-protected");
    if (char* real = realpath(target.c_str(), nullptr); real != nullptr) {
      place = real;
      std::free(real);
    }
  } else if (errno != ENOENT) {
    return fail(std::strerror(errno));
  }

  std::string pattern = FolderOf(place) + "/." + BaseName(place) + ".XXXXXX";
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) return fail(std::strerror(errno));
  temporary_ = pattern;
  registration_ = Register(temporary_);
  target_ = place;
  // The result gets the permissions (and, where allowed, the owner) of the
  // file it replaces, or those of any new file.
  if (exists) {
    fchmod(fd_, status.st_mode & 07777);
    if (fchown(fd_, status.st_uid, status.st_gid) != 0) {
      // Only the owner's own group may be kept; the rest stays ours.
    }
  } else {
    fchmod(fd_, 0666 & ~CurrentUmask());
  }
  return true;
}

bool PendingFile::commit(std::string& error) {
  if (fd_ < 0) return error = "cannot write '" + target_ + "': not open", false;
  const auto fail = [&](int code) {
    error = "cannot write '" + target_ + "': " + std::strerror(code);
    discard();
    return false;
  };
  // fsync brings out errors a full or failing disk holds back until here.
  if (fsync(fd_) != 0 && !(inPlace_ && (errno == EINVAL || errno == EROFS))) return fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return fail(errno);
  if (inPlace_) return true;
  {
    SignalsBlocked blocked;
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
      const int code = errno;
      unlink(temporary_.c_str());
      Unregister(registration_);
      registration_ = -1;
      error = "cannot write '" + target_ + "': " + std::strerror(code);
      return false;
    }
    Unregister(registration_);
    registration_ = -1;
  }
  temporary_.clear();
  return true;
}

void PendingFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  Unregister(registration_);
  registration_ = -1;
  inPlace_ = false;
}

int AnonymousFile(const std::string& folder) {
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  std::string pattern = folder + "/.plonkrift-render.XXXXXX";
  fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd >= 0) unlink(pattern.c_str());
  return fd;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat first {
  }, second{};
  const bool firstExists = stat(a.c_str(), &first) == 0, secondExists = stat(b.c_str(), &second) == 0;
  if (firstExists && secondExists) return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  if (firstExists || secondExists) return false;
  std::error_code ignored;
  namespace fs = std::filesystem;
  return fs::weakly_canonical(fs::absolute(a), ignored) == fs::weakly_canonical(fs::absolute(b), ignored);
}

}  // namespace render
