#include "gui/epi_alpha_panel.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "gui/epi_alpha_control_rotary.h"
#include "gui/epi_alpha_control_text.h"
#include "panel_test_support.h"

namespace {

// Text drawing fills the font caches; they go at the end so the sanitizer's leak check passes.
class FontCaches : public ::testing::Environment {
 public:
  void TearDown() override { gui::releaseFontCaches(); }
};
const auto* const fontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

using platform::InputEvent;
using testsupport::mouse;
using testsupport::TestRig;

struct GlideCase {
  const char* name;
  int16_t from, to;
  bool fast;
  int32_t glideMs;                                  // roSp, 0 for none
  std::vector<std::pair<uint64_t, int32_t>> ticks;  // (clock, frame shown after the tick)
};

TEST(PanelGlide, ShownFrameFollowsTheClock) {
  const GlideCase cases[] = {
      {"a jump of more than 20 takes 125 ms",
       10,
       60,
       false,
       0,
       {{0, 10}, {25, 20}, {50, 30}, {100, 50}, {124, 59}, {125, 60}, {400, 60}}},
      {"a jump of 20 or less takes 50 ms", 60, 70, false, 0, {{10, 62}, {49, 69}, {50, 70}}},
      {"fast: 25 ms, truncated toward the start", 70, 60, true, 0, {{5, 68}, {24, 61}, {25, 60}}},
      {"roSp sets the glide time", 0, 100, false, 1000, {{100, 10}, {199, 19}, {300, 30}}},
      {"a pause of more than 125 ms shifts the start by 125 ms",
       0,
       100,
       false,
       1000,
       {{100, 10}, {400, 27}, {500, 37}}},
      {"a leap of more than 20 is postponed by the time since the last tick",
       0,
       128,
       false,
       0,
       {{0, 0}, {100, 0}, {110, 10}, {225, 128}}},
      {"ticks slower than the glide still end on the target",
       0,
       128,
       false,
       100,
       {{25, 0}, {50, 32}, {75, 32}, {100, 64}, {125, 64}, {150, 96}, {175, 128}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestRig rig;
    if (c.glideMs) {
      ASSERT_TRUE(rig.panel.setProperty(16, gui::kPropertyGlide, c.glideMs));
    }
    rig.setAtOnce(16, c.from);
    rig.clock.set(0);
    ASSERT_TRUE(rig.panel.setValue(16, c.to, c.fast));
    EXPECT_EQ(rig.panel.getValue(16), c.to);  // the value is taken, the display follows
    for (const auto& [now, frame] : c.ticks) {
      rig.clock.set(now);
      rig.panel.tick();
      EXPECT_EQ(rig.frameOf(11, 11), frame) << "at " << now << " ms";
    }
    EXPECT_TRUE(rig.reports.log.empty());  // the program's own values are not reported
  }
}

TEST(PanelGlide, InactivePanelTakesValuesAtOnceAndDrawsNothing) {
  TestRig rig;
  rig.clock.set(0);
  rig.panel.setValue(16, 100);
  rig.panel.setActive(false);  // a glide under way ends on its target
  auto* knob = static_cast<gui::epiAlphaControl_rotary*>(rig.panel.control(16));
  EXPECT_EQ(knob->shownFrame(), 100);
  rig.panel.setValue(16, 30);
  EXPECT_EQ(knob->shownFrame(), 30);

  testsupport::Canvas canvas(rig.panel);
  canvas.draw(rig.panel);
  EXPECT_EQ(canvas.pixel(11, 11), 0u);
  EXPECT_FALSE(rig.panel.handleEvent(mouse(InputEvent::Type::kButtonPress, 11, 11)));
  EXPECT_TRUE(rig.panel.drawChanged(nullptr).empty());

  rig.panel.setActive(true);
  EXPECT_EQ(rig.frameOf(11, 11), 30);
}

TEST(Panel, MetersClampAndLightTheirLeds) {
  // LED meter 59: LED i sits 6 px above LED i - 1, LED 0 at the bottom (y 58); values 0..3
  // light LEDs 0..v. Segment meter 62: segments 5 px apart from the left; v lights v of them.
  const struct {
    int32_t control;
    int16_t value, shown;
    std::vector<int32_t> frames;  // per LED from the first: 1 lit, 0 dark
  } cases[] = {
      {59, 2, 2, {1, 1, 1, 0}}, {59, -5, 0, {1, 0, 0, 0}}, {59, 9, 3, {1, 1, 1, 1}},
      {62, 2, 2, {1, 1, 0}},    {62, 0, 0, {0, 0, 0}},     {62, 7, 3, {1, 1, 1}},
  };
  for (const auto& c : cases) {
    TestRig rig;
    rig.panel.setValue(c.control, c.value);
    EXPECT_EQ(rig.panel.getValue(c.control), c.shown);
    testsupport::Canvas canvas(rig.panel);
    canvas.draw(rig.panel);
    for (int32_t led = 0; led < int32_t(c.frames.size()); ++led) {
      const int32_t frame =
          c.control == 59 ? canvas.frameAt(11, 59 - 6 * led) : canvas.frameAt(11 + 5 * led, 89);
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
  EXPECT_EQ(loaded.width(), 100);

  const auto missing = [&](auto change) {
    auto broken = panel;
    change(broken);
    gui::epiAlphaPanel built(clock);
    return !built.build(broken, pictures) && !built.control(16) && built.width() == 0;
  };
  EXPECT_TRUE(missing([](gui::PanelResource& p) { p.controls[3].picture = 99; }));
  EXPECT_TRUE(missing([](gui::PanelResource& p) { p.controls[0].frames = 130; }));
  EXPECT_TRUE(missing([](gui::PanelResource& p) { p.controls[0].width = 5; }));
  EXPECT_TRUE(missing([](gui::PanelResource& p) { p.controls[1].number = 16; }));
  // A panel that is absent or malformed fails the same way, and so does a failed rebuild.
  EXPECT_FALSE(loaded.load(file, 11, pictures));
  EXPECT_FALSE(loaded.control(16));
  EXPECT_FALSE(loaded.load(file, 12, pictures));
  // Bytes that are no PNG are no picture.
  skin.addEntry(gui::kPictureType, testsupport::kKnob, {0x89, 'P', 'N', 'G'});
  framework::ResourceFile damaged;
  ASSERT_TRUE(skin.fill(damaged));
  gui::PictureCache damagedPictures(damaged);
  EXPECT_FALSE(loaded.load(damaged, 10, damagedPictures));
}

TEST(Panel, ClicksReportOnReleaseInside) {
  TestRig rig;
  const auto click = [&](int32_t x, int32_t y, int32_t releaseX) {
    rig.reports.log.clear();
    rig.panel.handleEvent(mouse(InputEvent::Type::kButtonPress, x, y));
    const int32_t held = rig.frameOf(x, y);
    rig.panel.handleEvent(mouse(InputEvent::Type::kMotion, releaseX, y));
    rig.panel.handleEvent(mouse(InputEvent::Type::kButtonRelease, releaseX, y));
    return held;
  };
  using Log = std::vector<std::pair<char, int32_t>>;
  EXPECT_EQ(click(21, 41, 22), 1);  // the button shows its pressed frame while held
  EXPECT_EQ(rig.reports.log, (Log{{'p', 50}}));
  EXPECT_EQ(rig.frameOf(21, 41), 0);
  click(21, 41, 60);  // released elsewhere: nothing
  EXPECT_TRUE(rig.reports.log.empty());

  click(31, 41, 31);  // the switch turns over, reports the change, then the press
  EXPECT_EQ(rig.reports.log, (Log{{'c', 11}, {'p', 11}}));
  EXPECT_EQ(rig.panel.getValue(11), 1);
  EXPECT_EQ(rig.frameOf(31, 41), 1);
  click(31, 41, 31);
  EXPECT_EQ(rig.panel.getValue(11), 0);

  click(41, 41, 41);  // a lamp is a picture: a click is a press
  EXPECT_EQ(rig.reports.log, (Log{{'p', 14}}));

  rig.panel.hide(50);  // hidden: neither drawn nor clicked
  EXPECT_EQ(rig.frameOf(21, 41), -1);
  EXPECT_FALSE(rig.panel.handleEvent(mouse(InputEvent::Type::kButtonPress, 21, 41)));
  rig.panel.setEnabled(11, false);  // disabled: the press is swallowed
  click(31, 41, 31);
  EXPECT_TRUE(rig.reports.log.empty());
  EXPECT_EQ(rig.panel.getValue(11), 0);
}

TEST(Panel, ChangedAreaCoversWhatChanged) {
  TestRig rig;
  testsupport::Canvas canvas(rig.panel);
  canvas.draw(rig.panel);
  EXPECT_TRUE(rig.panel.changedArea().empty());
  rig.clock.set(0);
  rig.panel.setValue(16, 5);
  EXPECT_TRUE(rig.panel.changedArea().empty());  // nothing shown differently yet
  rig.clock.set(50);
  rig.panel.tick();
  rig.panel.hide(14);
  EXPECT_EQ(rig.panel.changedArea(), (gui::Rect{10, 10, 34, 34}));
  rig.panel.setActive(false);
  rig.panel.setActive(true);
  EXPECT_EQ(rig.panel.changedArea(), (gui::Rect{0, 0, 100, 100}));
}

TEST(Panel, TextsAndScrollingPicture) {
  TestRig rig;
  EXPECT_TRUE(rig.panel.formatText(60, "%03d", 7));
  auto* text = static_cast<gui::epiAlphaControl_text*>(rig.panel.control(60));
  EXPECT_EQ(text->text(), "007");
  EXPECT_FALSE(rig.panel.formatText(60, "%s", 7));
  EXPECT_FALSE(rig.panel.setText(16, "a knob has no text"));

  // The text is drawn in its colour inside its frame.
  testsupport::Canvas canvas(rig.panel);
  canvas.draw(rig.panel);
  int redPixels = 0;
  for (int32_t y = 70; y < 82; ++y) {
    for (int32_t x = 10; x < 50; ++x)
      redPixels += (canvas.pixel(x, y) & 0x00ffffff) != 0;
  }
  EXPECT_GT(redPixels, 20);

  // Text that is not UTF-8 (a Latin-1 name) is drawn and leaves the context usable.
  for (const char* odd : {"PROVA \xe8", "\xed\xa0\x80", "\xf0\x9f", "\xc0\xaf"}) {
    rig.panel.setText(60, odd);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 100, 100);
    cairo_t* cr = cairo_create(surface);
    rig.panel.control(60)->draw(cr);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS) << odd;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }

  // The credits' row 10 shows at the top of the frame once scrolled by 10.
  EXPECT_EQ(rig.frameOf(51, 40), 0);
  rig.panel.setValue(7, 10);
  EXPECT_EQ(rig.frameOf(51, 40), 10);
  EXPECT_EQ(rig.frameOf(51, 43), 13);
}

TEST(Panel, FormatNumberTakesOneIntegerConversion) {
  const struct {
    const char* format;
    int32_t value;
    std::optional<std::string> text;
  } cases[] = {
      {"%03d", 7, "007"},          {"TUNER CENTS %-3d", -5, "TUNER CENTS -5 "},
      {"100%% %+d", 3, "100% +3"}, {"%x", 255, "ff"},
      {"%d %d", 1, std::nullopt},  {"no number", 1, std::nullopt},
      {"%s", 1, std::nullopt},     {"%n", 1, std::nullopt},
      {"%999d", 1, std::nullopt},  {"%.*d", 1, std::nullopt},
      {"%", 1, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(gui::formatNumber(c.format, c.value), c.text) << c.format;
}

}  // namespace
