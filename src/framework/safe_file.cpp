#include "framework/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>

namespace framework {

namespace {

std::atomic<unsigned> tempCounter{0};

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size < (1u << 30) ? size : (1u << 30));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
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

bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  const size_t slash = path.rfind('/');
  const std::string folderPrefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = path.substr(folderPrefix.size());
  if (base.empty()) return false;

  // A hidden name in the same folder keeps the rename on one file system; the base is cut so the
  // temporary name stays within the usual 255-byte limit.
  int fd = -1;
  std::string tempPath;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tempPath = folderPrefix + "." + base.substr(0, 200) + ".tmp" + std::to_string(::getpid()) +
               "-" + std::to_string(tempCounter.fetch_add(1));
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  }

  bool ok = writeAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  syncFolder(folderPrefix.empty() ? "." : folderPrefix);
  return true;
}

std::optional<std::vector<uint8_t>> readFile(const std::string& path, size_t maxBytes) {
  // Non-blocking open so that a FIFO named by mistake cannot hang the caller; it is then
  // refused as not a regular file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::vector<uint8_t>> result;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<uint64_t>(info.st_size) <= maxBytes) {
    try {
      std::vector<uint8_t> bytes;
      // The size is only a hint: the file may grow or shrink while it is read.
      bytes.reserve(static_cast<size_t>(info.st_size));
      uint8_t chunk[16384];
      bool ok = true;
      for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() + static_cast<size_t>(n) > maxBytes) {
          ok = false;
          break;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
      }
      if (ok) result = std::move(bytes);
    } catch (const std::bad_alloc&) {
      result.reset();
    }
  }
  ::close(fd);
  return result;
}

bool fileIsMissing(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

}  // namespace framework
