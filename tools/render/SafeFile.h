#pragma once

// Files that appear whole or not at all: a result is written under a
// temporary name in its target's folder and renamed over the target only once
// it is complete, so a full disk, a mistake or Ctrl-C never leaves a partial
// file or spoils the one that was there.

#include <string>

namespace render {

// From here on SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary files
// of every open PendingFile, then end the process with that signal as before.
void RemoveTemporaryFilesOnSignals();

class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile() { discard(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Makes the temporary file for target (a symbolic link is followed, so the
  // link stays); false with a one-line reason when target cannot be written.
  // Targets that are no regular files (a device, a named pipe) are opened
  // and written in place.
  bool create(const std::string& target, std::string& error);
  int fd() const { return fd_; }
  const std::string& target() const { return target_; }

  // Flushes the data to disk and puts the file in the target's place.
  bool commit(std::string& error);
  // Removes the temporary file; the target stays as it was.
  void discard();

 private:
  int fd_ = -1;
  int registration_ = -1;
  bool inPlace_ = false;
  std::string target_, temporary_;
};

// A file of the given folder with no name: it vanishes with the process
// however that ends. -1 with errno set when it cannot be made.
int AnonymousFile(const std::string& folder);

// The folder a path lives in ("." for a bare name).
std::string FolderOf(const std::string& path);

// Whether two paths name the same file, existing or to be made: symbolic
// links, "..", "." and hard links are seen through.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace render
