#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace host {

// The audio and MIDI devices the host opens, kept in "VRLiveHardware.prf" (text settings) in the
// settings folder. A fresh object holds no technology and no sample rate: nothing plays until
// the user chooses. A file that exists but lacks a key gives that key's read default instead.
class HardwareSettings {
 public:
  static constexpr const char* kFileName = "VRLiveHardware.prf";
  static constexpr int kKeyCount = 12;
  // Longest name stored, as a device list holds it.
  static constexpr size_t kMaxNameLength = 511;

  // An empty folder means the current one.
  explicit HardwareSettings(std::string folder = {});

  // True when the file was loaded; otherwise the object is unchanged.
  bool read();
  // The twelve keys, in table order, replacing the file; whether the save worked. The folder
  // must exist (framework::SettingsFolder::create).
  bool write() const;
  std::string path() const;
  const std::string& folder() const { return folder_; }

  // The keys in file order: the nine texts, then the three channel indices.
  static const std::array<const char*, kKeyCount>& keys();
  // A key's value as text (the indices in decimal); false for an unknown key. Keys match
  // without letter case, as in the file.
  bool get(const std::string& key, std::string& value) const;
  // Sets a key from text. Empty on success; otherwise the reason, and nothing changes. Values
  // the file cannot hold or the devices cannot take are refused.
  std::string set(const std::string& key, const std::string& value);

  // "SelectedFrequencies" as a decimal number of Hz; 0 when it is no rate a device takes.
  float sampleRate() const;
  // "SelectedBufSize" as a decimal number of frames (0 without digits).
  int32_t bufferSize() const;

  std::string curInDeviceName = "None";
  std::string curOuDeviceName = "None";
  std::string selectedBufSize = "512";
  std::string curMidiInName = "Default";
  std::string audioTechnology;
  std::string selectedFrequencies;
  std::string curInChannelName = "Left";
  std::string curOuChannelLeftName = "Left";
  std::string curOuChannelRightName = "Right";
  int32_t curInChannelIndex = 0;
  int32_t curOuChannelLeftIndex = 0;
  int32_t curOuChannelRightIndex = 1;

 private:
  std::string folder_;
};

}  // namespace host
