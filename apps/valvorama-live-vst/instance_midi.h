#pragma once

#include <string>

#include "ui/lcd_display.h"
#include "ui/program_stepper.h"
#include "ui/vlvr_midi_control.h"

namespace plugin {
class evaProcessor;
}

namespace vstplugin {

// The LCD of a learn, which only the window starts: nothing is shown.
class BlankLcd : public ui::LcdDisplay {
 public:
  void showText(const std::string&, const std::string&) override {}
};

// The MIDI handling of a plug-in instance whose editor is closed: the main window's controller
// map and preset keys, with a program stepper that shows nothing in place of the window (its
// steps neither allocate nor wait).
//
// Threads: onMidiMessage and takePending run on the thread the host sends events from (its
// audio thread); loadMappings on the host's user-interface thread (the words it writes are
// atomic).
class InstanceMidi {
 public:
  explicit InstanceMidi(plugin::evaProcessor& processor);

  plugin::MidiHandler& handler() { return control_; }
  // The mappings file of the settings folder, or the default map without one.
  void loadMappings();
  // The program steps and selections the messages asked for, done now: there is no window to
  // take them at its idle tick.
  void takePending() { control_.idle(); }

 private:
  BlankLcd lcd_;
  ui::ProgramStepper stepper_;
  ui::vlvrMidiControl control_;
};

}  // namespace vstplugin
