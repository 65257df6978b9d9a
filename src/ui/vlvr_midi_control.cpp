#include "ui/vlvr_midi_control.h"

#include <algorithm>
#include <vector>

#include "framework/safe_file.h"
#include "plugin/eva_processor.h"
#include "plugin/parameter_descriptor.h"

namespace ui {
namespace {

constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kVolumeController = 7;
// Descriptor rows the controller learns bind to.
constexpr int kVolumeRow = 18;
constexpr int kWahPositionRow = 3;
// A preset key sent as a controller steps only from this value up: a foot switch sends it on
// press and 0 on release.
constexpr int kPressed = 64;
// Trailing bytes after the keys are ignored, but only up to this size.
constexpr size_t kMappingsReadLimit = 64u << 10;

// Controller numbers 0..63 → rack parameter ids; the rest are not mapped.
constexpr int32_t kDefaultMap[64] = {
    255, 5,  4,  53, 36, 35, 34, 51, 54, 39, 255, 38, 37, 55, 43,  40,  41,  42, 56, 12, 10, 11,
    9,   8,  6,  7,  0,  1,  2,  3,  13, 15, 16,  17, 18, 19, 23,  22,  21,  24, 25, 26, 27, 28,
    29,  30, 31, 32, 52, 47, 49, 48, 50, 58, 44,  45, 46, 57, 255, 255, 255, 59, 60, 61};

uint32_t wordAt(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void appendWord(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(uint8_t(value >> shift));
}

}  // namespace

vlvrMidiControl::ControllerMap vlvrMidiControl::defaultControllerMap() {
  ControllerMap map;
  map.fill(kNotMapped);
  std::copy(std::begin(kDefaultMap), std::end(kDefaultMap), map.begin());
  return map;
}

vlvrMidiControl::vlvrMidiControl(plugin::evaProcessor& processor, ProgramChanger& programs,
                                 LcdDisplay& lcd)
    : processor_(processor), programs_(programs), lcd_(lcd) {
  const ControllerMap defaults = defaultControllerMap();
  for (int i = 0; i < kMapSize; ++i)
    controllerMap_[i].store(defaults[i], std::memory_order_relaxed);
}

int32_t vlvrMidiControl::controller(int number) const {
  return number >= 0 && number < kMapSize ? controllerMap_[number].load(std::memory_order_relaxed)
                                          : kNotMapped;
}

void vlvrMidiControl::onMidiMessage(const uint8_t bytes[3]) {
  const uint8_t status = bytes[0];
  const uint8_t type = status & 0xF0;
  if (type != kControlChange && type != kProgramChange) return;
  const bool programChange = type == kProgramChange;

  // A volume pedal on channel n acts as controller n, so pedals on several channels can be
  // told apart.
  const int programNumber = bytes[1] & 0x7F;
  uint8_t data1 = bytes[1];
  if (data1 == kVolumeController) data1 = status & 0x0F;
  const int number = data1 & 0x7F;
  const uint32_t key = uint32_t(status) << 8 | data1;
  const int value = bytes[2] & 0x7F;

  // Program numbers are not controller numbers: only controllers are learned for a knob.
  if (!programChange && learnParameter_.exchange(false, std::memory_order_acquire)) {
    const int row = learnRow_.load(std::memory_order_relaxed);
    if (row >= 0 && row < plugin::kParameterCount) {
      controllerMap_[number].store(plugin::kParameterDescriptors[row].rackParameterId,
                                   std::memory_order_relaxed);
      mappingsModified_.store(true, std::memory_order_relaxed);
    }
  }

  const int mode = learnMode_.exchange(0, std::memory_order_relaxed);
  if (mode == kLearnPresetUp || mode == kLearnPresetDown) {
    (mode == kLearnPresetUp ? presetUpKey_ : presetDownKey_).store(key, std::memory_order_relaxed);
    mappingsModified_.store(true, std::memory_order_relaxed);
    keyLearned_.store(true, std::memory_order_relaxed);
  } else {
    for (const auto& [presetKey, step] : {std::pair{&presetUpKey_, 1}, {&presetDownKey_, -1}}) {
      if (presetKey->load(std::memory_order_relaxed) != key) continue;
      if (programChange || value >= kPressed) pendingStep_.store(step, std::memory_order_relaxed);
      return;
    }
  }

  // A program change that is no preset key selects its program; through the map it would only
  // zero whatever knob its program number happens to be mapped to.
  if (!programChange) {
    setFromController(number, value);
  } else if (mode == 0) {
    pendingProgram_.store(programNumber, std::memory_order_relaxed);
  }
}

void vlvrMidiControl::setFromController(int number, int value) {
  const int32_t id = controllerMap_[number].load(std::memory_order_relaxed);
  if (id == kNotMapped) return;
  for (int row = 0; row < plugin::kParameterCount; ++row) {
    const plugin::ParameterDescriptor& d = plugin::kParameterDescriptors[row];
    if (d.rackParameterId != id) continue;
    // Rounds into the row's range so that each whole value gets an equal share of the pedal.
    const int range = d.maximum - d.minimum;
    const int v = std::min(127, value + (128 / range) / 2);
    processor_.setParameterPlain(row, static_cast<float>(d.minimum + v * range / 127));
  }
}

void vlvrMidiControl::startLearn(int mode) {
  if (mode == kLearnPresetUp || mode == kLearnPresetDown) {
    if (learnMode_.load(std::memory_order_relaxed) == mode) {
      programs_.changeProgram(0);
      endPresetLearn();
      return;
    }
    learnParameter_.store(false, std::memory_order_relaxed);
    lcd_.showText("---", mode == kLearnPresetUp ? "WAIT PRESET UP CC" : "WAIT PRESET DOWN CC");
    learnMode_.store(mode, std::memory_order_relaxed);
  } else if (mode == kLearnVolume || mode == kLearnWah) {
    endPresetLearn();
    lcd_.showText("---", mode == kLearnVolume ? "WAIT VOLUME CC" : "WAIT WAH CC");
    learnRow_.store(mode == kLearnVolume ? kVolumeRow : kWahPositionRow, std::memory_order_relaxed);
    // Publishes the row with the flag.
    learnParameter_.store(true, std::memory_order_release);
  }
}

void vlvrMidiControl::idle() {
  const int step = pendingStep_.exchange(0, std::memory_order_relaxed);
  const bool learned = keyLearned_.exchange(false, std::memory_order_relaxed);
  const int program = pendingProgram_.exchange(-1, std::memory_order_relaxed);
  if (step != 0 || learned) {
    programs_.changeProgram(step);
    endPresetLearn();
  }
  if (program >= 0) {
    programs_.selectProgram(program);
    endPresetLearn();
  }
}

void vlvrMidiControl::loadMappings(const std::string& path) {
  const ControllerMap defaults = defaultControllerMap();
  for (int i = 0; i < kMapSize; ++i)
    controllerMap_[i].store(defaults[i], std::memory_order_relaxed);

  // A short file gives what it holds; whatever follows the keys is not ours. readFile refuses
  // a FIFO of this name (which would block start-up) and anything absurdly large.
  const auto file = framework::readFile(path, kMappingsReadLimit);
  const size_t words = file ? std::min(file->size(), kMappingsFileBytes) / 4 : 0;
  for (size_t i = 0; i < words; ++i) {
    const uint32_t word = wordAt(file->data() + 4 * i);
    if (i < kMapSize) {
      controllerMap_[i].store(static_cast<int32_t>(word), std::memory_order_relaxed);
    } else {
      (i == kMapSize ? presetUpKey_ : presetDownKey_).store(word, std::memory_order_relaxed);
    }
  }
  mappingsModified_.store(false, std::memory_order_relaxed);
}

bool vlvrMidiControl::saveMappings(const std::string& path) {
  if (!mappingsModified()) return true;
  std::vector<uint8_t> bytes;
  bytes.reserve(kMappingsFileBytes);
  for (const auto& entry : controllerMap_)
    appendWord(bytes, static_cast<uint32_t>(entry.load(std::memory_order_relaxed)));
  appendWord(bytes, presetUpKey());
  appendWord(bytes, presetDownKey());
  if (!framework::writeFileAtomically(path, bytes)) return false;
  mappingsModified_.store(false, std::memory_order_relaxed);
  return true;
}

}  // namespace ui
