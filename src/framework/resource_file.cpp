#include "framework/resource_file.h"

#include <algorithm>
#include <cstring>

#include "framework/safe_file.h"

namespace framework {

namespace {

constexpr uint8_t kMagic[4] = {'X', 'R', 'S', 'C'};
constexpr size_t kHeaderBytes = 12;
constexpr size_t kEntryHeaderBytes = 12;

ResourceFile* applicationFile = nullptr;

uint32_t wordAt(std::span<const uint8_t> bytes, size_t position) {
  return uint32_t(bytes[position]) | (uint32_t(bytes[position + 1]) << 8) |
         (uint32_t(bytes[position + 2]) << 16) | (uint32_t(bytes[position + 3]) << 24);
}

}  // namespace

std::optional<ResourceFile::Store> ResourceFile::decode(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeaderBytes || !std::equal(kMagic, kMagic + 4, bytes.begin()) ||
      wordAt(bytes, 4) != kVersion) {
    return std::nullopt;
  }
  const uint32_t count = wordAt(bytes, 8);
  size_t position = kHeaderBytes;
  // Checked before anything is built, so a hostile count costs nothing.
  if (count > (bytes.size() - position) / kEntryHeaderBytes) return std::nullopt;

  Store store;
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes.size() - position < kEntryHeaderBytes) return std::nullopt;
    const Key key{wordAt(bytes, position), wordAt(bytes, position + 4)};
    const uint32_t size = wordAt(bytes, position + 8);
    position += kEntryHeaderBytes;
    if (size > bytes.size() - position) return std::nullopt;
    if (!store.empty() && !(store.rbegin()->first < key)) return std::nullopt;
    const auto data = bytes.begin() + static_cast<std::ptrdiff_t>(position);
    store.emplace_hint(store.end(), key, std::vector<uint8_t>(data, data + size));
    position += size;
  }
  if (position != bytes.size()) return std::nullopt;
  return store;
}

std::vector<uint8_t> ResourceFile::encode(const Store& store) {
  size_t total = kHeaderBytes;
  for (const auto& [key, data] : store)
    total += kEntryHeaderBytes + data.size();
  std::vector<uint8_t> out(total);
  size_t position = 0;
  const auto put = [&](const void* data, size_t size) {
    if (size > 0) std::memcpy(out.data() + position, data, size);
    position += size;
  };
  const auto putWord = [&](uint32_t value) {
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
    put(bytes, 4);
  };
  put(kMagic, 4);
  putWord(kVersion);
  putWord(static_cast<uint32_t>(store.size()));
  for (const auto& [key, data] : store) {
    putWord(key.first);
    putWord(key.second);
    putWord(static_cast<uint32_t>(data.size()));
    put(data.data(), data.size());
  }
  return out;
}

std::optional<ResourceFile::Store> ResourceFile::load(const std::string& path) {
  if (path.empty() || fileIsMissing(path)) return Store{};
  const auto bytes = readFile(path, kMaxFileBytes);
  if (!bytes) return std::nullopt;
  return decode(*bytes);
}

bool ResourceFile::open(const std::string& path, const std::string& updatePath) {
  *this = ResourceFile();
  auto main = load(path);
  auto update = load(updatePath);
  if (!main || !update) return false;
  path_ = path;
  updatePath_ = updatePath;
  main_ = std::move(*main);
  update_ = std::move(*update);
  return true;
}

bool ResourceFile::contains(uint32_t type, uint32_t id) const {
  const Key key{type, id};
  return update_.contains(key) || main_.contains(key);
}

std::optional<std::vector<uint8_t>> ResourceFile::read(uint32_t type, uint32_t id) const {
  const Key key{type, id};
  if (const auto it = update_.find(key); it != update_.end()) return it->second;
  if (const auto it = main_.find(key); it != main_.end()) return it->second;
  return std::nullopt;
}

bool ResourceFile::write(uint32_t type, uint32_t id, std::span<const uint8_t> bytes) {
  const bool toUpdate = !updatePath_.empty();
  const std::string& path = toUpdate ? updatePath_ : path_;
  Store& store = toUpdate ? update_ : main_;
  if (path.empty() || bytes.size() > kMaxFileBytes) return false;

  const Key key{type, id};
  std::optional<std::vector<uint8_t>> previous;
  if (const auto it = store.find(key); it != store.end()) previous = std::move(it->second);
  store[key].assign(bytes.begin(), bytes.end());
  // Beyond the reader's limit the file could be written but never read back.
  const auto image = encode(store);
  if (image.size() <= kMaxFileBytes && writeFileAtomically(path, image)) return true;
  if (previous) {
    store[key] = std::move(*previous);
  } else {
    store.erase(key);
  }
  return false;
}

bool ResourceFile::parse(std::span<const uint8_t> bytes) {
  auto store = decode(bytes);
  if (!store) return false;
  main_ = std::move(*store);
  return true;
}

std::vector<ResourceFile::Key> ResourceFile::keys() const {
  std::vector<Key> all;
  all.reserve(main_.size() + update_.size());
  for (const auto& entry : main_)
    all.push_back(entry.first);
  for (const auto& entry : update_)
    all.push_back(entry.first);
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  return all;
}

std::vector<uint8_t> ResourceFile::image() const {
  return encode(main_);
}

ResourceFile* ResourceFile::application() {
  return applicationFile;
}

void ResourceFile::setApplication(ResourceFile* file) {
  applicationFile = file;
}

}  // namespace framework
