#pragma once

#include <cstdint>

#include "framework/resource_file.h"
#include "gui/picture_cache.h"
#include "ui/eva_panel.h"

namespace ui {

// The front panel (panel resource 10): knobs, switches, lamps and the LCD. Pressing one of the
// switches that have a pilot lamp sets the lamps from the switches before the window hears of
// the press.
class vlvrPanel : public evaPanel {
 public:
  static constexpr uint32_t kResourceId = 10;

  // Controls the window addresses.
  enum Control : int32_t {
    kSkin = 0,
    kWahLamp = 4,
    kDelayLamp = 5,
    kOverdriveLamp = 6,
    kSpeakerLamp = 7,
    kWahMode = 8,
    kGateLamp = 9,
    kTunerSwitch = 10,
    kDelaySwitch = 11,
    kSpeakerSwitch = 12,
    kOverdriveSwitch = 13,
    kInTuneLamp = 14,
    kNote = 34,
    kSharp = 35,
    kNeedle = 48,
    kNameButton = 50,
    kProgramDown = 53,
    kProgramUp = 54,
    kSkinButton = 55,
    kAboutButton = 57,
    kLevel = 59,
    kProgramNumber = 60,
    kMessage = 61,
    kNamingHint = 63,
    kCancelButton = 64,
    kEditedMark = 65,
  };
  // The wah mode's "off" entry: its lamp is dark only there.
  static constexpr int16_t kWahOff = 1;
  // The needle parked off its 0..14 scale.
  static constexpr int16_t kNeedleOff = 20;

  using evaPanel::evaPanel;

  bool open(const framework::ResourceFile& file, gui::PictureCache& pictures);
  // Sets a control as the program does (gliding while the panel is shown).
  void setControl(int32_t control, int16_t value) { setValue(control, value); }
  void showLamps(int32_t wahMode, int32_t delay, int32_t overdrive, int32_t speaker);

 protected:
  void controlPressed(int32_t control) override;
};

}  // namespace ui
