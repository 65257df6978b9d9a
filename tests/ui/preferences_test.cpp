#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "ui/vlvr_preferences.h"
#include "ui_test_support.h"

namespace {

using framework::fourCC;
using ui::vlvrPreferences;
using uitest::appendWord;

struct Atom {
  uint32_t tag;
  std::vector<uint32_t> words;
};

std::vector<uint8_t> atomsFile(const std::vector<Atom>& atoms, bool bigEndian = false) {
  std::vector<uint8_t> bytes;
  appendWord(bytes, 0x41467367, bigEndian);
  for (const Atom& atom : atoms) {
    appendWord(bytes, atom.tag, bigEndian);
    appendWord(bytes, uint32_t(4 * atom.words.size()), bigEndian);
    for (uint32_t word : atom.words)
      appendWord(bytes, word, bigEndian);
  }
  return bytes;
}

uint32_t floatWord(float value) {
  return std::bit_cast<uint32_t>(value);
}

// The main window's close and reopen write and read them back.
TEST(Preferences, ReadingRules) {
  const uint32_t tune = fourCC("tune"), skin = fourCC("skin"), last = fourCC("last");
  uitest::TempFolder folder;
  const std::string path = folder.path(vlvrPreferences::kFileName);
  const struct {
    const char* what;
    std::vector<uint8_t> file;
    float reference;
    int32_t skin, last;
  } cases[] = {
      {"no tune", atomsFile({{skin, {5}}, {last, {9}}}), 440.0f, 5, 9},
      {"other byte order",
       atomsFile({{tune, {floatWord(441.7f)}}, {skin, {6}}, {last, {127}}}, true), 441.7f, 6, 127},
      {"last above 127", atomsFile({{tune, {floatWord(430.0f)}}, {skin, {1}}, {last, {128}}}),
       430.0f, 1, 0},
      {"unusable values", atomsFile({{tune, {0x7FC00000}}, {skin, {8}}, {last, {3}}}), 440.0f, 0,
       3},
  };
  for (const auto& c : cases) {
    testsupport::writeBytes(path, c.file);
    vlvrPreferences prefs;
    EXPECT_TRUE(prefs.load(path)) << c.what;
    EXPECT_EQ(prefs.tunerReference(), c.reference) << c.what;
    EXPECT_EQ(prefs.skin(), c.skin) << c.what;
    EXPECT_EQ(prefs.lastProgram(), c.last) << c.what;
  }

  for (const std::vector<uint8_t>& foreign : {std::vector<uint8_t>{}, {'n', 'o', 'p', 'e', 1, 2}}) {
    testsupport::writeBytes(path, foreign);
    EXPECT_FALSE(vlvrPreferences().load(path));
  }
  EXPECT_FALSE(vlvrPreferences().load(folder.path("none.prf")));
}

}  // namespace
