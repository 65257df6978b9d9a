#include "instance_midi.h"

#include "framework/settings_folder.h"

namespace vstplugin {

InstanceMidi::InstanceMidi(plugin::evaProcessor& processor)
    : stepper_(processor), control_(processor, stepper_, lcd_) {}

void InstanceMidi::loadMappings() {
  control_.loadMappings(framework::SettingsFolder::file(ui::vlvrMidiControl::kMappingsFileName));
}

}  // namespace vstplugin
