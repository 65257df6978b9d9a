#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "support/allocation_counter.h"
#include "ui_test_support.h"

namespace {

using ui::vlvrMidiControl;
using uitest::MidiRig;

constexpr int kVolumeRow = 18, kVolumeId = 20;

using Shown = std::pair<std::string, std::string>;

void writeMappings(const std::string& path, const std::vector<std::pair<int, int32_t>>& entries) {
  std::vector<int32_t> map(vlvrMidiControl::kMapSize, vlvrMidiControl::kNotMapped);
  for (auto [number, id] : entries)
    map[number] = id;
  std::vector<uint8_t> bytes;
  for (int32_t id : map)
    uitest::appendWord(bytes, static_cast<uint32_t>(id));
  bytes.resize(bytes.size() + 8);  // no preset keys
  testsupport::writeBytes(path, bytes);
}

TEST(MidiControl, ControllersDriveTheRowsTheirMapNamesScaledToEachRowsRange) {
  MidiRig defaults;
  // Entry 7 is reached by the volume controller on the eighth channel.
  for (auto [status, number, row] : {std::tuple{0xB0, 30, 13}, {0xB7, 7, 1}, {0xBF, 20, 5}}) {
    defaults.send(uint8_t(status), uint8_t(number), uint8_t(100 + row));
    EXPECT_EQ(defaults.value(row), float(100 + row)) << number;
  }

  uitest::TempFolder folder;
  // Ids no row has; on/off "Overd On/Off", 0..2 "Wah Mode", 0..127 "Volume".
  writeMappings(folder.path("map.dat"), {{20, 1000}, {21, -5}, {40, 9}, {41, 65}, {43, kVolumeId}});
  MidiRig rig;
  rig.midi.loadMappings(folder.path("map.dat"));
  // Unknown ids, 255 (not mapped), a note, pitch bend, a program change before the idle tick.
  for (auto [status, number] :
       {std::pair{0xB0, 20}, {0xB0, 21}, {0xB0, 10}, {0x90, 23}, {0xE0, 1}, {0xC0, 30}})
    rig.send(uint8_t(status), uint8_t(number), 90);
  for (int row = 0; row < rig.processor->parameters().count(); ++row)
    EXPECT_FALSE(rig.processor->parameters()[row].isChanged()) << "row " << row;
  EXPECT_EQ(rig.processor->getProgram(), 0);

  const struct {
    int number, row;
    std::vector<std::pair<int, float>> values;  // controller value → plain
  } scaled[] = {
      {40, 8, {{0, 0}, {62, 0}, {63, 1}, {127, 1}}},
      {41, 2, {{0, 0}, {31, 0}, {32, 1}, {94, 1}, {95, 2}, {127, 2}}},
      {43, kVolumeRow, {{0, 0}, {1, 1}, {64, 64}, {126, 126}, {127, 127}}},
  };
  for (const auto& c : scaled) {
    for (auto [value, plain] : c.values) {
      rig.send(0xB0, uint8_t(c.number), uint8_t(value));
      EXPECT_EQ(rig.value(c.row), plain) << "row " << c.row << " value " << value;
    }
  }
}

TEST(MidiControl, ALearnBindsTheNextControllerAndOneLearnReplacesAnother) {
  MidiRig rig;
  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);  // chosen again: still waiting
  EXPECT_EQ(rig.lcd.last, Shown("---", "WAIT VOLUME CC"));
  rig.send(0x90, 11, 33);  // not a controller: still waiting
  EXPECT_FALSE(rig.midi.mappingsModified());
  {
    testsupport::AllocationCounter allocations;
    rig.send(0xB0, 11, 77);
    EXPECT_EQ(allocations.count(), 0u);
  }
  EXPECT_EQ(rig.midi.controller(11), kVolumeId);
  EXPECT_EQ(rig.value(kVolumeRow), 77.0f) << "set at once";
  EXPECT_TRUE(rig.midi.mappingsModified());
  EXPECT_FALSE(rig.midi.learningController());

  // A preset learn replaces a waiting volume learn.
  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  EXPECT_EQ(rig.lcd.last, Shown("---", "WAIT PRESET UP CC"));
  const int32_t mapped = rig.midi.controller(13);
  rig.send(0xB0, 13, 127);
  EXPECT_EQ(rig.midi.presetUpKey(), 0xB00Du);
  EXPECT_EQ(rig.midi.controller(13), mapped);
}

TEST(MidiControl, FootSwitchesAndProgramChangesSelectProgramsOnTheIdleTick) {
  MidiRig rig;
  rig.programs.changeProgram(-1);  // without a window too, 1 stepped down gives 128
  EXPECT_EQ(rig.lcd.last, Shown("128", "PROGRAM 128"));
  rig.send(0xC5, 125);  // program 126 on any channel
  EXPECT_EQ(rig.processor->getProgram(), 127);
  rig.midi.idle();
  EXPECT_EQ(rig.lcd.last, Shown("126", "PROGRAM 126"));

  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  rig.send(0xB0, 64, 127);  // learned on the press
  EXPECT_EQ(rig.midi.presetUpKey(), 0xB040u);
  EXPECT_EQ(rig.lcd.last.second, "WAIT PRESET UP CC");  // the display waits for the tick
  rig.midi.idle();
  EXPECT_EQ(rig.lcd.last, Shown("126", "PROGRAM 126"));
  rig.send(0xB0, 64, 0);  // the release
  rig.midi.idle();
  EXPECT_EQ(rig.processor->getProgram(), 125);
  for (int program : {126, 127, 0, 1}) {  // 128 stepped up gives 1
    rig.send(0xB0, 64, 127);
    EXPECT_EQ(rig.processor->getProgram(), (program + 127) % 128) << "not before the tick";
    rig.midi.idle();
    rig.send(0xB0, 64, 0);
    rig.midi.idle();
    EXPECT_EQ(rig.processor->getProgram(), program);
  }
  EXPECT_EQ(rig.lcd.last, Shown("002", "PROGRAM 2"));
}

TEST(MidiControl, MappingsAreWrittenOnlyAfterALearnAndReadBack) {
  uitest::TempFolder folder;
  const std::string path = folder.path(vlvrMidiControl::kMappingsFileName);
  // A fifo of that name gives the defaults at once, without blocking on its open.
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  MidiRig rig;
  rig.midi.loadMappings(path);
  EXPECT_EQ(rig.midi.controller(1), 5);
  EXPECT_EQ(rig.midi.controller(0), vlvrMidiControl::kNotMapped);
  std::filesystem::remove(path);
  rig.send(0xB0, 11, 64);
  EXPECT_TRUE(rig.midi.saveMappings(path));
  EXPECT_FALSE(std::filesystem::exists(path)) << "nothing was learned";

  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
  rig.send(0xB0, 70, 64);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  rig.send(0xB3, 64, 127);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetDown);
  rig.send(0xC0, 2);
  ASSERT_TRUE(rig.midi.saveMappings(path));
  const std::vector<uint8_t> bytes = testsupport::readBytes(path);
  ASSERT_EQ(bytes.size(), 1032u);
  const auto word = [&](size_t offset) {
    return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + 4);
  };
  EXPECT_EQ(word(4 * 70), (std::vector<uint8_t>{20, 0, 0, 0}));
  EXPECT_EQ(word(1024), (std::vector<uint8_t>{0x40, 0xB3, 0, 0}));

  MidiRig next;
  next.midi.loadMappings(path);
  EXPECT_EQ(next.midi.controller(70), 20);
  EXPECT_EQ(next.midi.presetUpKey(), 0xB340u);
  EXPECT_EQ(next.midi.presetDownKey(), 0xC002u);
  EXPECT_FALSE(next.midi.mappingsModified());

  // A short file gives the entries it holds.
  testsupport::writeBytes(path, {20, 0, 0, 0, 21, 0, 0});
  next.midi.loadMappings(path);
  EXPECT_EQ(next.midi.controller(0), 20);
  EXPECT_EQ(next.midi.controller(1), 5);
}

}  // namespace
