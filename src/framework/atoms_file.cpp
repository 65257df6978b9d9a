#include "framework/atoms_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "framework/safe_file.h"

namespace framework {

namespace {

constexpr size_t kHeaderBytes = 8;

bool isFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

AtomsFile::~AtomsFile() {
  close();
}

bool AtomsFile::createForWriting(const std::string& path) {
  close();
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  if (path.empty() || path.back() == '/' || !isFolder(folder) || isFolder(path)) return false;
  mode_ = Mode::kWriting;
  path_ = path;
  bytes_.clear();
  appendWord(kMagic);
  return true;
}

void AtomsFile::appendWord(uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes_.push_back(uint8_t(value >> shift));
}

void AtomsFile::writeRecord(uint32_t tag, uint32_t size, const void* data) {
  if (mode_ != Mode::kWriting) return;
  appendWord(tag);
  appendWord(size);
  const auto* p = static_cast<const uint8_t*>(data);
  if (p) {
    bytes_.insert(bytes_.end(), p, p + size);
  } else {
    bytes_.resize(bytes_.size() + size, 0);
  }
}

void AtomsFile::writeLong(uint32_t tag, int32_t value) {
  if (mode_ != Mode::kWriting) return;
  appendWord(tag);
  appendWord(4);
  appendWord(static_cast<uint32_t>(value));
}

void AtomsFile::writeShort(uint32_t tag, int16_t value) {
  if (mode_ != Mode::kWriting) return;
  appendWord(tag);
  appendWord(2);
  const auto v = static_cast<uint16_t>(value);
  bytes_.push_back(uint8_t(v));
  bytes_.push_back(uint8_t(v >> 8));
}

bool AtomsFile::openForReading(const std::string& path) {
  close();
  auto bytes = readFile(path, kMaxFileBytes);
  if (!bytes) return false;
  return openForReading(std::move(*bytes));
}

bool AtomsFile::openForReading(std::vector<uint8_t> bytes) {
  close();
  bytes_ = std::move(bytes);
  mode_ = Mode::kReading;
  bigEndian_ = false;
  if (bytes_.size() >= 4 && fileWord(0) == kMagic) {
    position_ = 4;
    return true;
  }
  bigEndian_ = true;
  if (bytes_.size() >= 4 && fileWord(0) == kMagic) {
    position_ = 4;
    return true;
  }
  close();
  return false;
}

bool AtomsFile::swapped() const {
  return bigEndian_ != (std::endian::native == std::endian::big);
}

uint32_t AtomsFile::fileWord(size_t position) const {
  const uint8_t* b = bytes_.data() + position;
  if (bigEndian_) {
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  }
  return (uint32_t(b[3]) << 24) | (uint32_t(b[2]) << 16) | (uint32_t(b[1]) << 8) | b[0];
}

std::optional<AtomsFile::Header> AtomsFile::headerAt(size_t position) const {
  if (mode_ != Mode::kReading || position > bytes_.size() ||
      bytes_.size() - position < kHeaderBytes) {
    return std::nullopt;
  }
  return Header{fileWord(position), fileWord(position + 4)};
}

size_t AtomsFile::remaining() const {
  return mode_ == Mode::kReading ? bytes_.size() - position_ : 0;
}

bool AtomsFile::peekRecord(uint32_t tag, uint32_t* storedSize) const {
  const auto header = headerAt(position_);
  if (!header || header->tag != tag) return false;
  if (storedSize) *storedSize = header->size;
  return true;
}

bool AtomsFile::nextRecord(uint32_t* tag, uint32_t* storedSize) const {
  const auto header = headerAt(position_);
  if (!header) return false;
  if (tag) *tag = header->tag;
  if (storedSize) *storedSize = header->size;
  return true;
}

bool AtomsFile::readRecord(uint32_t tag, uint32_t size, void* destination) {
  const auto header = headerAt(position_);
  if (!header || header->tag != tag) return false;
  auto* out = static_cast<uint8_t*>(destination);
  if (header->size < size && out) std::memset(out, 0, size);

  const size_t data = position_ + kHeaderBytes;
  const size_t available = bytes_.size() - data;
  const size_t wanted = std::min<size_t>(header->size, size);
  if (out) std::memcpy(out, bytes_.data() + data, std::min(wanted, available));
  if (header->size > available) {
    position_ = bytes_.size();
    return false;
  }
  position_ = data + header->size;
  return true;
}

std::optional<std::vector<uint8_t>> AtomsFile::readRecordData(uint32_t tag) {
  const auto header = headerAt(position_);
  if (!header || header->tag != tag) return std::nullopt;
  const size_t data = position_ + kHeaderBytes;
  if (header->size > bytes_.size() - data) return std::nullopt;
  position_ = data + header->size;
  return std::vector<uint8_t>(bytes_.begin() + data, bytes_.begin() + position_);
}

// Only a whole value is stored, so a missing or broken-off atom leaves the caller's default.
bool AtomsFile::readLong(uint32_t tag, int32_t* destination) {
  uint32_t value = 0;
  if (!readRecord(tag, 4, &value)) return false;
  if (swapped()) value = __builtin_bswap32(value);
  if (destination) *destination = static_cast<int32_t>(value);
  return true;
}

bool AtomsFile::readShort(uint32_t tag, int16_t* destination) {
  uint16_t value = 0;
  if (!readRecord(tag, 2, &value)) return false;
  if (swapped()) value = __builtin_bswap16(value);
  if (destination) *destination = static_cast<int16_t>(value);
  return true;
}

bool AtomsFile::findRecord(uint32_t tag) {
  if (mode_ != Mode::kReading) return false;
  size_t position = 4;
  while (const auto header = headerAt(position)) {
    if (header->tag == tag) {
      position_ = position;
      return true;
    }
    const size_t data = position + kHeaderBytes;
    if (header->size > bytes_.size() - data) break;
    position = data + header->size;
  }
  position_ = bytes_.size();
  return false;
}

bool AtomsFile::skipRecord(uint32_t tag) {
  const auto header = headerAt(position_);
  if (!header || header->tag != tag) return false;
  const size_t data = position_ + kHeaderBytes;
  if (header->size > bytes_.size() - data) return false;
  position_ = data + header->size;
  return true;
}

bool AtomsFile::close() {
  bool ok = true;
  if (mode_ == Mode::kWriting) ok = writeFileAtomically(path_, bytes_);
  mode_ = Mode::kClosed;
  path_.clear();
  bytes_.clear();
  bytes_.shrink_to_fit();
  position_ = 0;
  bigEndian_ = false;
  return ok;
}

}  // namespace framework
