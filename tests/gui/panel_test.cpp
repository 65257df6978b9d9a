#include "gui/epi_alpha_panel.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "framework/scratch_folder.h"
#include "gui/epi_alpha_control_knob.h"
#include "gui/epi_alpha_control_rotary.h"
#include "gui/epi_alpha_control_text.h"
#include "gui/epi_picture.h"
#include "gui/epi_timer.h"
#include "gui/panel_resource.h"
#include "panel_test_support.h"

namespace {

// Text drawing fills the font caches; they go at the end so the sanitizer's leak check passes.
class FontCaches : public ::testing::Environment {
 public:
  void TearDown() override { gui::releaseFontCaches(); }
};
const auto* const fontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

using Type = platform::InputEvent::Type;
using testsupport::mouse;
using testsupport::TestRig;

// A jump of more than 20 glides over 125 ms; the value is taken at once.
TEST(PanelGlide, ShownFrameFollowsTheClock) {
  TestRig rig;
  rig.setAtOnce(16, 10);
  ASSERT_TRUE(rig.panel.setValue(16, 60));
  EXPECT_EQ(rig.panel.getValue(16), 60);
  const std::pair<uint64_t, int32_t> ticks[] = {{0, 10},   {25, 20},  {50, 30},
                                                {100, 50}, {124, 59}, {125, 60}};
  for (const auto& [now, frame] : ticks) {
    rig.clock.ms = now;
    rig.panel.tick();
    EXPECT_EQ(rig.frameOf(11, 11), frame) << "at " << now << " ms";
  }
  EXPECT_TRUE(rig.log.empty());  // the program's own values are not reported
}

TEST(Panel, MetersClampAndLightTheirLeds) {
  // LED meter 59: v lights LEDs 0..v, 6 px apart upwards; segment meter 62: v segments rightwards.
  const struct {
    int32_t control;
    int16_t value, shown;
    std::vector<int32_t> frames;  // per LED from the first: 1 lit, 0 dark
  } cases[] = {{59, 2, 2, {1, 1, 1, 0}}, {59, 9, 3, {1, 1, 1, 1}}, {62, 2, 2, {1, 1, 0}}};
  for (const auto& c : cases) {
    TestRig rig;
    rig.panel.setValue(c.control, c.value);
    EXPECT_EQ(rig.panel.getValue(c.control), c.shown);
    for (int32_t led = 0; led < int32_t(c.frames.size()); ++led) {
      const int32_t frame =
          c.control == 59 ? rig.frameOf(11, 59 - 6 * led) : rig.frameOf(11 + 5 * led, 89);
      EXPECT_EQ(frame, c.frames[size_t(led)]) << c.control << " at " << c.value << ", LED " << led;
    }
  }
}

TEST(Panel, FailsCleanlyWithoutItsPictures) {
  testsupport::ManualClock clock;
  framework::ResourceFile file;
  auto panel = testsupport::testPanel();
  testsupport::TestSkin skin = testsupport::testSkin();
  skin.addEntry(gui::kPanelType, 10, gui::serializePanel(panel));
  skin.addEntry(gui::kPanelType, 12, {1, 0, 0, 0});
  ASSERT_TRUE(skin.fill(file));
  gui::PictureCache pictures(file);
  gui::epiAlphaPanel loaded(clock);
  ASSERT_TRUE(loaded.load(file, 10, pictures));

  auto broken = panel;
  broken.controls[3].picture = 99;
  gui::epiAlphaPanel built(clock);
  EXPECT_TRUE(!built.build(broken, pictures) && !built.control(16) && built.width() == 0);
  // A panel that is absent or malformed fails the same way, and so does a failed rebuild.
  EXPECT_FALSE(loaded.load(file, 11, pictures));
  EXPECT_FALSE(loaded.control(16));
  EXPECT_FALSE(loaded.load(file, 12, pictures));
}

TEST(Panel, ClicksReportOnReleaseInsideAndAnInactivePanelDrawsNothing) {
  TestRig rig;
  const auto click = [&](int32_t x, int32_t y, int32_t releaseX) {
    rig.log.clear();
    rig.panel.handleEvent(mouse(Type::kButtonPress, x, y));
    const int32_t held = rig.frameOf(x, y);
    rig.panel.handleEvent(mouse(Type::kMotion, releaseX, y));
    rig.panel.handleEvent(mouse(Type::kButtonRelease, releaseX, y));
    return held;
  };
  using testsupport::Log;
  EXPECT_EQ(click(21, 41, 22), 1);  // the button shows its pressed frame while held
  EXPECT_EQ(rig.log, (Log{{'p', 50}}));
  click(21, 41, 60);  // released elsewhere: nothing
  EXPECT_TRUE(rig.log.empty());

  click(31, 41, 31);  // the switch turns over, reports the change, then the press
  EXPECT_EQ(rig.log, (Log{{'c', 11}, {'p', 11}}));
  EXPECT_EQ(rig.panel.getValue(11), 1);
  EXPECT_EQ(rig.frameOf(31, 41), 1);

  rig.panel.setEnabled(11, false);  // disabled: the press is swallowed
  click(31, 41, 31);
  EXPECT_TRUE(rig.log.empty());
  EXPECT_EQ(rig.panel.getValue(11), 1);

  // Inactive: glides end, values are taken at once, nothing is drawn or clicked; then all redrawn.
  rig.panel.setValue(16, 100);
  rig.panel.setActive(false);
  auto* knob = static_cast<gui::epiAlphaControl_rotary*>(rig.panel.control(16));
  EXPECT_EQ(knob->shownFrame(), 100);
  rig.panel.setValue(16, 30);
  EXPECT_EQ(knob->shownFrame(), 30);
  EXPECT_EQ(rig.frameOf(11, 11), -1);
  EXPECT_FALSE(rig.panel.handleEvent(mouse(Type::kButtonPress, 11, 11)));
  EXPECT_TRUE(rig.panel.drawChanged(nullptr).empty());
  rig.panel.setActive(true);
  EXPECT_EQ(rig.panel.changedArea(), (gui::Rect{0, 0, 100, 100}));
  EXPECT_EQ(rig.frameOf(11, 11), 30);
}

TEST(Panel, TextsAndListsRefuseWhatTheyCannotTake) {
  TestRig rig;
  EXPECT_TRUE(rig.panel.formatText(60, "%03d", 7));
  EXPECT_EQ(static_cast<gui::epiAlphaControl_text*>(rig.panel.control(60))->text(), "007");
  EXPECT_FALSE(rig.panel.setText(16, "a knob has no text"));
  EXPECT_FALSE(rig.panel.listCommand(8, gui::kListCount, 17));
  EXPECT_FALSE(rig.panel.listCommand(16, gui::kListCount, 3));  // a plain rotary has no list
  ASSERT_TRUE(rig.panel.listCommand(8, gui::kListCount, 2));
  ASSERT_TRUE(rig.panel.listCommand(8, gui::kListPosition, 30));
  ASSERT_TRUE(rig.panel.listCommand(8, gui::kListPosition, 90));
  EXPECT_FALSE(rig.panel.listCommand(8, gui::kListPosition, 100));  // past the last entry
  rig.setAtOnce(8, 5);                                              // past the list: the last entry
  EXPECT_EQ(rig.panel.getValue(8), 1);
  EXPECT_EQ(rig.frameOf(51, 11), 90);

  EXPECT_EQ(gui::formatNumber("100%% %+d", 3), "100% +3");
  for (const char* refused : {"%d %d", "%s", "%n", "%999d", "%.*d"})
    EXPECT_EQ(gui::formatNumber(refused, 1), std::nullopt) << refused;
}

TEST(ControlDrag, VerticalDragsFollowTheRules) {
  const uint32_t alt = platform::kAlt;
  const struct {
    const char* name;
    int32_t control, x;  // x: where the control sits
    int16_t start;
    uint32_t modifiers;
    std::vector<int32_t> ys;      // the press, then each move
    std::vector<int16_t> values;  // after each move
    std::vector<int32_t> frames;  // shown after each move; empty: the values
  } cases[] = {
      // clang-format off
      {"2 px per step, up raises, clamped at the last frame", 16, 10, 10, 0,
       {100, 99, 98, 50, 0, -200, -300, 104}, {10, 11, 35, 60, 128, 128, 8}, {}},
      {"roMx: each pixel a coarse step", 17, 20, 500, 0, {100, 90, 120}, {600, 300}, {77, 38}},
      {"Alt snaps to the default, the rest is ignored", 18, 30, 10, alt, {100, 99, 0, 300},
       {64, 64, 64}, {}},
      {"roDi 10 on 3 frames: 10 px per position", 10, 40, 0, 0, {100, 91, 90, 80, 60, 95},
       {0, 1, 2, 2, 0}, {}},
      {"list knob: 20 px per entry, whatever roDi", 8, 50, 0, 0, {100, 81, 80, 60, 20, 100},
       {0, 1, 2, 2, 0}, {8, 64, 120, 120, 8}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestRig rig;
    // A list as the amplifier lists send it: entries 0, 1, 2 show frames 8, 64, 120.
    ASSERT_TRUE(rig.panel.listCommand(8, gui::kListCount, 3));
    for (const int32_t position : {8, 64, 120})
      ASSERT_TRUE(rig.panel.listCommand(8, gui::kListPosition, position));
    ASSERT_TRUE(rig.panel.setProperty(8, gui::kPropertyDragPixels, 10));
    rig.setAtOnce(c.control, c.start);
    ASSERT_EQ(rig.panel.getValue(c.control), c.start);

    // The press lands on the control; the moves keep their distances from it.
    const int32_t shift = 11 - c.ys[0];
    ASSERT_TRUE(
        rig.panel.handleEvent(mouse(Type::kButtonPress, c.x + 1, c.ys[0] + shift, c.modifiers)));
    testsupport::Log expected;  // every change reported once, then the press ending the gesture
    int16_t last = c.start;
    for (size_t i = 1; i < c.ys.size(); ++i) {
      rig.panel.handleEvent(mouse(Type::kMotion, c.x + 1, c.ys[i] + shift, c.modifiers));
      const int16_t value = c.values[i - 1];
      EXPECT_EQ(rig.panel.getValue(c.control), value) << "move " << i;
      EXPECT_EQ(rig.frameOf(c.x + 1, 11), c.frames.empty() ? value : c.frames[i - 1]) << i;
      if (value != last) expected.push_back({'c', c.control});
      last = value;
    }
    rig.panel.handleEvent(mouse(Type::kButtonRelease, c.x + 1, c.ys.back() + shift));
    expected.push_back({'p', c.control});
    EXPECT_EQ(rig.log, expected);
  }
}

// 1/60-s ticks, period 4 from tick 100: a late poll fires once, the next period counts from it.
TEST(Timers, FireWhenTheirPeriodHasElapsedSinceTheyLastFired) {
  testsupport::ManualClock clock;
  const auto at = [&](uint64_t ticks) { clock.ms = (ticks * 1000 + 59) / 60; };
  gui::epiTimer timer(clock);
  at(100);
  EXPECT_FALSE(timer.fired());  // off until a period is set
  timer.setPeriod(4);
  const std::pair<uint64_t, bool> steps[] = {{103, false}, {104, true}, {104, false}, {107, false},
                                             {108, true},  {125, true}, {128, false}, {129, true}};
  for (const auto& [ticks, fires] : steps) {
    at(ticks);
    EXPECT_EQ(timer.fired(), fires) << "at " << ticks;
  }
  at(200);
  timer.stop();
  EXPECT_FALSE(timer.fired());
}

using testsupport::Bytes;

void putWord(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = uint8_t(value >> (8 * i));
}

TEST(PanelResource, RoundTripKeepsEveryField) {
  gui::PanelResource panel = testsupport::testPanel();
  panel.controls[11].text = "Version 1.0.3";
  panel.controls[11].align = 2;
  panel.controls[11].fontSize = 12.5;
  panel.controls[0].properties.push_back({framework::fourCC("roSp"), -3, 0x7fffffff});
  const Bytes bytes = gui::serializePanel(panel);
  const auto parsed = gui::parsePanel(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(gui::serializePanel(*parsed), bytes);
  const auto& text = parsed->controls[11];
  EXPECT_EQ(text.text, "Version 1.0.3");
  EXPECT_EQ(text.fontSize, 12.5);
  EXPECT_EQ(parsed->controls[0].properties.back().b, 0x7fffffff);
}

TEST(PanelResource, MalformedBytesAreRefused) {
  const Bytes good = gui::serializePanel(testsupport::testPanel());
  ASSERT_TRUE(gui::parsePanel(good));
  for (size_t size = 0; size < good.size(); ++size)
    ASSERT_FALSE(gui::parsePanel(std::span(good.data(), size))) << size << " bytes";
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_FALSE(gui::parsePanel(longer));

  const uint64_t nan = std::bit_cast<uint64_t>(std::numeric_limits<double>::quiet_NaN());
  // Each field refused past its limit and, where it stands alone, accepted at it. The first
  // control's fields start at byte 16, 4 bytes apart (the font size, at 56, takes 8).
  constexpr uint32_t kNone = 0xdeadbeef;
  const struct {
    const char* what;
    size_t at;
    uint32_t value, limit;
  } cases[] = {
      {"version", 0, 2, 1},
      {"a control count beyond the bytes", 12, 0x10000000, kNone},
      {"negative control number", 16, 0xffffffff, 1000},
      {"two controls numbered alike", 16, 17, kNone},
      {"unknown kind", 20, 12, 11},
      {"negative width", 32, 0xfffffffe, 16384},
      {"no frames", 44, 0, 4096},
      {"too many LEDs", 48, 257, 256},
      {"a font size that is not a number", 60, uint32_t(nan >> 32), kNone},
      {"text longer than the bytes", 72, 0xfffffff0, kNone},
  };
  for (const auto& c : cases) {
    Bytes bad = good;
    if (c.at == 60) putWord(bad, 56, uint32_t(nan));
    putWord(bad, c.at, c.value);
    EXPECT_FALSE(gui::parsePanel(bad)) << c.what;
    if (c.limit == kNone) continue;
    putWord(bad, c.at, c.limit);
    EXPECT_TRUE(gui::parsePanel(bad)) << c.what;
  }
}

TEST(WindowPicture, ABrokenOrMissingPictureFailsCleanly) {
  testsupport::ScratchFolder folder;
  framework::ResourceFile file;
  ASSERT_TRUE(file.open(folder.path("ValvoramaLive.xrs")));
  const Bytes png = testsupport::pngBytes(testsupport::drawn(40, 30, [](cairo_t*) {}).get());
  ASSERT_TRUE(file.write(gui::kPictureType, gui::kMainPictureId, png));
  ASSERT_TRUE(file.write(gui::kPictureType, 12, Bytes{0x89, 'P', 'N', 'G', 0}));
  EXPECT_EQ(gui::pictureSize(file, gui::kMainPictureId), (gui::PictureSize{40, 30}));
  EXPECT_EQ(gui::loadPicture(file, 12), nullptr) << "bytes that are no PNG";
  EXPECT_EQ(gui::loadPicture(file, 13), nullptr) << "no such picture";
}

}  // namespace
