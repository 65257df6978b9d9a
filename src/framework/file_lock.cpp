#include "framework/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

namespace framework {

namespace {

// The files this thread holds locked: flock would make a second lock of the same thread wait
// for the first forever.
thread_local std::vector<std::pair<dev_t, ino_t>> heldByThisThread;

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

FileLock::FileLock(const std::string& path) {
  // Each pass that finds the file replaced while it waited tries again on the new one.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      ::close(fd);
      return;
    }
    const std::pair id{opened.st_dev, opened.st_ino};
    if (std::find(heldByThisThread.begin(), heldByThisThread.end(), id) != heldByThisThread.end()) {
      ::close(fd);
      nested_ = true;
      return;
    }
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    struct stat current {};
    if (locked == 0 && ::stat(path.c_str(), &current) == 0 && sameFile(current, opened)) {
      fd_ = fd;
      device_ = id.first;
      inode_ = id.second;
      heldByThisThread.push_back(id);
      return;
    }
    ::close(fd);
    if (locked != 0) return;
  }
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  const auto at =
      std::find(heldByThisThread.begin(), heldByThisThread.end(), std::pair{device_, inode_});
  if (at != heldByThisThread.end()) heldByThisThread.erase(at);
  ::close(fd_);  // releases the lock
}

}  // namespace framework
