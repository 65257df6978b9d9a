#include "host/eva_audio_settings_panel.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/epi_text.h"
#include "gui/epi_engine_class.h"
#include "gui/epi_label.h"
#include "gui/epi_list_control.h"
#include "gui/epi_push_button.h"
#include "host/eva_host_audio.h"

namespace host {
namespace {

using gui::epiListControl;
using gui::Rect;

constexpr int32_t kMargin = 12, kColumn = 296, kFieldWidth = 280;
constexpr int32_t kRowPitch = 50, kLabelHeight = 18, kListHeight = 24;

struct Field {
  int32_t control;
  const char* label;
  int32_t column, row;
};

// Two columns: what the amp listens to on the left, what it plays into on the right.
const Field kFields[] = {
    {evaAudioSettingsPanel::kTechnology, "Technology", 0, 0},
    {evaAudioSettingsPanel::kInputDevice, "Input device", 0, 1},
    {evaAudioSettingsPanel::kInputChannel, "Input channel", 0, 2},
    {evaAudioSettingsPanel::kSampleRate, "Sample rate", 0, 3},
    {evaAudioSettingsPanel::kMidiInput, "MIDI input", 0, 4},
    {evaAudioSettingsPanel::kOutputDevice, "Output device", 1, 1},
    {evaAudioSettingsPanel::kOutputLeft, "Left output channel", 1, 2},
    {evaAudioSettingsPanel::kOutputRight, "Right output channel", 1, 3},
    {evaAudioSettingsPanel::kBufferSize, "Buffer size", 1, 4},
};

bool sameText(const std::string& a, const std::string& b) {
  return epiText(a.c_str()).equalsNoCase(b.c_str());
}

template <typename List, typename Name>
std::vector<std::string> namesOf(const List& list, Name name) {
  std::vector<std::string> names;
  for (const auto& each : list)
    names.push_back(name(each));
  return names;
}

std::vector<std::string> decimal(const std::vector<int32_t>& values, int32_t smallest) {
  std::vector<std::string> texts;
  for (int32_t value : values)
    if (value >= smallest) texts.push_back(std::to_string(value));
  return texts;
}

// The settings folder may not exist before the first save.
bool writeSettings(const HardwareSettings& settings) {
  if (!settings.folder().empty()) {
    std::error_code error;
    if (std::filesystem::create_directories(settings.folder(), error))
      std::filesystem::permissions(settings.folder(), std::filesystem::perms::owner_all, error);
  }
  return settings.write();
}

}  // namespace

evaAudioSettingsPanel* evaAudioSettingsPanel::open(gui::epiEngineClass& engine,
                                                   evaHostAudio& audio) {
  auto dialog = std::make_unique<evaAudioSettingsPanel>(engine, audio);
  if (!dialog->openModal(kWidth, kHeight, kTitle)) return nullptr;
  auto& opened = static_cast<evaAudioSettingsPanel&>(engine.adopt(std::move(dialog)));
  opened.refreshTechnology(true);
  return &opened;
}

evaAudioSettingsPanel::evaAudioSettingsPanel(gui::epiEngineClass& engine, evaHostAudio& audio)
    : epiDialog(engine, kIdentifier),
      audio_(audio),
      settings_(audio.settings()),
      backup_(audio.settings()) {
  for (const Field& f : kFields) {
    const int32_t x = kMargin + f.column * kColumn, y = 10 + f.row * kRowPitch;
    add(std::make_unique<gui::epiLabel>(f.control + 1, Rect{x, y, kFieldWidth, kLabelHeight},
                                        f.label));
    add(std::make_unique<epiListControl>(f.control,
                                         Rect{x, y + kLabelHeight, kFieldWidth, kListHeight}));
  }
  add(std::make_unique<gui::epiPushButton>(
      kControlPanel, Rect{kMargin + kColumn, 10 + kLabelHeight, 160, kListHeight + 4},
      "Control panel..."));
  add(std::make_unique<gui::epiPushButton>(kOk, Rect{kWidth - 200, kHeight - 40, 88, 28}, "OK"));
  add(std::make_unique<gui::epiPushButton>(kCancel, Rect{kWidth - 100, kHeight - 40, 88, 28},
                                           "Cancel"));
  setDefaultButton(kOk);
  setCancelButton(kCancel);

  std::vector<std::string> technologies;
  for (int32_t i = 0; i < MPAudio::getTechnologyCount(); ++i) {
    std::string name;
    if (MPAudio::getTechnologyName(i, name)) technologies.push_back(name);
  }
  list(kTechnology).setEntries(technologies);
  list(kTechnology).selectText(settings_.audioTechnology);
}

epiListControl& evaAudioSettingsPanel::list(int32_t control) const {
  return *widgetAs<epiListControl>(control);
}

void evaAudioSettingsPanel::enable(int32_t control, bool on) {
  widget(control)->setEnabled(on);
}

bool evaAudioSettingsPanel::hasControlPanel() const {
  return audio_.audio() && audio_.audio()->hasControlPanel();
}

void evaAudioSettingsPanel::fill(int32_t control, const std::vector<std::string>& entries,
                                 const std::string& name, int32_t fallback) {
  epiListControl& target = list(control);
  target.setEntries(entries);
  if (target.selectText(name)) return;
  target.select(fallback >= 0 && fallback < target.count() ? fallback : 0);
}

void evaAudioSettingsPanel::refreshTechnology(bool keep) {
  const std::string technology = list(kTechnology).selectedText();
  if (!keep && sameText(technology, settings_.audioTechnology)) return;
  audio_.destroy();
  const bool chosen = !technology.empty();
  enable(kInputDevice, chosen);
  enable(kMidiInput, chosen);
  for (int32_t control : {kInputChannel, kOutputLeft, kOutputRight, kSampleRate, kBufferSize})
    enable(control, false);
  for (int32_t control : {kInputDevice, kOutputDevice, kMidiInput})
    list(control).clear();

  if (chosen) {
    // Another back end starts from rates and sizes every device takes.
    if (!keep) {
      settings_.selectedFrequencies = "44100";
      settings_.selectedBufSize = "1024";
    }
    settings_.audioTechnology = technology;
    audio_.create();
    const auto deviceName = [](const AudioDeviceRecord& r) { return r.name; };
    fill(kInputDevice, namesOf(audio_.audio()->getInputDevices(), deviceName),
         settings_.curInDeviceName);
    fill(kOutputDevice, namesOf(audio_.audio()->getOutputDevices(), deviceName),
         settings_.curOuDeviceName);
    fill(
        kMidiInput,
        namesOf(audio_.midi()->getInputDevices(), [](const MidiDeviceRecord& r) { return r.name; }),
        settings_.curMidiInName);
    for (int32_t control : {kInputDevice, kMidiInput})
      if (list(control).count() == 0) enable(control, false);
  }

  // One driver serves both directions when it has a panel of its own: the output follows the
  // input.
  if (hasControlPanel()) {
    enable(kOutputDevice, false);
    refreshInput(true);
  } else {
    enable(kOutputDevice, chosen && list(kOutputDevice).count() > 0);
    refreshInput(true);
    refreshOutput(true);
  }
}

void evaAudioSettingsPanel::refreshInput(bool keep) {
  const epiListControl& devices = list(kInputDevice);
  if (!keep && sameText(devices.selectedText(), settings_.curInDeviceName)) return;
  enable(kSampleRate, false);
  enable(kInputChannel, false);
  if (devices.selection() != epiListControl::kNone) {
    settings_.curInDeviceName = devices.selectedText();
    AudioCapabilities caps;
    audio_.audio()->getCapabilities(devices.selection(), true, caps);
    fill(kInputChannel, caps.channelNames, settings_.curInChannelName, settings_.curInChannelIndex);
    enable(kInputChannel, true);
  } else {
    list(kInputChannel).clear();
  }
  if (hasControlPanel()) {
    list(kOutputDevice).select(devices.selection());
    refreshOutput(true);
  }
}

void evaAudioSettingsPanel::refreshOutput(bool keep) {
  const epiListControl& devices = list(kOutputDevice);
  if (!keep && sameText(devices.selectedText(), settings_.curOuDeviceName)) return;
  for (int32_t control : {kOutputLeft, kOutputRight, kBufferSize, kControlPanel, kSampleRate})
    enable(control, false);
  if (devices.selection() == epiListControl::kNone) {
    for (int32_t control : {kOutputLeft, kOutputRight, kBufferSize, kSampleRate})
      list(control).clear();
    return;
  }
  settings_.curOuDeviceName = devices.selectedText();
  AudioCapabilities caps;
  audio_.audio()->getCapabilities(devices.selection(), false, caps);

  fill(kSampleRate, decimal(caps.sampleRates, 1), settings_.selectedFrequencies);
  enable(kSampleRate, list(kSampleRate).count() > 1);
  // A name the device does not have falls back to the stored position, so a device whose
  // channels are not called "Left" and "Right" still plays in stereo.
  fill(kOutputLeft, caps.channelNames, settings_.curOuChannelLeftName,
       settings_.curOuChannelLeftIndex);
  fill(kOutputRight, caps.channelNames, settings_.curOuChannelRightName,
       settings_.curOuChannelRightIndex);
  const bool channels = caps.channelNames.size() > 1;
  enable(kOutputLeft, channels);
  enable(kOutputRight, channels);
  fill(kBufferSize, decimal(caps.bufferSizes, kSmallestBlock), settings_.selectedBufSize);
  enable(kBufferSize, list(kBufferSize).count() > 1);
  enable(kControlPanel, caps.hasControlPanel);
}

void evaAudioSettingsPanel::widgetChanged(int32_t number) {
  switch (number) {
    case kTechnology:
      refreshTechnology(false);
      break;
    case kInputDevice:
      refreshInput(false);
      break;
    case kOutputDevice:
      refreshOutput(false);
      break;
    default:
      // The other lists are read on OK.
      break;
  }
}

void evaAudioSettingsPanel::widgetPressed(int32_t number) {
  switch (number) {
    case kOk:
      accept();
      break;
    case kCancel:
      cancel();
      break;
    case kControlPanel:
      if (audio_.audio()) audio_.audio()->showControlPanel(list(kOutputDevice).selection(), false);
      break;
    default:
      break;
  }
}

void evaAudioSettingsPanel::accept() {
  // A list with nothing to choose from leaves its value as it was.
  const auto take = [&](int32_t control, std::string& text) {
    if (list(control).selection() != epiListControl::kNone) text = list(control).selectedText();
  };
  const auto takeIndex = [&](int32_t control, int32_t& index) {
    if (list(control).selection() != epiListControl::kNone) index = list(control).selection();
  };
  take(kInputDevice, settings_.curInDeviceName);
  take(kOutputDevice, settings_.curOuDeviceName);
  take(kBufferSize, settings_.selectedBufSize);
  take(kSampleRate, settings_.selectedFrequencies);
  take(kMidiInput, settings_.curMidiInName);
  take(kOutputLeft, settings_.curOuChannelLeftName);
  take(kOutputRight, settings_.curOuChannelRightName);
  take(kInputChannel, settings_.curInChannelName);
  takeIndex(kOutputLeft, settings_.curOuChannelLeftIndex);
  takeIndex(kOutputRight, settings_.curOuChannelRightIndex);
  takeIndex(kInputChannel, settings_.curInChannelIndex);
  writeSettings(settings_);
  audio_.stop();
  audio_.start();
  close();
}

void evaAudioSettingsPanel::cancel() {
  audio_.destroy();
  settings_ = backup_;
  audio_.create();
  audio_.start();
  close();
}

}  // namespace host
