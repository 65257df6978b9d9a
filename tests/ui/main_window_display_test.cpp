// What the main window shows by itself: the tuner readout, the input level and gate lamps, the
// about screen, and the front panel's pictures.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_alpha_control_rotary.h"
#include "gui/epi_menu.h"
#include "gui/epi_message.h"
#include "gui/epi_text_dialog.h"
#include "main_window_fixture.h"

namespace {

using framework::fourCC;
using uitest::MainWindowTest;
using MainWindow = MainWindowTest;

// A window picture read back from its PNG file.
class Picture {
 public:
  explicit Picture(const std::string& path)
      : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Picture() { cairo_surface_destroy(surface_); }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  Picture(Picture&& other) noexcept : surface_(other.surface_) { other.surface_ = nullptr; }

  bool valid() const { return surface_ && cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  uint32_t pixel(int x, int y) const {
    const unsigned char* row =
        cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<const uint32_t*>(row)[x];
  }

 private:
  cairo_surface_t* surface_;
};

// The share of the pixels of `area` that differ between two pictures.
double differing(const Picture& a, const Picture& b, const gui::Rect& area) {
  int count = 0;
  for (int y = area.y; y < area.y + area.height; ++y) {
    for (int x = area.x; x < area.x + area.width; ++x)
      count += a.pixel(x, y) != b.pixel(x, y);
  }
  return double(count) / double(area.width * area.height);
}

TEST_F(MainWindow, TunerSwitchPositionsAndTheReadoutOfATone) {
  // Position 0: the tuner runs, the signal is silenced and the cents are shown.
  ASSERT_TRUE(drag(C::kTunerSwitch, 10));
  ASSERT_EQ(value(C::kTunerSwitch), 0);
  EXPECT_TRUE(rack().tunerModeOn() && rack().tunerModeMute());
  EXPECT_EQ(value(C::kNeedle), ui::vlvrPanel::kNeedleOff);
  const struct {
    double hz;
    int sharp;
  } tones[] = {{445.0, 0}, {466.16, 1}};
  for (const auto& tone : tones) {
    SCOPED_TRACE(tone.hz);
    tunedTicks(tone.hz, 5);
    EXPECT_EQ(value(C::kNote), 1);  // A
    EXPECT_EQ(value(C::kSharp), tone.sharp);
  }
  tunedTicks(445.0, 60);            // the needle moves one step per 5 ticks
  EXPECT_GT(value(C::kNeedle), 7);  // 19 cents sharp: right of centre
  EXPECT_LE(value(C::kNeedle), 14);
  EXPECT_EQ(value(C::kInTuneLamp), 0);
  const std::string cents = text(C::kMessage);
  ASSERT_EQ(cents.rfind("TUNER CENTS ", 0), 0u) << cents;
  EXPECT_NEAR(std::atoi(cents.c_str() + 12), 19, 2) << cents;

  // Position 1: off, the program shown again; 2: running with the sound and no cents.
  ASSERT_TRUE(drag(C::kTunerSwitch, -10));
  EXPECT_EQ(value(C::kTunerSwitch), 1);
  EXPECT_FALSE(rack().tunerModeOn());
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1");
  EXPECT_EQ(value(C::kNote), 0);
  ASSERT_TRUE(drag(C::kTunerSwitch, -10));
  EXPECT_EQ(value(C::kTunerSwitch), 2);
  EXPECT_TRUE(rack().tunerModeOn() && !rack().tunerModeMute());
  EXPECT_EQ(value(C::kNote), 0);
  tunedTicks(445.0, 1);
  EXPECT_EQ(value(C::kNote), 1);
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1");
}

TEST_F(MainWindow, TunerSetupTakesTheReferenceTheTunerGetsWholeHertz) {
  window().handleCommand(gui::epiMenu::commandId(3, 2));
  auto* dialog = dynamic_cast<gui::epiTextDialog*>(engine_->findWindow(fourCC("tunn")));
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->text(), "440.0");

  const struct {
    const char* typed;
    int confirmed;
    float reference;
    int tunerHz;
  } replies[] = {
      {"441,7", 1, 441.7f, 441},   {"abc", 1, 441.7f, 441},  // not a number: kept
      {"0", 1, 441.7f, 441},       {"450", 0, 441.7f, 441},  // no pitch; cancelled
      {"442.5.9", 1, 442.5f, 442}, {"439,25", 1, 439.25f, 439},
  };
  for (const auto& r : replies) {
    SCOPED_TRACE(r.typed);
    engine_->post({.target = ui::evaWindow::kIdentifier,
                   .code = gui::kMessageModalReply,
                   .value = r.confirmed,
                   .source = fourCC("tunn"),
                   .text = r.typed});
    idle();
    EXPECT_EQ(window().preferences().tunerReference(), r.reference);
    EXPECT_EQ(rack().parameter(54), r.tunerHz);
  }
  dialog->closeRequested();
  idle();
  EXPECT_EQ(engine_->findWindow(fourCC("tunn")), nullptr);

  // "save" shows its text on the LCD.
  engine_->post(
      {.target = ui::evaWindow::kIdentifier, .code = fourCC("save"), .value = 1, .text = "STORED"});
  idle();
  EXPECT_EQ(text(C::kMessage), "STORED");
}

TEST_F(MainWindow, LevelLedRisesAtOnceFallsOneStepPer20TicksAndTheGateLampFollowsTheGate) {
  play(440.0, 0.99f, 0.1);
  meterTicks(1);
  EXPECT_EQ(value(C::kLevel), 3);
  EXPECT_EQ(value(C::kGateLamp), 0) << "a loud note opens the gate";
  for (int step : {2, 1, 0}) {
    meterTicks(19);
    EXPECT_EQ(value(C::kLevel), step + 1);
    meterTicks(1);
    EXPECT_EQ(value(C::kLevel), step);
  }
  play(440.0, 0.1f, 0.1);  // -20 dB
  meterTicks(1);
  EXPECT_EQ(value(C::kLevel), 1);

  play(0.0, 0.0f, 1.0);
  meterTicks(1);
  EXPECT_LE(rack().getMeter(1), 0.5);
  EXPECT_EQ(value(C::kGateLamp), 1) << "silence closes it";
}

TEST_F(MainWindow, AboutScreenGlidesItsNeedlesScrollsTheCreditsAndAnyClickClosesIt) {
  ASSERT_TRUE(click(C::kAboutButton));
  EXPECT_TRUE(window().aboutShowing());
  EXPECT_TRUE(window().panel(kAbout)->active());
  EXPECT_FALSE(window().panel(kFront)->active());

  const auto needles = [&] {
    std::vector<int> frames;
    for (int needle = 1; needle <= 6; ++needle) {
      frames.push_back(
          static_cast<gui::epiAlphaControl_rotary*>(window().panel(kAbout)->control(needle))
              ->shownFrame());
    }
    return frames;
  };
  idle(2000);  // 120 ticks: new values, which the needles glide to over seconds
  for (int needle = 1; needle <= 6; ++needle) {
    EXPECT_GE(value(needle, kAbout), 0);
    EXPECT_LE(value(needle, kAbout), 63);
  }
  const std::vector<int> before = needles();
  idle(500);
  EXPECT_NE(needles(), before);

  // The credits move up a pixel every 4 ticks and start over after 480.
  EXPECT_EQ(window().aboutScroll(), 2);
  EXPECT_EQ(value(7, kAbout), 1);
  int highest = 0;
  for (int i = 0; i < 480; ++i) {
    milliseconds_.advance(67);
    window().idle();
    highest = std::max(highest, value(7, kAbout));
  }
  EXPECT_EQ(highest, 480);
  EXPECT_EQ(window().aboutScroll(), 1);

  ASSERT_TRUE(click(0, kAbout));
  EXPECT_FALSE(window().aboutShowing());
  EXPECT_TRUE(window().panel(kFront)->active());
}

TEST_F(MainWindow, PicturesShowTheAmpChoiceTheSkinAndTheLamps) {
  int shots = 0;
  const auto shot = [&] {
    idle();
    idle(1000);  // glides done
    const std::string path = folder_->path("shot" + std::to_string(shots++) + ".png");
    EXPECT_TRUE(window().writePng(path));
    return Picture(path);
  };

  std::vector<Picture> amps;
  for (int amp = 0; amp < 3; ++amp) {
    processor().setParameterPlain(20, float(amp));
    amps.push_back(shot());
    ASSERT_TRUE(amps.back().valid());
  }
  for (int a = 0; a < 3; ++a) {
    for (int b = a + 1; b < 3; ++b)
      EXPECT_GT(differing(amps[a], amps[b], bounds(20)), 0.05) << a << " " << b;
  }

  // Left of the LCD, above the knobs: the skin's own picture.
  const gui::Rect face{0, 0, 420, 170};
  std::vector<Picture> skins;
  for (int skin = 0; skin < 8; ++skin) {
    skins.push_back(shot());
    window().controlClicked(kFront, C::kSkinButton);
  }
  EXPECT_EQ(window().preferences().skin(), 0) << "eight clicks go round";
  for (int a = 0; a < 8; ++a) {
    for (int b = a + 1; b < 8; ++b)
      EXPECT_GT(differing(skins[a], skins[b], face), 0.5) << a << " " << b;
  }

  const Picture dark = shot();
  ASSERT_TRUE(click(C::kDelaySwitch));
  const Picture lit = shot();
  EXPECT_GT(differing(dark, lit, bounds(C::kDelayLamp)), 0.2);
  EXPECT_EQ(differing(dark, lit, bounds(C::kOverdriveLamp)), 0.0);
}

}  // namespace
