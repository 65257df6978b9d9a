#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace framework {

// The application's resource container: a keyed store (type, id) -> bytes in one file, with an
// optional update file whose entries take precedence. Writes go to the update file when one is
// set, else to the main file, always with writeFileAtomically; every write rewrites its whole
// file.
//
// File format (all integers unsigned 32-bit little-endian):
//   bytes 0-3    the ASCII characters "XRSC"
//   bytes 4-7    format version, 1
//   bytes 8-11   entry count
//   then `count` entries back to back: type, id, size, then `size` data bytes.
// Entries are sorted by type, then id, with no two alike, and the last one ends the file. A
// file that breaks any of these rules is corrupt and refused whole, so every image has exactly
// one form: parse() then image() gives back the same bytes.
class ResourceFile {
 public:
  static constexpr uint32_t kVersion = 1;
  static constexpr size_t kMaxFileBytes = 256u << 20;
  using Key = std::pair<uint32_t, uint32_t>;  // (type, id)

  // Missing files = empty store, still true; an unreadable or corrupt file = false, and the
  // object is left empty with no file attached.
  bool open(const std::string& path, const std::string& updatePath = "");
  bool contains(uint32_t type, uint32_t id) const;
  std::optional<std::vector<uint8_t>> read(uint32_t type, uint32_t id) const;
  // False when no file is attached or the file could not be written; the store in memory then
  // stays as it was.
  bool write(uint32_t type, uint32_t id, std::span<const uint8_t> bytes);
  bool parse(std::span<const uint8_t> bytes);  // for fuzzing: parse a container image

  // Every key of both layers, sorted, each once.
  std::vector<Key> keys() const;
  // The container image of the main layer, as write() stores it and parse() reads it.
  std::vector<uint8_t> image() const;

  // The application's own resource file, used where a caller names none. Set once at start-up
  // by the engine; null until then.
  static ResourceFile* application();
  static void setApplication(ResourceFile* file);

 private:
  using Store = std::map<Key, std::vector<uint8_t>>;

  static std::optional<Store> decode(std::span<const uint8_t> bytes);
  static std::vector<uint8_t> encode(const Store& store);
  static std::optional<Store> load(const std::string& path);

  std::string path_;
  std::string updatePath_;
  Store main_;
  Store update_;
};

}  // namespace framework
