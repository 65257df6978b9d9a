#pragma once

#include <sys/types.h>

#include <string>

namespace framework {

// An advisory exclusive lock (flock) on an existing regular file, held around a read-modify-
// write. Writers replace files by rename, so the lock is taken on the file the name points to
// when the lock is granted: a writer that waited while another replaced the file locks the new
// one. A thread that already holds the lock of a file takes it again as a no-op, so a locked
// read-modify-write may end in writeFileAtomically, which locks as well. Nothing to lock (no
// such file, not a regular file, not readable) leaves the lock unheld.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return fd_ >= 0 || nested_; }

 private:
  int fd_ = -1;
  bool nested_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace framework
