#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/scratch_folder.h"
#include "plugin/vlvr_processor.h"
#include "support/file_bytes.h"
#include "ui/lcd_display.h"
#include "ui/program_stepper.h"
#include "ui/vlvr_midi_control.h"

namespace uitest {

struct RecordingLcd : ui::LcdDisplay {
  void showText(const std::string& number, const std::string& text) override {
    last = {number, text};
  }
  std::pair<std::string, std::string> last;
};

// A processor as the engine leaves it, with the window-less program stepping and the MIDI
// handling on it. `open` creates the rack.
struct MidiRig {
  explicit MidiRig(bool open = false) {
    processor->initialize();
    if (open) processor->open();
  }
  void send(uint8_t status, uint8_t data1, uint8_t data2 = 0) {
    const uint8_t bytes[3] = {status, data1, data2};
    midi.onMidiMessage(bytes);
  }
  float value(int row) const { return processor->parameterValue(row); }

  std::unique_ptr<plugin::vlvrProcessor> processor = std::make_unique<plugin::vlvrProcessor>();
  RecordingLcd lcd;
  ui::ProgramStepper programs{*processor, lcd};
  ui::vlvrMidiControl midi{*processor, programs, lcd};
};

using TempFolder = testsupport::ScratchFolder;

inline void appendWord(std::vector<uint8_t>& bytes, uint32_t value, bool bigEndian = false) {
  for (int i = 0; i < 4; ++i)
    bytes.push_back(uint8_t(value >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

}  // namespace uitest
