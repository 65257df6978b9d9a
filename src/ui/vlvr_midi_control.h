#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/midi_handler.h"
#include "ui/lcd_display.h"
#include "ui/program_changer.h"

namespace plugin {
class evaProcessor;
}

namespace ui {

// The main window's MIDI handling: the controller map that binds controller numbers to rack
// parameter ids, the two learnable preset keys that step programs, program selection by
// Program Change, and MIDI learn. The window owns it; without a window the headless host does.
//
// Threads: onMidiMessage runs on the MIDI back end's thread; everything else on the
// user-interface thread. What they share is atomic words. The MIDI thread stores parameter
// values through the processor's setParameterPlain (atomic, and safe beside the audio thread)
// and never selects a program or touches the display: a preset key leaves a pending step, a
// Program Change a pending program, and a learned key a display refresh, all taken by idle().
class vlvrMidiControl : public plugin::MidiHandler {
 public:
  static constexpr const char* kMappingsFileName = "valvoramaMappings.dat";
  static constexpr int kMapSize = 256;
  static constexpr int32_t kNotMapped = 255;
  // The map's 256 signed 32-bit entries, then the up and the down key, little-endian.
  static constexpr size_t kMappingsFileBytes = kMapSize * 4 + 8;

  // The learns of the menu's four commands.
  enum Learn { kLearnPresetUp = 1, kLearnPresetDown = 2, kLearnVolume = 3, kLearnWah = 4 };

  using ControllerMap = std::array<int32_t, kMapSize>;
  static ControllerMap defaultControllerMap();

  // All three outlive this object.
  vlvrMidiControl(plugin::evaProcessor& processor, ProgramChanger& programs, LcdDisplay& lcd);

  // bytes: status, data 1, data 2 (0 for a two-byte message).
  void onMidiMessage(const uint8_t bytes[3]) override;

  // A learn from the menu. Choosing the preset learn that is already waiting cancels it; a
  // controller learn chosen again keeps waiting. One learn waits at a time: choosing another
  // replaces it, so one pedal never ends up learned twice.
  void startLearn(int mode);
  // The idle tick: steps the program a preset key asked for, selects the program a Program
  // Change named, or shows the program again after a preset key was learned.
  void idle();
  // Every program change ends a preset learn (the window calls this from its changeProgram).
  void endPresetLearn() { learnMode_.store(0, std::memory_order_relaxed); }

  // The default map, then as much of the file as it holds; no file keeps the defaults.
  void loadMappings(const std::string& path);
  // Writes the file (atomically) when a learn changed the mappings since they were loaded or
  // last saved. False only when a needed write failed.
  bool saveMappings(const std::string& path);

  int32_t controller(int number) const;
  // status × 256 + data 1 of the learned message; 0 for none.
  uint32_t presetUpKey() const { return presetUpKey_.load(std::memory_order_relaxed); }
  uint32_t presetDownKey() const { return presetDownKey_.load(std::memory_order_relaxed); }
  bool mappingsModified() const { return mappingsModified_.load(std::memory_order_relaxed); }
  // 1 or 2 while a preset learn waits, else 0.
  int learnMode() const { return learnMode_.load(std::memory_order_relaxed); }
  bool learningController() const { return learnParameter_.load(std::memory_order_relaxed); }

 private:
  void setFromController(int number, int value);

  plugin::evaProcessor& processor_;
  ProgramChanger& programs_;
  LcdDisplay& lcd_;
  std::array<std::atomic<int32_t>, kMapSize> controllerMap_;
  std::atomic<uint32_t> presetUpKey_{0};
  std::atomic<uint32_t> presetDownKey_{0};
  std::atomic<bool> mappingsModified_{false};
  std::atomic<int> learnMode_{0};
  std::atomic<bool> learnParameter_{false};
  std::atomic<int> learnRow_{-1};
  std::atomic<int> pendingStep_{0};
  std::atomic<int> pendingProgram_{-1};
  std::atomic<bool> keyLearned_{false};
};

}  // namespace ui
