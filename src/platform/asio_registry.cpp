#include "platform/asio_registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Bounds on what one file may add, so that any input parses in bounded time and memory.
constexpr size_t kMaxFileBytes = 1 << 20;
constexpr size_t kMaxPathParts = 16;
constexpr size_t kMaxSubkeys = 1024;
constexpr size_t kMaxValues = 256;

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string programFolder() {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return folderOf(std::string(buffer, static_cast<size_t>(length)));
}

// "*.reg" of a folder, sorted by name so that the merge order does not depend on the file system.
void addFolderFiles(const std::string& folder, std::vector<std::string>& files) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() > 4 && name.substr(name.size() - 4) == ".reg") found.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  for (const std::string& name : found)
    files.push_back(folder + "/" + name);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// `digits` hexadecimal digits at `text[at]`; false on any other character.
bool hexNumber(std::string_view text, size_t at, size_t digits, uint64_t& value) {
  value = 0;
  for (size_t i = at; i < at + digits; ++i) {
    const int digit = hexDigit(text[i]);
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return true;
}

}  // namespace

const std::string* AsioRegistryKey::value(std::string_view name) const {
  for (const auto& [valueName, text] : values_) {
    if (equalNoCase(valueName, name)) return &text;
  }
  return nullptr;
}

const AsioRegistryKey* AsioRegistryKey::findSubkey(std::string_view name) const {
  for (const auto& key : subkeys_) {
    if (equalNoCase(key->name(), name)) return key.get();
  }
  return nullptr;
}

AsioRegistryKey* AsioRegistryKey::makeSubkey(std::string_view name) {
  for (const auto& key : subkeys_) {
    if (equalNoCase(key->name(), name)) return key.get();
  }
  if (subkeys_.size() >= kMaxSubkeys) return nullptr;
  return subkeys_.emplace_back(std::make_unique<AsioRegistryKey>(std::string(name))).get();
}

void AsioRegistryKey::setValue(std::string_view name, std::string_view value) {
  for (auto& [valueName, text] : values_) {
    if (equalNoCase(valueName, name)) {
      text = value;
      return;
    }
  }
  if (values_.size() < kMaxValues) values_.emplace_back(name, value);
}

std::vector<std::string> AsioRegistry::standardFiles(const std::string& userFile) {
  std::vector<std::string> files;
  if (const char* list = std::getenv(kFilesVariable)) {
    for (std::string_view rest = list; !rest.empty();) {
      const size_t colon = std::min(rest.find(':'), rest.size());
      if (colon > 0) files.emplace_back(rest.substr(0, colon));
      rest.remove_prefix(std::min(colon + 1, rest.size()));
    }
    return files;
  }
  const std::string program = programFolder();
  if (!program.empty()) {
    addFolderFiles(program + "/../share/valvorama-live/drivers.d", files);
    // Two folders below the share folder's parent sit the installed companion programs
    // (<prefix>/libexec/valvorama-live/) and the programs of a build tree (apps/<name>/,
    // tests/<suite>/, whose build writes the registry files of the drivers it makes into its own
    // share folder).
    if (program.ends_with("/libexec/valvorama-live") ||
        isRegularFile(program + "/../../CMakeCache.txt")) {
      addFolderFiles(program + "/../../share/valvorama-live/drivers.d", files);
    }
  }
  files.emplace_back(kSystemFile);
  if (!userFile.empty()) files.push_back(userFile);
  return files;
}

AsioRegistry AsioRegistry::loadStandard(const std::string& userFile) {
  AsioRegistry registry;
  for (const std::string& file : standardFiles(userFile))
    registry.readFile(file);
  return registry;
}

bool AsioRegistry::readFile(const std::string& path) {
  // Only regular files: a FIFO or device named by mistake must not block the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string text(std::min<size_t>(static_cast<size_t>(info.st_size), kMaxFileBytes), '\0');
  size_t length = 0;
  while (length < text.size()) {
    const ssize_t got = ::read(fd, text.data() + length, text.size() - length);
    if (got <= 0) break;
    length += static_cast<size_t>(got);
  }
  ::close(fd);
  text.resize(length);
  read(text);
  return true;
}

void AsioRegistry::read(std::string_view text) {
  AsioRegistryKey* key = nullptr;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;

    if (line.front() == '[') {
      key = nullptr;
      if (line.size() < 2 || line.back() != ']') continue;
      std::string_view path = line.substr(1, line.size() - 2);
      std::vector<std::string_view> parts;
      while (!path.empty()) {
        const size_t slash = std::min(path.find('\\'), path.size());
        const std::string_view part = trim(path.substr(0, slash));
        if (!part.empty()) parts.push_back(part);
        path.remove_prefix(std::min(slash + 1, path.size()));
      }
      if (parts.empty() || parts.size() > kMaxPathParts) continue;
      key = &root_;
      for (const std::string_view part : parts) {
        if (!(key = key->makeSubkey(part))) break;
      }
      continue;
    }

    const size_t equals = line.find('=');
    if (!key || equals == std::string_view::npos) continue;
    const std::string_view name = trim(line.substr(0, equals));
    if (name.empty()) continue;
    key->setValue(name == "@" ? std::string_view() : name, trim(line.substr(equals + 1)));
  }
}

const AsioRegistryKey* AsioRegistry::openKey(std::string_view path) const {
  const AsioRegistryKey* key = &root_;
  while (key && !path.empty()) {
    const size_t slash = std::min(path.find('\\'), path.size());
    if (slash > 0) key = key->findSubkey(path.substr(0, slash));
    path.remove_prefix(std::min(slash + 1, path.size()));
  }
  return key;
}

bool parseClassId(std::string_view text, AsioClassId& id) {
  // {8-4-4-4-12}: 38 characters with the braces.
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-') {
    return false;
  }
  uint64_t data1 = 0, data2 = 0, data3 = 0, high = 0, low = 0;
  if (!hexNumber(text, 1, 8, data1) || !hexNumber(text, 10, 4, data2) ||
      !hexNumber(text, 15, 4, data3) || !hexNumber(text, 20, 4, high) ||
      !hexNumber(text, 25, 12, low)) {
    return false;
  }
  id.data1 = static_cast<uint32_t>(data1);
  id.data2 = static_cast<uint16_t>(data2);
  id.data3 = static_cast<uint16_t>(data3);
  id.data4[0] = static_cast<uint8_t>(high >> 8);
  id.data4[1] = static_cast<uint8_t>(high);
  for (int i = 0; i < 6; ++i)
    id.data4[2 + i] = static_cast<uint8_t>(low >> (40 - 8 * i));
  return true;
}

bool sameClassId(const AsioClassId& a, const AsioClassId& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

}  // namespace platform
