#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/parameter_descriptor.h"
#include "support/allocation_counter.h"
#include "ui_test_support.h"

namespace {

using ui::vlvrMidiControl;
using uitest::MidiRig;

constexpr int kVolumeRow = 18;
constexpr int kVolumeId = 20;

std::pair<std::string, std::string> shown(const std::string& number, const std::string& text) {
  return {number, text};
}

bool anyChanged(const plugin::evaProcessor& processor) {
  for (int i = 0; i < processor.parameters().count(); ++i)
    if (processor.parameters()[i].isChanged()) return true;
  return false;
}

// A mapping file giving controller `number` the rack id `id` for each pair, the rest 255.
void writeMappings(const std::string& path, const std::vector<std::pair<int, int32_t>>& entries,
                   uint32_t upKey = 0, uint32_t downKey = 0) {
  std::vector<int32_t> map(vlvrMidiControl::kMapSize, vlvrMidiControl::kNotMapped);
  for (auto [number, id] : entries)
    map[number] = id;
  std::vector<uint8_t> bytes;
  for (int32_t id : map)
    uitest::appendWord(bytes, static_cast<uint32_t>(id));
  uitest::appendWord(bytes, upKey);
  uitest::appendWord(bytes, downKey);
  uitest::writeBytes(path, bytes);
}

TEST(MidiControl, DefaultMapDrivesTheKnobsItNames) {
  struct Case {
    uint8_t status, number;
    int row;
  };
  // Entry 7 is reached by the volume controller on the eighth channel.
  const Case cases[] = {{0xB0, 1, 3},   {0xB0, 19, 7},  {0xB0, 23, 0},  {0xB0, 30, 13},
                        {0xB0, 31, 14}, {0xB0, 32, 15}, {0xB0, 33, 16}, {0xB0, 34, 17},
                        {0xB0, 35, 4},  {0xB7, 7, 1},   {0xBF, 20, 5}};
  for (const Case& c : cases) {
    MidiRig rig;
    rig.send(c.status, c.number, 101);
    EXPECT_EQ(rig.value(c.row), 101.0f) << int(c.number);
  }
}

TEST(MidiControl, MessagesThatReachNothingChangeNothing) {
  uitest::TempFolder folder;
  writeMappings(folder.path("map.dat"), {{20, 1000}, {21, -5}});
  MidiRig rig;
  rig.midi.loadMappings(folder.path("map.dat"));
  const std::vector<std::vector<uint8_t>> messages = {
      {0xB0, 20, 90},  // an id no row has
      {0xB0, 21, 90},  // likewise
      {0xB0, 10, 90},  // 255: not mapped
      {0x90, 23, 90},  // a note
      {0xE0, 1, 90},   // pitch bend
      {0xC0, 30, 0},   // a program change: no knob, and no program before the idle tick
  };
  for (const auto& m : messages)
    rig.send(m[0], m[1], m[2]);
  // Volume on channel 3 is controller 2, whose default id 4 has no row.
  MidiRig defaults;
  defaults.send(0xB2, 7, 90);
  EXPECT_FALSE(anyChanged(*rig.processor));
  EXPECT_FALSE(anyChanged(*defaults.processor));
  EXPECT_EQ(rig.processor->getProgram(), 0);
}

TEST(MidiControl, ControllerValuesAreScaledToEachRowsRange) {
  uitest::TempFolder folder;
  // On/off "Overd On/Off", 0..2 "Wah Mode", 0..3 cabinet, 0..127 "Volume".
  writeMappings(folder.path("map.dat"), {{40, 9}, {41, 65}, {42, 63}, {43, kVolumeId}});
  struct Case {
    int number, row;
    std::vector<std::pair<int, float>> values;  // controller value → plain
  };
  const Case cases[] = {
      {40, 8, {{0, 0}, {62, 0}, {63, 1}, {127, 1}}},
      {41, 2, {{0, 0}, {31, 0}, {32, 1}, {94, 1}, {95, 2}, {127, 2}}},
      {42, 19, {{21, 0}, {22, 1}, {63, 1}, {64, 2}, {105, 2}, {106, 3}, {127, 3}}},
      {43, kVolumeRow, {{0, 0}, {1, 1}, {64, 64}, {126, 126}, {127, 127}}},
  };
  MidiRig rig;
  rig.midi.loadMappings(folder.path("map.dat"));
  for (const Case& c : cases) {
    for (auto [value, plain] : c.values) {
      rig.send(0xB0, uint8_t(c.number), uint8_t(value));
      EXPECT_EQ(rig.value(c.row), plain) << "row " << c.row << " value " << value;
    }
  }
}

TEST(MidiControl, LearnVolumeMapsTheNextControllerAndSetsTheVolumeAtOnce) {
  MidiRig rig;
  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);  // chosen again: still waiting
  EXPECT_EQ(rig.lcd.last(), shown("---", "WAIT VOLUME CC"));
  EXPECT_TRUE(rig.midi.learningController());
  rig.send(0x90, 11, 33);  // not a controller: still waiting
  EXPECT_FALSE(rig.midi.mappingsModified());

  {
    testsupport::AllocationCounter allocations;
    rig.send(0xB0, 11, 77);
    EXPECT_EQ(allocations.count(), 0u);
  }
  EXPECT_EQ(rig.midi.controller(11), kVolumeId);
  EXPECT_EQ(rig.value(kVolumeRow), 77.0f);
  EXPECT_TRUE(rig.midi.mappingsModified());
  EXPECT_FALSE(rig.midi.learningController());
  rig.send(0xB0, 11, 12);
  EXPECT_EQ(rig.value(kVolumeRow), 12.0f);

  // A volume pedal on channel 3 is learned as controller 2; the wah learn binds "WahPosition".
  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
  rig.send(0xB2, 7, 90);
  EXPECT_EQ(rig.midi.controller(2), kVolumeId);
  EXPECT_EQ(rig.value(kVolumeRow), 90.0f);
  rig.midi.startLearn(vlvrMidiControl::kLearnWah);
  EXPECT_EQ(rig.lcd.last().second, "WAIT WAH CC");
  rig.send(0xB0, 12, 5);
  EXPECT_EQ(rig.midi.controller(12), 5);
  EXPECT_EQ(rig.value(3), 5.0f);
}

TEST(MidiControl, TheSamePresetLearnTwiceCancelsAndShowsTheProgramAgain) {
  MidiRig rig;
  rig.processor->setProgram(5);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  EXPECT_EQ(rig.lcd.last(), shown("---", "WAIT PRESET UP CC"));
  EXPECT_EQ(rig.midi.learnMode(), 1);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetDown);
  EXPECT_EQ(rig.lcd.last().second, "WAIT PRESET DOWN CC");
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetDown);
  EXPECT_EQ(rig.midi.learnMode(), 0);
  EXPECT_EQ(rig.lcd.last(), shown("006", "PROGRAM 6"));
  rig.send(0xB0, 64, 127);
  EXPECT_EQ(rig.midi.presetDownKey(), 0u);
  EXPECT_FALSE(rig.midi.mappingsModified());
}

TEST(MidiControl, StartingALearnReplacesTheOneThatWaits) {
  MidiRig rig;
  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  rig.send(0xB0, 11, 127);
  EXPECT_EQ(rig.midi.presetUpKey(), 0xB00Bu);
  EXPECT_EQ(rig.midi.controller(11), 38);  // the default stays
}

TEST(MidiControl, AFootSwitchStepsOncePerPressAndOnlyOnTheIdleTick) {
  MidiRig rig;
  rig.processor->setProgram(126);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  rig.send(0xB0, 64, 127);  // learned on the press
  EXPECT_EQ(rig.midi.presetUpKey(), 0xB040u);
  EXPECT_EQ(rig.lcd.last().second, "WAIT PRESET UP CC");  // the display waits for the tick
  rig.midi.idle();
  EXPECT_EQ(rig.lcd.last(), shown("127", "PROGRAM 127"));
  rig.send(0xB0, 64, 0);  // the release
  rig.midi.idle();
  EXPECT_EQ(rig.processor->getProgram(), 126);

  const int expected[] = {127, 0, 1};  // 128 stepped up gives 1
  for (int program : expected) {
    rig.send(0xB0, 64, 127);
    EXPECT_EQ(rig.processor->getProgram(), program == 0 ? 127 : program - 1);  // not yet
    rig.midi.idle();
    rig.send(0xB0, 64, 0);
    rig.midi.idle();
    EXPECT_EQ(rig.processor->getProgram(), program);
  }
  EXPECT_EQ(rig.lcd.last(), shown("002", "PROGRAM 2"));
  // The same controller on another channel is another key.
  rig.send(0xB1, 64, 127);
  rig.midi.idle();
  EXPECT_EQ(rig.processor->getProgram(), 1);
}

TEST(MidiControl, ALearnedProgramChangeStepsOnEveryMessage) {
  MidiRig rig;
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetDown);
  rig.send(0xC0, 30);
  EXPECT_EQ(rig.midi.presetDownKey(), 0xC01Eu);
  EXPECT_FALSE(anyChanged(*rig.processor));  // controller 30's knob stays
  rig.midi.idle();
  for (int program : {127, 126, 125}) {  // 1 stepped down gives 128
    rig.send(0xC0, 30);
    rig.midi.idle();
    EXPECT_EQ(rig.processor->getProgram(), program);
  }
}

TEST(MidiControl, AProgramChangeSelectsItsProgramOnTheIdleTick) {
  MidiRig rig;
  rig.send(0xC5, 7);  // program 8 on any channel: 7 here is no volume controller
  EXPECT_EQ(rig.processor->getProgram(), 0);
  EXPECT_FALSE(anyChanged(*rig.processor)) << "no knob through the map";
  rig.midi.idle();
  EXPECT_EQ(rig.processor->getProgram(), 7);
  EXPECT_EQ(rig.lcd.last(), shown("008", "PROGRAM 8"));
  rig.send(0xC0, 126);
  rig.send(0xC0, 127);  // the last one wins
  rig.midi.idle();
  EXPECT_EQ(rig.processor->getProgram(), 127);

  // While a preset learn waits, a Program Change becomes the key and selects nothing.
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  rig.send(0xC0, 3);
  rig.midi.idle();
  EXPECT_EQ(rig.midi.presetUpKey(), 0xC003u);
  EXPECT_EQ(rig.processor->getProgram(), 127);
  rig.send(0xC0, 3);  // from now on it steps
  rig.midi.idle();
  EXPECT_EQ(rig.processor->getProgram(), 0);
}

TEST(MidiControl, MappingsAreWrittenOnlyAfterALearnAndReadBack) {
  uitest::TempFolder folder;
  const std::string path = folder.path(vlvrMidiControl::kMappingsFileName);
  MidiRig rig;
  rig.midi.loadMappings(path);  // no file: the defaults
  EXPECT_EQ(rig.midi.controller(1), 5);
  rig.send(0xB0, 11, 64);
  EXPECT_TRUE(rig.midi.saveMappings(path));
  EXPECT_FALSE(std::filesystem::exists(path));

  rig.midi.startLearn(vlvrMidiControl::kLearnVolume);
  rig.send(0xB0, 70, 64);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetUp);
  rig.send(0xB3, 64, 127);
  rig.midi.startLearn(vlvrMidiControl::kLearnPresetDown);
  rig.send(0xC0, 2);
  ASSERT_TRUE(rig.midi.saveMappings(path));
  const std::vector<uint8_t> bytes = uitest::readBytes(path);
  ASSERT_EQ(bytes.size(), 1032u);
  const auto word = [&](size_t offset) {
    return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + 4);
  };
  EXPECT_EQ(word(0), (std::vector<uint8_t>{0xFF, 0, 0, 0}));
  EXPECT_EQ(word(4 * 70), (std::vector<uint8_t>{20, 0, 0, 0}));
  EXPECT_EQ(word(1024), (std::vector<uint8_t>{0x40, 0xB3, 0, 0}));
  EXPECT_EQ(word(1028), (std::vector<uint8_t>{0x02, 0xC0, 0, 0}));

  MidiRig next;
  next.midi.loadMappings(path);
  for (int number = 0; number < vlvrMidiControl::kMapSize; ++number)
    EXPECT_EQ(next.midi.controller(number), rig.midi.controller(number)) << number;
  EXPECT_EQ(next.midi.presetUpKey(), 0xB340u);
  EXPECT_EQ(next.midi.presetDownKey(), 0xC002u);
  EXPECT_FALSE(next.midi.mappingsModified());

  // A short file gives the entries it holds.
  uitest::writeBytes(path, {20, 0, 0, 0, 21, 0, 0});
  next.midi.loadMappings(path);
  EXPECT_EQ(next.midi.controller(0), 20);
  EXPECT_EQ(next.midi.controller(1), 5);
}

TEST(MidiControl, AFifoNamedLikeTheMappingsFileGivesTheDefaultsWithoutWaiting) {
  uitest::TempFolder folder;
  const std::string path = folder.path(vlvrMidiControl::kMappingsFileName);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  MidiRig rig;
  rig.midi.loadMappings(path);  // blocked for ever on the open before
  EXPECT_EQ(rig.midi.controller(1), 5);
  EXPECT_EQ(rig.midi.controller(0), vlvrMidiControl::kNotMapped);
}

}  // namespace
