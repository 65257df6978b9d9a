#include "framework/replacement_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "framework/file_lock.h"

namespace framework {

namespace {

// The hidden temporaries that exist right now, for the signal handler to remove. It only reads
// these words and calls unlink, both safe inside a handler.
enum SlotState { kFree, kFilling, kLive };
struct Slot {
  std::atomic<int> state{kFree};
  char name[PATH_MAX];
};
constexpr int kSlots = 32;
Slot gSlots[kSlots];
std::atomic<unsigned> gCounter{0};

void removeTemporariesAndEnd(int signal) {
  for (Slot& slot : gSlots) {
    if (slot.state.load(std::memory_order_acquire) == kLive) ::unlink(slot.name);
  }
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  ::raise(signal);  // delivered, with its default action, when the handler returns
}

// Only where the signal would end the process anyway: a program with handlers of its own ends
// itself, and drops its ReplacementFiles on the way out.
void installHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction old {};
      if (::sigaction(signal, nullptr, &old) != 0) continue;
      if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = removeTemporariesAndEnd;
      sigfillset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

// -1 when every slot is taken or the name is too long: the file is then only unguarded.
int claimSlot(const std::string& name) {
  if (name.size() >= PATH_MAX) return -1;
  installHandlers();
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!gSlots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(gSlots[i].name, name.c_str(), name.size() + 1);
    gSlots[i].state.store(kLive, std::memory_order_release);
    return i;
  }
  return -1;
}

void releaseSlot(int slot) {
  if (slot >= 0) gSlots[slot].state.store(kFree, std::memory_order_release);
}

// The file a chain of symbolic links ends at; empty for a loop or an unreadable link.
std::string followLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return {};
    std::string next(target, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    path = std::move(next);
  }
  return {};
}

// Unnamed files are linked in through their /proc entry, which needs no privilege.
bool unnamedFilesLinkable() {
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  return linkable;
}

// The rename is only durable once the folder entry itself reaches the disk; failing here
// cannot undo the replacement, so it is best effort.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

ReplacementFile::~ReplacementFile() {
  discard();
}

bool ReplacementFile::open(const std::string& path) {
  discard();
  target_ = followLinks(path);
  if (target_.empty()) {
    errno = ELOOP;
    return false;
  }
  const size_t slash = target_.rfind('/');
  prefix_ = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  if (prefix_.size() == target_.size()) {
    errno = EISDIR;
    return false;
  }
  keepMode_ = false;
  struct stat info {};
  if (::stat(target_.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return false;
    }
    if (!S_ISREG(info.st_mode)) {
      // Like any writer's, the open of a FIFO waits for its reader.
      fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
      writesThrough_ = fd_ >= 0;
      return writesThrough_;
    }
    keepMode_ = true;
    mode_ = info.st_mode & 07777;
  }
  if (!openTemporary()) return false;
  if (keepMode_) ::fchmod(fd_, mode_);
  return true;
}

std::string ReplacementFile::hiddenName() const {
  // The base is cut so the name stays within the usual 255-byte limit.
  const std::string base = target_.substr(prefix_.size(), 200);
  return prefix_ + "." + base + ".tmp" + std::to_string(::getpid()) + "-" +
         std::to_string(gCounter.fetch_add(1));
}

bool ReplacementFile::openTemporary() {
  if (temporary_ == Temporary::kUnnamedWherePossible && unnamedFilesLinkable()) {
    const std::string folder = prefix_.empty() ? "." : prefix_;
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd_ >= 0) return true;
    // Anything but "this file system has no unnamed files" is a real failure.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = hiddenName();
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      named_ = std::move(name);
      slot_ = claimSlot(named_);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool ReplacementFile::linkInPlace() {
  if (named_.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
    if (errno != EEXIST) return false;
    // A file is there: link the new one under a hidden name and rename that over it.
    for (int attempt = 0; named_.empty(); ++attempt) {
      std::string name = hiddenName();
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        named_ = std::move(name);
        slot_ = claimSlot(named_);
      } else if (errno != EEXIST || attempt == 100) {
        return false;
      }
    }
  }
  if (::rename(named_.c_str(), target_.c_str()) != 0) return false;
  releaseSlot(slot_);
  slot_ = -1;
  named_.clear();
  return true;
}

bool ReplacementFile::commit() {
  if (fd_ < 0) return false;
  if (writesThrough_) {
    const int fd = fd_;
    fd_ = -1;
    writesThrough_ = false;
    return ::close(fd) == 0;
  }
  bool ok = ::fsync(fd_) == 0;
  if (ok) {
    FileLock lock(target_);
    ok = linkInPlace();
  }
  if (!ok) {
    discard();
    return false;
  }
  ::close(fd_);  // the data is on the disk already
  fd_ = -1;
  syncFolder(prefix_.empty() ? "." : prefix_);
  return true;
}

void ReplacementFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  writesThrough_ = false;
  if (!named_.empty()) ::unlink(named_.c_str());
  named_.clear();
  releaseSlot(slot_);
  slot_ = -1;
}

}  // namespace framework
