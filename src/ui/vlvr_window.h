#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "framework/four_cc.h"
#include "gui/epi_timer.h"
#include "plugin/eva_processor_programs.h"
#include "ui/about_animation.h"
#include "ui/eva_window.h"
#include "ui/lcd_display.h"
#include "ui/level_led.h"
#include "ui/program_changer.h"
#include "ui/program_name_edit.h"
#include "ui/vlvr_midi_control.h"
#include "ui/vlvr_preferences.h"

namespace plugin {
class vlvrProcessor;
}
namespace rack {
class VRmore;
}

namespace ui {

class vlvrPanel;

// The amp's main window: the front panel and the about screen, program stepping and naming,
// the tuner switch and readout, the input level and gate lamps, skins, MIDI learn, and the
// files it reads when it opens and writes when it closes (preferences, MIDI mappings, the
// program bank, all in the settings folder).
//
// Menu checks and names live in the host window ("hosw") when there is one; without it (a
// plug-in host) they are left alone. User-interface thread only, apart from the MIDI handling's
// own entry point.
class vlvrWindow : public evaWindow, public LcdDisplay, public ProgramChanger {
 public:
  static constexpr uint32_t kHostWindow = framework::fourCC("hosw");
  static constexpr uint32_t kTunerDialog = framework::fourCC("tunn");
  static constexpr uint32_t kSelectProgram = framework::fourCC("sepr");
  static constexpr uint32_t kSaveMessage = framework::fourCC("save");
  static constexpr int32_t kFrontPanel = 0, kAboutPanel = 1;
  static constexpr int32_t kProgramCount = 128;
  static constexpr uint32_t kMeterMs = 40;
  static constexpr uint32_t kBlinkPasses = 30;

  explicit vlvrWindow(evaEngine& engine, const WindowClocks& clocks = {});
  ~vlvrWindow() override;

  // The window's operations.
  bool handleMessage(const gui::epiMessage& message) override;
  void handleCommand(int32_t command) override;
  void idle() override;
  void refreshDisplay() override { changeProgram(0); }
  void closeWindow() override;
  void updateControlForParameter(int32_t index, float plain) override;
  void keyTyped(int32_t key) override;
  void openWindow() override;
  std::unique_ptr<evaPanel> createPanel(int32_t number) override;
  void controlClicked(int32_t panel, int32_t control) override;
  void controlChanged(int32_t panel, int32_t control) override;
  plugin::MidiHandler* midiHandler() override { return &midi_; }

  // LCD and program stepping, for the MIDI handling and the menus.
  void showText(const std::string& number, const std::string& text) override;
  void changeProgram(int step) override;
  void selectProgram(int program) override;

  void showProgram();
  void startLearn(int mode) { midi_.startLearn(mode); }
  void tunerSetup();
  void showAbout();
  void setTunerMode(int32_t position);

  vlvrMidiControl& midiControl() { return midi_; }
  const vlvrPreferences& preferences() const { return preferences_; }
  const ProgramNameEdit& nameEdit() const { return nameEdit_; }
  bool aboutShowing() const { return aboutShowing_; }
  int32_t aboutScroll() const { return about_.scroll(); }

 private:
  vlvrPanel* front() const;
  rack::VRmore* amp() const;
  gui::epiWindow* hostWindow() const;
  void setupParameterControls();
  void loadFiles();
  void showSkin();
  void showLampsFromParameters();
  int32_t rackValue(int32_t rackParameterId) const;
  void checkProgram(int32_t program);
  void beginOrCommitEdit();
  void commitEdit();
  void cancelEdit();
  void showEditedMark(bool shown);
  void meterTick();
  void takeTunerReference(const std::string& text);
  void saveBank();

  vlvrPreferences preferences_;
  vlvrMidiControl midi_;
  ProgramNameEdit nameEdit_;
  LevelLed level_;
  AboutAnimation about_;
  gui::epiMillisecsTimer meterTimer_;
  gui::epiEventTimer blinkTimer_;
  plugin::vlvrProcessor* product_;
  bool gateLit_ = false;
  bool editedMark_ = false;
  bool aboutShowing_ = false;
  int32_t checkedProgram_ = -1;
  // The programs as the window found them: the bank is written back only when they changed.
  std::optional<plugin::evaProcessorPrograms> openedPrograms_;
};

}  // namespace ui
