#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace framework {

// The tagged binary record file: the magic 0x41467367, then atoms back to back to the end of
// the file, each an 8-byte header (tag, then the number of data bytes) and the data. This system
// writes little-endian; a file whose magic reads byte-swapped is read as big-endian throughout.
//
// Reading works on the whole file held in memory, and every read is checked against its real
// size, so a short or hostile file cannot make a read leave the file. Writing collects the atoms
// in memory and close() commits them with writeFileAtomically, so the previous file survives any
// failure.
class AtomsFile {
 public:
  static constexpr uint32_t kMagic = 0x41467367;
  // Larger files are refused by openForReading(path): no file of ours comes near this.
  static constexpr size_t kMaxFileBytes = 64u << 20;

  AtomsFile() = default;
  // Commits a file still open for writing, as close() does.
  ~AtomsFile();
  AtomsFile(const AtomsFile&) = delete;
  AtomsFile& operator=(const AtomsFile&) = delete;

  // False when the file plainly cannot be created (no such folder, the path is a folder); a
  // failure that only shows when the file is written is reported by close().
  bool createForWriting(const std::string& path);
  // A null `data` writes `size` zero bytes.
  void writeRecord(uint32_t tag, uint32_t size, const void* data);
  void writeLong(uint32_t tag, int32_t value);   // 4-byte atom
  void writeShort(uint32_t tag, int16_t value);  // 2-byte atom

  // False (and the file closed) when it cannot be read, is shorter than 4 bytes or lacks the
  // magic in either byte order.
  bool openForReading(const std::string& path);
  bool openForReading(std::vector<uint8_t> bytes);  // same, from memory (fuzzing, tests)
  // The file is in the other byte order than this machine's: integers inside record data read
  // with readRecord are the caller's to swap (readLong and readShort swap their own).
  bool swapped() const;

  // The next atom's header: true and its stored size when its tag is `tag` (position unchanged).
  bool peekRecord(uint32_t tag, uint32_t* storedSize) const;
  // The next atom's header whatever its tag (position unchanged); false at the end of the file
  // or when fewer than 8 bytes remain.
  bool nextRecord(uint32_t* tag, uint32_t* storedSize) const;
  // Reads the next atom when its tag is `tag`; otherwise false with the position unchanged. A
  // stored size larger than `size` reads `size` bytes and skips the rest; a smaller one clears
  // the `size` bytes of `destination` first, then reads what is stored. An atom that runs past
  // the end of the file delivers what is there, leaves the position at the end and gives false.
  bool readRecord(uint32_t tag, uint32_t size, void* destination);
  // The whole data of the next atom when its tag is `tag`; nullopt (position unchanged) for
  // another tag or an atom that runs past the end of the file. Never allocates more than the
  // file holds.
  std::optional<std::vector<uint8_t>> readRecordData(uint32_t tag);
  // Byte-swapped when swapped(); the destination is written only when the read succeeds.
  bool readLong(uint32_t tag, int32_t* destination);
  bool readShort(uint32_t tag, int16_t* destination);
  // Scans from the first atom; found: position at its header. Not found (or an atom runs past
  // the end): false with the position at the end of the file.
  bool findRecord(uint32_t tag);
  // Steps over the next atom when it has that tag and lies wholly inside the file.
  bool skipRecord(uint32_t tag);
  // Bytes between the read position and the end of the file.
  size_t remaining() const;

  bool close();  // writing: commits the file, false if that failed; reading: releases it

 private:
  struct Header {
    uint32_t tag;
    uint32_t size;
  };
  enum class Mode { kClosed, kReading, kWriting };

  std::optional<Header> headerAt(size_t position) const;
  uint32_t fileWord(size_t position) const;
  void appendWord(uint32_t value);

  Mode mode_ = Mode::kClosed;
  std::string path_;
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  bool bigEndian_ = false;
};

}  // namespace framework
