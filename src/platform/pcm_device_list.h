#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pcm_direction.h"

namespace platform {

// One ALSA PCM a user could pick. `id` is the PCM name a PcmLoopBuffer opens; channels and rates
// are what the device reported when listed (0 when it was busy and could not be asked).
struct PcmDeviceInfo {
  std::string name;
  std::string id;
  int32_t channels = 0;
  int32_t minRate = 0;
  int32_t maxRate = 0;
};

// The devices of one direction, in the order a user expects them: the system's "default" first,
// then the named devices of the ALSA configuration (sound servers such as "pipewire", "pulse",
// "jack", and the user's own definitions that carry a hint), then every PCM of every sound card.
// A device that cannot be opened is left out, except a busy one: it is there, only in use.
std::vector<PcmDeviceInfo> listPcmDevices(PcmDirection direction);

}  // namespace platform
