// What the main window shows by itself: the tuner readout, the input level and gate lamps, the
// about screen, and the front panel's pictures.

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_alpha_control_rotary.h"
#include "gui/epi_menu.h"
#include "gui/epi_text_dialog.h"
#include "main_window_fixture.h"

namespace {

using framework::fourCC;
using MainWindow = uitest::MainWindowTest;

// The window's pixels as its PNG file holds them, row after row.
std::vector<uint32_t> pixelsOf(const std::string& path, int width, int height) {
  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  std::vector<uint32_t> pixels;
  if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS &&
      cairo_image_surface_get_width(png) == width &&
      cairo_image_surface_get_height(png) == height) {
    for (int y = 0; y < height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(png) +
                                                          y * cairo_image_surface_get_stride(png));
      pixels.insert(pixels.end(), row, row + width);
    }
  }
  cairo_surface_destroy(png);
  return pixels;
}

TEST_F(MainWindow, TunerSwitchPositionsAndTheReadoutOfATone) {
  EXPECT_EQ(value(C::kNeedle), ui::vlvrPanel::kNeedleOff) << "the tuner opens off";
  ASSERT_TRUE(drag(C::kTunerSwitch, 10));  // 10 px per position
  ASSERT_EQ(value(C::kTunerSwitch), 0);
  EXPECT_TRUE(rack().tunerModeOn() && rack().tunerModeMute());
  EXPECT_EQ(value(C::kNeedle), ui::vlvrPanel::kNeedleOff);
  for (const auto& [hz, sharp] : {std::pair{466.16, 1}, {445.0, 0}}) {
    tunedTicks(hz, 5);
    EXPECT_EQ(value(C::kNote), 1) << hz;  // A
    EXPECT_EQ(value(C::kSharp), sharp) << hz;
  }
  tunedTicks(445.0, 60);  // the needle moves one step per 5 ticks
  EXPECT_GT(value(C::kNeedle), 7) << "19 cents sharp: right of centre";
  EXPECT_LE(value(C::kNeedle), 14);
  const std::string cents = text(C::kMessage);
  ASSERT_EQ(cents.rfind("TUNER CENTS ", 0), 0u) << cents;
  EXPECT_NEAR(std::atoi(cents.c_str() + 12), 19, 2) << cents;

  // Off, the program shown again; then running with the sound and no cents.
  ASSERT_TRUE(drag(C::kTunerSwitch, -10));
  EXPECT_FALSE(rack().tunerModeOn());
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1");
  ASSERT_TRUE(drag(C::kTunerSwitch, -10));
  EXPECT_EQ(value(C::kTunerSwitch), 2);
  EXPECT_TRUE(rack().tunerModeOn() && !rack().tunerModeMute());
  EXPECT_EQ(value(C::kNote), 0);
  tunedTicks(445.0, 1);
  EXPECT_EQ(value(C::kNote), 1);
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1");
}

TEST_F(MainWindow, TunerSetupTakesTheReferenceAndTheTunerGetsWholeHertz) {
  window().handleCommand(gui::epiMenu::commandId(3, 2));
  auto* dialog = dynamic_cast<gui::epiTextDialog*>(engine_->findWindow(fourCC("tunn")));
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->text(), "440.0");
  const struct {
    const char* typed;
    int confirmed;
    float reference;
  } replies[] = {{"441,7", 1, 441.7f},     // a comma is a decimal point
                 {"abc", 1, 441.7f},       // no number: kept
                 {"450", 0, 441.7f},       // cancelled
                 {"442.5.9", 1, 442.5f}};  // two fields
  for (const auto& r : replies) {
    engine_->post({.target = ui::evaWindow::kIdentifier,
                   .code = gui::kMessageModalReply,
                   .value = r.confirmed,
                   .source = fourCC("tunn"),
                   .text = r.typed});
    idle();
    EXPECT_EQ(window().preferences().tunerReference(), r.reference) << r.typed;
    EXPECT_EQ(rack().parameter(54), int(r.reference)) << r.typed;
  }
  dialog->closeRequested();
  idle();
  window().handleMessage({.code = fourCC("save"), .value = 1, .text = "STORED"});
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
  play(440.0, 0.0f, 1.0);
  meterTicks(1);
  EXPECT_EQ(value(C::kGateLamp), 1) << "silence closes it";
}

TEST_F(MainWindow, AboutScreenGlidesItsNeedlesScrollsTheCreditsAndAnyClickClosesIt) {
  ASSERT_TRUE(click(C::kAboutButton));
  EXPECT_TRUE(window().panel(kAbout)->active() && !window().panel(kFront)->active());
  const auto needles = [&] {
    std::vector<int> frames;
    for (int n = 1; n <= 6; ++n) {
      frames.push_back(static_cast<gui::epiAlphaControl_rotary*>(window().panel(kAbout)->control(n))
                           ->shownFrame());
      EXPECT_LE(value(n, kAbout), 63);
    }
    return frames;
  };
  idle(2000);  // 120 ticks: new values, which the needles glide to over seconds
  const std::vector<int> before = needles();
  idle(500);
  EXPECT_NE(needles(), before);

  // A pixel every 4 ticks, starting over after 480.
  EXPECT_EQ(value(7, kAbout), 1);
  int highest = 0;
  for (int i = 0; i < 480; ++i) {
    milliseconds_.advance(67);
    window().idle();
    highest = std::max(highest, value(7, kAbout));
  }
  EXPECT_EQ(highest, 480);
  EXPECT_EQ(value(7, kAbout), 0);

  ASSERT_TRUE(click(0, kAbout));
  EXPECT_FALSE(window().aboutShowing());
  EXPECT_TRUE(window().panel(kFront)->active());
}

TEST_F(MainWindow, PicturesShowTheAmpChoiceTheSkinAndTheLamps) {
  int shots = 0;
  const auto shot = [&] {
    idle();
    idle(1000);  // glides done
    const std::string path = folder_->path(std::to_string(shots++) + ".png");
    EXPECT_TRUE(window().writePng(path));
    return pixelsOf(path, 1100, 480);
  };
  // The share of the pixels of `area` that differ.
  const auto differing = [](const auto& a, const auto& b, const gui::Rect& area) {
    int count = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
      for (int x = area.x; x < area.x + area.width; ++x)
        count += a.at(size_t(y * 1100 + x)) != b.at(size_t(y * 1100 + x));
    }
    return double(count) / (area.width * area.height);
  };

  std::vector<std::vector<uint32_t>> amps, skins;
  for (int amp = 0; amp < 3; ++amp) {
    processor().setParameterPlain(20, float(amp));
    amps.push_back(shot());
  }
  for (int skin = 0; skin < 8; ++skin) {
    skins.push_back(shot());
    window().controlClicked(kFront, C::kSkinButton);
  }
  for (size_t a = 0; a < 8; ++a) {
    for (size_t b = a + 1; b < 8; ++b) {
      if (b < 3) {
        EXPECT_GT(differing(amps[a], amps[b], bounds(20)), 0.05) << a << b;
      }
      // Left of the LCD, above the knobs: the skin's own picture.
      EXPECT_GT(differing(skins[a], skins[b], {0, 0, 420, 170}), 0.5) << a << b;
    }
  }
  const auto dark = shot();
  ASSERT_TRUE(click(C::kDelaySwitch));
  const auto lit = shot();
  EXPECT_GT(differing(dark, lit, bounds(C::kDelayLamp)), 0.2);
  EXPECT_EQ(differing(dark, lit, bounds(C::kOverdriveLamp)), 0.0);
}

}  // namespace
