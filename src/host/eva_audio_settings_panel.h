#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_dialog.h"
#include "host/hardware_settings.h"

namespace gui {
class epiListControl;
}

namespace host {

class evaHostAudio;

// The "Audio hardware settings" dialog: technology, devices, channels, sample rate, block size
// and MIDI input, edited live on the host's audio object and its settings. Changing the
// technology recreates the audio and MIDI objects at once; OK writes the settings file and
// restarts audio with the new values; Cancel (Escape, the close button) puts the values it
// found back and restarts with them.
//
// The audio object must outlive the dialog, or close it first. User-interface thread only.
class evaAudioSettingsPanel : public gui::epiDialog {
 public:
  static constexpr uint32_t kIdentifier = framework::fourCC("ause");
  static constexpr const char* kTitle = "Audio hardware settings";
  static constexpr int32_t kWidth = 600, kHeight = 306;

  // The lists and buttons by number; each list's label is the number after it.
  enum Control : int32_t {
    kInputDevice = 0,
    kInputChannel = 2,
    kBufferSize = 4,
    kOk = 6,
    kCancel = 7,
    kMidiInput = 8,
    kOutputDevice = 10,
    kOutputLeft = 12,
    kOutputRight = 14,
    kSampleRate = 16,
    kTechnology = 18,
    kControlPanel = 20,
  };
  // Block sizes below this are not offered.
  static constexpr int32_t kSmallestBlock = 64;

  // Opens the dialog, owned by the engine until it closes; null when it cannot open.
  static evaAudioSettingsPanel* open(gui::epiEngineClass& engine, evaHostAudio& audio);

  evaAudioSettingsPanel(gui::epiEngineClass& engine, evaHostAudio& audio);

  gui::epiListControl& list(int32_t control) const;

  void closeRequested() override { cancel(); }

 protected:
  void widgetPressed(int32_t number) override;
  void widgetChanged(int32_t number) override;

 private:
  void refreshTechnology(bool keep);
  void refreshInput(bool keep);
  void refreshOutput(bool keep);
  // Fills a list and selects `name`, else the entry at `fallback`, else the first.
  void fill(int32_t control, const std::vector<std::string>& entries, const std::string& name,
            int32_t fallback = 0);
  void enable(int32_t control, bool on);
  bool hasControlPanel() const;
  void accept();
  void cancel();

  evaHostAudio& audio_;
  HardwareSettings& settings_;
  const HardwareSettings backup_;
};

}  // namespace host
