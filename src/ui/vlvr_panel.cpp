#include "ui/vlvr_panel.h"

namespace ui {

bool vlvrPanel::open(const framework::ResourceFile& file, gui::PictureCache& pictures) {
  return load(file, kResourceId, pictures);
}

void vlvrPanel::showLamps(int32_t wahMode, int32_t delay, int32_t overdrive, int32_t speaker) {
  setControl(kDelayLamp, delay ? 1 : 0);
  setControl(kOverdriveLamp, overdrive ? 1 : 0);
  setControl(kSpeakerLamp, speaker ? 1 : 0);
  setControl(kWahLamp, wahMode != kWahOff ? 1 : 0);
}

void vlvrPanel::controlPressed(int32_t control) {
  if (control == kWahMode || control == kDelaySwitch || control == kSpeakerSwitch ||
      control == kOverdriveSwitch) {
    showLamps(getValue(kWahMode), getValue(kDelaySwitch), getValue(kOverdriveSwitch),
              getValue(kSpeakerSwitch));
  }
  evaPanel::controlPressed(control);
}

}  // namespace ui
