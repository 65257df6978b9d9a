#include "framework/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "framework/replacement_file.h"

namespace framework {

namespace {

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

}  // namespace

bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  ReplacementFile file;
  return file.open(path) && writeAll(file.descriptor(), bytes.data(), bytes.size()) &&
         file.commit();
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
