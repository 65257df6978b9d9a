#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace framework {

// Writes the new file beside `path`, flushes it to the disk, then puts it in place
// (ReplacementFile): the previous good file is never lost, and a reader sees either the old or
// the new file whole. A symbolic link keeps pointing to the updated file, a device node or FIFO
// is written through, and the file's lock (FileLock) is taken for the replacement. False (and
// no temporary left) on any failure.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

// The whole file, or nullopt when it cannot be opened/read or is larger than maxBytes.
std::optional<std::vector<uint8_t>> readFile(const std::string& path, size_t maxBytes = 64u << 20);

// True when nothing exists at `path` (as opposed to a file that exists but cannot be read).
bool fileIsMissing(const std::string& path);

}  // namespace framework
