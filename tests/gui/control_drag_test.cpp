#include <gtest/gtest.h>

#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_alpha_control_knob.h"
#include "panel_test_support.h"

namespace {

using platform::InputEvent;
using testsupport::mouse;
using testsupport::TestRig;

struct DragCase {
  const char* name;
  int32_t control;
  int32_t x;  // where the control sits
  int16_t start;
  uint32_t modifiers;
  std::vector<int32_t> ys;      // the press, then each move
  std::vector<int16_t> values;  // after each move
  std::vector<int32_t> frames;  // shown after each move
};

// Lists 1 and 2: entries 0, 1, 2 show frames 8, 64, 120.
void sendAmpList(gui::epiAlphaPanel& panel, int32_t number) {
  ASSERT_TRUE(panel.listCommand(number, gui::kListCount, 3));
  const int32_t positions[] = {8, 64, 120};
  for (int32_t entry = 0; entry < 3; ++entry) {
    ASSERT_TRUE(panel.listCommand(number, gui::kListValue, entry));
    ASSERT_TRUE(panel.listCommand(number, gui::kListPosition, positions[entry]));
  }
}

TEST(ControlDrag, VerticalDragsFollowTheRules) {
  const uint32_t alt = platform::kAlt, ctrl = platform::kControl;
  const DragCase cases[] = {
      {"2 px per step, up raises, clamped at the last frame",
       16,
       10,
       10,
       0,
       {100, 99, 98, 50, 0, -200, -300, 104},
       {10, 11, 35, 60, 128, 128, 8},
       {10, 11, 35, 60, 128, 128, 8}},
      {"Ctrl without roMx keeps the coarse step", 16, 10, 10, ctrl, {100, 0}, {60}, {60}},
      {"roMx: each pixel a coarse step", 17, 20, 500, 0, {100, 90, 120}, {600, 300}, {77, 38}},
      {"roMx with Ctrl: the fine step", 17, 20, 500, ctrl, {100, 90, 120}, {510, 480}, {65, 61}},
      {"Alt snaps to the default, the rest is ignored",
       18,
       30,
       10,
       alt,
       {100, 99, 0, 300},
       {64, 64, 64},
       {64, 64, 64}},
      {"Alt without a default is a plain drag", 16, 10, 10, alt, {100, 90}, {15}, {15}},
      {"roDi 10 on 3 frames: 10 px per position",
       10,
       40,
       0,
       0,
       {100, 91, 90, 80, 60, 95},
       {0, 1, 2, 2, 0},
       {0, 1, 2, 2, 0}},
      {"list knob: 20 px per entry, whatever roDi",
       8,
       50,
       0,
       0,
       {100, 81, 80, 60, 20, 100},
       {0, 1, 2, 2, 0},
       {8, 64, 120, 120, 8}},
      {"list knob: Ctrl selects the default entry",
       8,
       50,
       0,
       ctrl,
       {100, 99, 40},
       {2, 2},
       {120, 120}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestRig rig;
    sendAmpList(rig.panel, 8);
    ASSERT_TRUE(rig.panel.setProperty(8, gui::kPropertyDragPixels, 10));
    ASSERT_TRUE(rig.panel.setProperty(8, gui::kPropertyDefault, 2));
    rig.setAtOnce(c.control, c.start);
    ASSERT_EQ(rig.panel.getValue(c.control), c.start);

    // The press lands on the control; the moves keep their distances from it.
    const int32_t shift = 11 - c.ys[0];
    ASSERT_TRUE(rig.panel.handleEvent(
        mouse(InputEvent::Type::kButtonPress, c.x + 1, c.ys[0] + shift, c.modifiers)));
    size_t changes = 0;
    int16_t last = c.start;
    for (size_t i = 1; i < c.ys.size(); ++i) {
      rig.panel.handleEvent(
          mouse(InputEvent::Type::kMotion, c.x + 1, c.ys[i] + shift, c.modifiers));
      EXPECT_EQ(rig.panel.getValue(c.control), c.values[i - 1]) << "move " << i;
      EXPECT_EQ(rig.frameOf(c.x + 1, 11), c.frames[i - 1]) << "move " << i;
      changes += c.values[i - 1] != last;
      last = c.values[i - 1];
    }
    rig.panel.handleEvent(mouse(InputEvent::Type::kButtonRelease, c.x + 1, c.ys.back() + shift));
    // Every change reported once, then the press that ends the gesture.
    std::vector<std::pair<char, int32_t>> expected(changes, {'c', c.control});
    expected.push_back({'p', c.control});
    EXPECT_EQ(rig.reports.log, expected);
  }
}

TEST(ControlDrag, ListCommandsBuildTheList) {
  TestRig rig;
  auto* knob = static_cast<gui::epiAlphaControl_knob*>(rig.panel.control(8));
  EXPECT_FALSE(rig.panel.listCommand(8, gui::kListCount, 17));
  EXPECT_FALSE(rig.panel.listCommand(8, gui::kListCount, -1));
  EXPECT_FALSE(rig.panel.listCommand(16, gui::kListCount, 3));  // a plain rotary has no list
  EXPECT_FALSE(rig.panel.listCommand(8, 5005, 3));

  ASSERT_TRUE(rig.panel.listCommand(8, gui::kListCount, 2));
  ASSERT_EQ(knob->entries().size(), 2u);
  EXPECT_EQ(knob->entries()[1].value, 1);  // numbered before any value arrives
  ASSERT_TRUE(rig.panel.listCommand(8, gui::kListValue, 7));
  ASSERT_TRUE(rig.panel.listCommand(8, gui::kListPosition, 30));
  ASSERT_TRUE(rig.panel.listCommand(8, gui::kListPosition, 90));    // entry 1 keeps value 1
  EXPECT_FALSE(rig.panel.listCommand(8, gui::kListPosition, 100));  // past the last entry
  EXPECT_EQ(knob->entries()[0].value, 7);
  EXPECT_EQ(knob->entries()[1].value, 1);
  EXPECT_EQ(rig.panel.getValue(8), 0);
  EXPECT_EQ(rig.frameOf(51, 11), 30);

  // Setting an entry glides the display to its frame.
  rig.clock.set(1000);
  rig.panel.setValue(8, 1);
  rig.clock.set(1125);
  rig.panel.tick();
  EXPECT_EQ(rig.frameOf(51, 11), 90);
  rig.panel.setValue(8, 5);  // past the list: the last entry
  EXPECT_EQ(rig.panel.getValue(8), 1);
}

}  // namespace
