#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Device selection values: an index into a back end's device list, or one of these.
constexpr int32_t kNoDevice = -1;     // the direction is not used
constexpr int32_t kFirstDevice = -2;  // the name was not found: the first device of the list

constexpr int kMaxLogicalChannels = 16;
// The longest block any back end offers; longer requests are refused before a device is opened.
constexpr int32_t kMaxBufferSize = 65536;

// One logical channel of the processing callback and the device channel it is wired to.
struct AudioChannelSlot {
  bool enabled = false;
  int32_t deviceChannel = 0;
};

// What an open request asks for.
struct AudioDeviceConfig {
  int32_t inputDevice = kNoDevice;
  int32_t outputDevice = kNoDevice;
  int32_t sampleRate = 44100;
  int32_t bufferSize = 1024;
  int32_t inputChannelCount = 0;
  int32_t outputChannelCount = 0;
  std::array<AudioChannelSlot, kMaxLogicalChannels> inputChannels{};
  std::array<AudioChannelSlot, kMaxLogicalChannels> outputChannels{};
};

// One entry of a back end's input or output device list. `id` is what the back end opens
// (an ALSA PCM name, a driver's list index); the other fields are what it learnt while listing.
struct AudioDeviceRecord {
  static constexpr size_t kMaxNameLength = 511;
  std::string name;
  std::string id;
  int32_t channels = 2;
  int32_t minRate = 0;
  int32_t maxRate = 0;
};

using AudioDeviceList = std::vector<AudioDeviceRecord>;

// What the settings dialog offers for one device and direction.
struct AudioCapabilities {
  std::vector<int32_t> bufferSizes;
  std::vector<std::string> channelNames;
  std::vector<int32_t> sampleRates;
  bool hasControlPanel = false;
};

}  // namespace host
