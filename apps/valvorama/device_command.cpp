// valvorama devices: what the audio settings offer, technology by technology, and the MIDI
// inputs.

#include <cstdio>
#include <string>

#include "commands.h"
#include "framework/settings_folder.h"
#include "host/hardware_settings.h"
#include "host/mp_audio.h"
#include "host/mp_midi_win_multimedia.h"

namespace {

// The dialog leaves out buffer sizes under 64 frames; so do we.
constexpr int32_t kSmallestOfferedBuffer = 64;

template <class T, class Print>
void printList(const char* title, const std::vector<T>& items, Print print) {
  std::printf("      %s:", title);
  if (items.empty()) std::fputs(" (none)", stdout);
  for (const T& item : items)
    print(item);
  std::fputc('\n', stdout);
}

void printDevices(host::MPAudio& audio, bool isInput, const std::string& selected) {
  const host::AudioDeviceList& devices =
      isInput ? audio.getInputDevices() : audio.getOutputDevices();
  std::printf("  %s devices:%s\n", isInput ? "input" : "output", devices.empty() ? " (none)" : "");
  for (size_t d = 0; d < devices.size(); ++d) {
    const std::string& name = devices[d].name;
    std::printf("    \"%s\"%s\n", name.c_str(), name == selected ? "  (selected)" : "");
    host::AudioCapabilities caps;
    if (!audio.getCapabilities(static_cast<int32_t>(d), isInput, caps)) {
      std::puts("      (no answer from the device)");
      continue;
    }
    printList("channels", caps.channelNames,
              [](const std::string& c) { std::printf(" %s", c.c_str()); });
    printList("sample rates", caps.sampleRates, [](int32_t r) { std::printf(" %d", r); });
    printList("buffer sizes", caps.bufferSizes, [](int32_t b) {
      if (b >= kSmallestOfferedBuffer) std::printf(" %d", b);
    });
    if (caps.hasControlPanel) std::puts("      has a control panel");
  }
}

}  // namespace

int runDevices(Arguments& args) {
  std::string folder;
  if (args.takeValue("--config", folder)) framework::SettingsFolder::setOverride(folder);
  args.finish();

  host::HardwareSettings settings(framework::SettingsFolder::path());
  settings.read();  // only to mark the devices in use

  std::fputs("technologies:", stdout);
  for (int32_t t = 0; t < host::MPAudio::getTechnologyCount(); ++t) {
    std::string name;
    host::MPAudio::getTechnologyName(t, name);
    std::printf(" %s", name.c_str());
  }
  std::fputc('\n', stdout);

  for (int32_t t = 0; t < host::MPAudio::getTechnologyCount(); ++t) {
    std::string name;
    host::MPAudio::getTechnologyName(t, name);
    const bool selected = name == settings.audioTechnology;
    std::printf("\n%s%s\n", name.c_str(), selected ? "  (selected)" : "");
    host::MPAudio audio;
    if (!audio.selectTechnology(t)) {
      std::puts("  not available in this version");
      continue;
    }
    audio.enumerateDevices(false);
    printDevices(audio, true, selected ? settings.curInDeviceName : std::string());
    printDevices(audio, false, selected ? settings.curOuDeviceName : std::string());
  }

  host::MPMidiWinMultimedia midi;
  midi.enumerateDevices(false);
  const host::MidiDeviceList& inputs = midi.getInputDevices();
  std::printf("\nMIDI input devices:%s\n", inputs.empty() ? " (none)" : "");
  for (const host::MidiDeviceRecord& device : inputs) {
    std::printf("  \"%s\"%s\n", device.name.c_str(),
                device.name == settings.curMidiInName ? "  (selected)" : "");
  }
  return 0;
}
