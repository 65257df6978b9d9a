#include "host/hardware_settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "framework/epi_text.h"
#include "host/audio_device_config.h"
#include "host/mp_audio.h"

namespace host {
namespace {

enum class Kind { kName, kTechnology, kBufferSize, kSampleRate, kChannelIndex };

struct TextKey {
  const char* key;
  std::string HardwareSettings::*field;
  const char* readDefault;
  Kind kind;
};

struct IndexKey {
  const char* key;
  int32_t HardwareSettings::*field;
  int32_t readDefault;
};

using HS = HardwareSettings;
const TextKey kTextKeys[] = {
    {"CurInDeviceName", &HS::curInDeviceName, "Default", Kind::kName},
    {"CurOuDeviceName", &HS::curOuDeviceName, "Default", Kind::kName},
    {"SelectedBufSize", &HS::selectedBufSize, "512", Kind::kBufferSize},
    {"CurMidiInName", &HS::curMidiInName, "Default", Kind::kName},
    {"AudioTechnology", &HS::audioTechnology, "DirectX", Kind::kTechnology},
    {"SelectedFrequencies", &HS::selectedFrequencies, "44100", Kind::kSampleRate},
    {"CurInChannelName", &HS::curInChannelName, "Left", Kind::kName},
    {"CurOuChannelLeftName", &HS::curOuChannelLeftName, "Left", Kind::kName},
    {"CurOuChannelRightName", &HS::curOuChannelRightName, "Right", Kind::kName},
};

const IndexKey kIndexKeys[] = {
    {"CurInChannelIndex", &HS::curInChannelIndex, 0},
    {"CurOuChannelLeftIndex", &HS::curOuChannelLeftIndex, 0},
    {"CurOuChannelRightIndex", &HS::curOuChannelRightIndex, 1},
};

static_assert(std::size(kTextKeys) + std::size(kIndexKeys) == HS::kKeyCount);

// Rates a device is ever asked for; anything else is a typing mistake.
constexpr int32_t kLowestRate = 8000;
constexpr int32_t kHighestRate = 384000;
// -1 leaves the channel unused.
constexpr int32_t kLowestChannel = -1;
constexpr int32_t kHighestChannel = 255;

// A whole decimal number and nothing else.
bool parseWhole(const std::string& text, int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && last == end;
}

std::string checkRange(const std::string& text, int32_t lowest, int32_t highest, const char* what) {
  int32_t value = 0;
  if (parseWhole(text, value) && value >= lowest && value <= highest) return {};
  return std::string(what) + " must be a whole number from " + std::to_string(lowest) + " to " +
         std::to_string(highest);
}

std::string check(Kind kind, const std::string& value) {
  switch (kind) {
    case Kind::kName:
      // The file stores a text between double quotes on one line, with no escapes.
      if (value.find_first_of("\"\r\n") != std::string::npos)
        return "a name cannot hold a double quote or a line break";
      if (value.size() > HS::kMaxNameLength)
        return "a name is at most " + std::to_string(HS::kMaxNameLength) + " characters";
      return {};
    case Kind::kTechnology:
      for (int32_t i = 0; i < MPAudio::getTechnologyCount(); ++i) {
        std::string name;
        if (MPAudio::getTechnologyName(i, name) && name == value) return {};
      }
      return "the technology is \"DirectX\" or \"Asio\"";
    case Kind::kBufferSize:
      return checkRange(value, 0, kMaxBufferSize, "the buffer size");
    case Kind::kSampleRate:
      return checkRange(value, kLowestRate, kHighestRate, "the sample rate");
    case Kind::kChannelIndex:
      return checkRange(value, kLowestChannel, kHighestChannel, "a channel index");
  }
  return {};
}

bool sameKey(const std::string& given, const char* key) {
  return epiText(given.c_str()).equalsNoCase(key);
}

}  // namespace

HardwareSettings::HardwareSettings(std::string folder) : folder_(std::move(folder)) {}

std::string HardwareSettings::path() const {
  return folder_.empty() ? std::string(kFileName) : folder_ + "/" + kFileName;
}

bool HardwareSettings::read() {
  epiTextSettings file;
  if (!file.load(path())) return false;
  char text[kMaxNameLength + 1];
  for (const TextKey& k : kTextKeys) {
    file.getString(k.key, text, sizeof text, k.readDefault);
    this->*k.field = text;
  }
  for (const IndexKey& k : kIndexKeys)
    file.getLong(k.key, &(this->*k.field), k.readDefault);
  return true;
}

bool HardwareSettings::write() const {
  epiTextSettings file;
  for (const TextKey& k : kTextKeys)
    file.setString(k.key, (this->*k.field).c_str());
  for (const IndexKey& k : kIndexKeys)
    file.setLong(k.key, this->*k.field);
  return file.save(path());
}

const std::array<const char*, HardwareSettings::kKeyCount>& HardwareSettings::keys() {
  static const std::array<const char*, kKeyCount> names = [] {
    std::array<const char*, kKeyCount> all{};
    size_t n = 0;
    for (const TextKey& k : kTextKeys)
      all[n++] = k.key;
    for (const IndexKey& k : kIndexKeys)
      all[n++] = k.key;
    return all;
  }();
  return names;
}

bool HardwareSettings::get(const std::string& key, std::string& value) const {
  for (const TextKey& k : kTextKeys) {
    if (!sameKey(key, k.key)) continue;
    value = this->*k.field;
    return true;
  }
  for (const IndexKey& k : kIndexKeys) {
    if (!sameKey(key, k.key)) continue;
    value = std::to_string(this->*k.field);
    return true;
  }
  return false;
}

std::string HardwareSettings::set(const std::string& key, const std::string& value) {
  for (const TextKey& k : kTextKeys) {
    if (!sameKey(key, k.key)) continue;
    std::string refused = check(k.kind, value);
    if (refused.empty()) this->*k.field = value;
    return refused;
  }
  for (const IndexKey& k : kIndexKeys) {
    if (!sameKey(key, k.key)) continue;
    std::string refused = check(Kind::kChannelIndex, value);
    if (refused.empty()) parseWhole(value, this->*k.field);
    return refused;
  }
  return "unknown key \"" + key + "\"";
}

float HardwareSettings::sampleRate() const {
  const double rate = std::strtod(selectedFrequencies.c_str(), nullptr);
  return rate >= kLowestRate && rate <= kHighestRate ? static_cast<float>(rate) : 0.0f;
}

int32_t HardwareSettings::bufferSize() const {
  return epiText(selectedBufSize.c_str()).toLong();
}

}  // namespace host
