#include "platform/pcm_device_list.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "platform/alsa_errors.h"
#include "platform/jack_messages.h"

namespace platform {
namespace {

// Plug-ins that only transform another device: a user picks the device, not these.
constexpr const char* kFilterTypes[] = {
    "null", "rate",    "upmix",  "vdownmix", "speex", "a52",   "route",  "softvol", "ladspa",
    "file", "lavrate", "linear", "mulaw",    "alaw",  "adpcm", "iec958", "meter",   "samplerate"};

snd_pcm_stream_t streamOf(PcmDirection direction) {
  return direction == PcmDirection::kPlayback ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
}

int32_t clampRate(unsigned int rate) {
  return static_cast<int32_t>(std::min<unsigned int>(rate, std::numeric_limits<int32_t>::max()));
}

struct HintText {
  explicit HintText(char* text) : text(text) {}
  ~HintText() { std::free(text); }
  HintText(const HintText&) = delete;
  HintText& operator=(const HintText&) = delete;
  char* text;
};

// Opens the device to ask what it takes. False when it does not exist or cannot be opened; a
// busy device is listed with what little is known.
bool probe(const std::string& pcmName, PcmDirection direction, PcmDeviceInfo& info) {
  snd_pcm_t* pcm = nullptr;
  const int opened = snd_pcm_open(&pcm, pcmName.c_str(), streamOf(direction), SND_PCM_NONBLOCK);
  if (opened == -EBUSY) {
    info.channels = 2;
    return true;
  }
  if (opened < 0) return false;
  snd_pcm_hw_params_t* params = nullptr;
  bool ok = snd_pcm_hw_params_malloc(&params) == 0 && snd_pcm_hw_params_any(pcm, params) >= 0;
  unsigned int channels = 0, minRate = 0, maxRate = 0;
  ok = ok && snd_pcm_hw_params_get_channels_max(params, &channels) == 0 &&
       snd_pcm_hw_params_get_rate_min(params, &minRate, nullptr) == 0 &&
       snd_pcm_hw_params_get_rate_max(params, &maxRate, nullptr) == 0;
  if (params) snd_pcm_hw_params_free(params);
  snd_pcm_close(pcm);
  if (!ok) return false;
  info.channels = static_cast<int32_t>(std::min<unsigned int>(channels, 64));
  info.minRate = clampRate(minRate);
  info.maxRate = clampRate(maxRate);
  return true;
}

// ALSA's descriptions put the card and the device on two lines.
std::string oneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n')
      line += ", ";
    else
      line += c;
  }
  return line;
}

// The configuration's type of the PCM `name`, empty when it is not defined there.
std::string configuredType(snd_config_t* top, const std::string& name) {
  snd_config_t* node = nullptr;
  snd_config_t* type = nullptr;
  const char* text = nullptr;
  if (!top || snd_config_search(top, ("pcm." + name).c_str(), &node) < 0) return {};
  if (snd_config_search(node, "type", &type) < 0 || snd_config_get_string(type, &text) < 0)
    return "?";  // defined, but its type is computed when it is opened
  return text;
}

bool isFilterType(const std::string& type) {
  return std::any_of(std::begin(kFilterTypes), std::end(kFilterTypes),
                     [&](const char* filter) { return type == filter; });
}

struct NamedDevice {
  std::string name;
  std::string description;
};

// The hinted PCMs without a card argument, for one direction.
std::vector<NamedDevice> namedDevices(PcmDirection direction) {
  std::vector<NamedDevice> found;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0) return found;
  const char* unwanted = direction == PcmDirection::kPlayback ? "Input" : "Output";
  for (void** hint = hints; *hint; ++hint) {
    HintText name(snd_device_name_get_hint(*hint, "NAME"));
    HintText description(snd_device_name_get_hint(*hint, "DESC"));
    HintText io(snd_device_name_get_hint(*hint, "IOID"));
    if (!name.text || std::string(name.text).find(':') != std::string::npos) continue;
    if (io.text && std::string(io.text) == unwanted) continue;
    found.push_back({name.text, description.text ? oneLine(description.text) : std::string()});
  }
  snd_device_name_free_hint(hints);
  return found;
}

void addNamedDevices(PcmDirection direction, std::vector<PcmDeviceInfo>& list) {
  snd_config_t* top = nullptr;
  if (snd_config_update_ref(&top) < 0) top = nullptr;
  std::vector<NamedDevice> named = namedDevices(direction);
  // "default" rarely carries a hint of its own, but the configuration always defines it.
  if (std::none_of(named.begin(), named.end(),
                   [](const NamedDevice& d) { return d.name == "default"; })) {
    named.insert(named.begin(), {"default", "Default device"});
  }
  for (const NamedDevice& device : named) {
    const std::string type = configuredType(top, device.name);
    if (type.empty() || isFilterType(type)) continue;
    PcmDeviceInfo info;
    info.id = device.name;
    info.name =
        device.description.empty() ? device.name : device.description + " (" + device.name + ")";
    if (probe(info.id, direction, info)) list.push_back(std::move(info));
  }
  if (top) snd_config_unref(top);
}

void addCardDevices(PcmDirection direction, std::vector<PcmDeviceInfo>& list) {
  snd_ctl_card_info_t* cardInfo = nullptr;
  snd_pcm_info_t* pcmInfo = nullptr;
  if (snd_ctl_card_info_malloc(&cardInfo) < 0) return;
  if (snd_pcm_info_malloc(&pcmInfo) < 0) {
    snd_ctl_card_info_free(cardInfo);
    return;
  }
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, ("hw:" + std::to_string(card)).c_str(), 0) < 0) continue;
    if (snd_ctl_card_info(ctl, cardInfo) < 0) {
      snd_ctl_close(ctl);
      continue;
    }
    const std::string cardId = snd_ctl_card_info_get_id(cardInfo);
    const std::string cardName = snd_ctl_card_info_get_name(cardInfo);
    int device = -1;
    while (snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
      snd_pcm_info_set_device(pcmInfo, static_cast<unsigned int>(device));
      snd_pcm_info_set_subdevice(pcmInfo, 0);
      snd_pcm_info_set_stream(pcmInfo, streamOf(direction));
      if (snd_ctl_pcm_info(ctl, pcmInfo) < 0) continue;  // no stream of this direction
      // Named by the card's id, which stays when cards are plugged in another order.
      const std::string hw = "hw:CARD=" + cardId + ",DEV=" + std::to_string(device);
      PcmDeviceInfo info;
      info.id = hw;
      info.name = cardName + ", " + snd_pcm_info_get_name(pcmInfo) + " (hw:" + cardId + "," +
                  std::to_string(device) + ")";
      if (probe(hw, direction, info)) list.push_back(std::move(info));
    }
    snd_ctl_close(ctl);
  }
  snd_pcm_info_free(pcmInfo);
  snd_ctl_card_info_free(cardInfo);
}

}  // namespace

std::vector<PcmDeviceInfo> listPcmDevices(PcmDirection direction) {
  silenceAlsaErrors();
  silenceJackMessages();
  std::vector<PcmDeviceInfo> list;
  addNamedDevices(direction, list);
  addCardDevices(direction, list);
  return list;
}

}  // namespace platform
