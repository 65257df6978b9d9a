// The main window inside a host's X window on a private server, driven by real pointer and key
// input, MIDI from another thread, audio through the processor and clocks moved by hand.

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines Bool.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/settings_folder.h"
#include "gui/epi_alpha_control_text.h"
#include "gui/epi_menu.h"
#include "gui/timer_clock.h"
#include "support/x11/xtest_input.h"
#include "support/x11/xvfb_fixture.h"
#include "ui/control_conversion.h"
#include "ui/eva_editor.h"
#include "ui/vlvr_engine.h"
#include "ui/vlvr_panel.h"
#include "ui/vlvr_window.h"
#include "ui_test_support.h"

namespace {

using gui::epiMenu;

struct ManualClock : gui::TimerClock {
  uint64_t now() const override { return at; }
  uint64_t at = 1000;
};

class WindowEngine : public ui::vlvrEngine {
 public:
  explicit WindowEngine(const ui::WindowClocks& clocks) : clocks_(clocks) {}
  bool applicationFilePath(std::string& path) const override {
    path = (std::filesystem::path(VALVORAMA_LIVE_RESOURCES).parent_path() / "amp").string();
    return true;
  }
  std::unique_ptr<ui::evaWindow> createWindow() override {
    return std::make_unique<ui::vlvrWindow>(*this, clocks_);
  }

 private:
  ui::WindowClocks clocks_;
};

class MainWindow : public testsupport::XvfbTest {
 protected:
  static constexpr int kFront = ui::vlvrWindow::kFrontPanel;
  using C = ui::vlvrPanel::Control;

  void SetUp() override {
    XvfbTest::SetUp();
    if (HasFatalFailure()) return;
    framework::SettingsFolder::setOverride(folder_.path("settings"));
    input_ = std::make_unique<testsupport::XTestInput>();
    ASSERT_TRUE(input_->available()) << input_->error();
    Display* host = input_->display();
    parent_ = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 1100, 480, 0, 0, 0);
    XMapWindow(host, parent_);
    XSync(host, False);
    openAmp();
  }
  void TearDown() override {
    if (engine_) closeAmp();
    if (parent_) XDestroyWindow(input_->display(), parent_);
    input_.reset();
    framework::SettingsFolder::setOverride("");
    gui::releaseFontCaches();  // or the leak checker reports fontconfig's
  }

  // A new engine, processor and window on the same settings folder, and their end (the window
  // writes its files).
  void openAmp() {
    engine_ = new WindowEngine({&milliseconds_, &meter_, &passes_});
    ASSERT_TRUE(engine_->init());
    processor().open();
    processor().loadProgramBankFile(framework::SettingsFolder::file(processor().bankFileName()));
    ASSERT_EQ(engine_->editor()->open(reinterpret_cast<void*>(parent_)), 1);
    ASSERT_NE(engine_->editor()->window(), nullptr);
    ASSERT_TRUE(passUntil([&] {
      XWindowAttributes attributes{};
      return XGetWindowAttributes(input_->display(), window().nativeHandle(), &attributes) &&
             attributes.map_state == IsViewable;
    }));
  }
  void closeAmp() {
    engine_->editor()->close();
    processor().close();
    delete engine_->processor();  // takes the engine along
    engine_ = nullptr;
  }

  ui::vlvrWindow& window() const {
    return *static_cast<ui::vlvrWindow*>(engine_->editor()->window());
  }
  plugin::vlvrProcessor& processor() const {
    return *static_cast<plugin::vlvrProcessor*>(engine_->processor());
  }
  rack::VRmore& rack() const { return *processor().rack(); }

  void idle(uint64_t ms = 0) {
    milliseconds_.at += ms;
    meter_.at += ms;
    engine_->editor()->idle();
  }
  void meterTicks(int count) {
    for (int i = 0; i < count; ++i)
      idle(ui::vlvrWindow::kMeterMs);
  }
  bool passUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline || !engine_->processEvents(10)) return false;
    }
    return true;
  }

  // Real input on a control of the shown panel; each returns once the window heard of it.
  bool click(int control) {
    const gui::Rect area = bounds(control);
    window().noteControl(-1, -1);
    input_->moveTo(window().nativeHandle(), area.x + area.width / 2, area.y + area.height / 2);
    input_->press(1);
    input_->release(1);
    return passUntil([&] { return window().lastControl() >= 0; });
  }
  bool drag(int control, int dy) {  // up is negative
    const gui::Rect area = bounds(control);
    const int x = area.x + area.width / 2, y = area.y + area.height / 2;
    window().noteControl(-1, -1);
    input_->drag(window().nativeHandle(), x, y, x, y + dy, 4);
    return passUntil([&] { return window().lastControl() == control; });
  }
  bool type(const std::string& text, const std::function<bool()>& done) {
    input_->focus(window().nativeHandle());
    input_->typeText(text);
    return passUntil(done);
  }
  void sendMidi(uint8_t status, uint8_t data1, uint8_t data2 = 0) {
    std::thread midi([&] {  // the MIDI back end's own thread
      const uint8_t bytes[3] = {status, data1, data2};
      window().midiHandler()->onMidiMessage(bytes);
    });
    midi.join();
  }

  int value(int control) const { return window().getControlValue(kFront, control); }
  std::string text(int item) const {
    return static_cast<const gui::epiAlphaControl_text*>(window().panel(kFront)->control(item))
        ->text();
  }
  gui::Rect bounds(int control) const { return window().panel(kFront)->control(control)->bounds(); }

  void play(double hz, float amplitude, double seconds, int block = 512) {
    std::vector<float> in(static_cast<size_t>(block)), left(in.size()), right(in.size());
    float* inputs[2] = {in.data(), nullptr};
    float* outputs[2] = {left.data(), right.data()};
    for (int done = 0; done < int(seconds * 44100.0); done += block) {
      for (float& sample : in) {
        sample = amplitude * float(std::sin(phase_));
        phase_ += 2.0 * M_PI * hz / 44100.0;
      }
      processor().processReplacing(inputs, outputs, block);
    }
  }
  // Meter ticks, each after the tone played until the tuner had just read a pitch: with live
  // audio the tick finds the reading of the last block.
  void tunedTicks(double hz, int count) {
    constexpr double kOneBlock = 64 / 44100.0;
    for (int tick = 0; tick < count; ++tick) {
      play(hz, 0.5f, kOneBlock, 64);
      for (int i = 0; i < 1000 && !(rack().reading().valid && !rack().reading().noPitch); ++i)
        play(hz, 0.5f, kOneBlock, 64);
      idle(ui::vlvrWindow::kMeterMs);
    }
  }

  ManualClock milliseconds_, meter_, passes_;
  uitest::TempFolder folder_;
  std::unique_ptr<testsupport::XTestInput> input_;
  WindowEngine* engine_ = nullptr;
  uint64_t parent_ = 0;
  double phase_ = 0.0;
};

constexpr int kGainRow = 13, kGainKnob = 17, kGainController = 30;

TEST_F(MainWindow, KnobsAndLampsFollowTheUserMidiAndProgramsWhichWrapAndAreNamed) {
  processor().setParameterPlain(kGainRow, 10.0f);
  idle();
  ASSERT_EQ(value(kGainKnob), 10);
  ASSERT_TRUE(drag(kGainKnob, -100));  // 2 px per step
  EXPECT_EQ(value(kGainKnob), 60);
  EXPECT_FLOAT_EQ(processor().parameterValue(kGainRow), 127.0f * 60 / 128);
  EXPECT_FALSE(processor().parameters()[kGainRow].isChanged());
  EXPECT_TRUE(window().panel(kFront)->control(C::kEditedMark)->visible());

  sendMidi(0xB0, kGainController, 100);
  EXPECT_EQ(value(kGainKnob), 60) << "not from the MIDI thread";
  idle();
  EXPECT_EQ(value(kGainKnob), ui::paramToControl(kGainRow, 100.0f));

  for (int on : {1, 0}) {
    ASSERT_TRUE(click(C::kDelaySwitch));
    EXPECT_EQ(value(C::kDelayLamp), on);
    EXPECT_EQ(processor().parameterValue(9), float(on));
  }

  for (int row : {8, 9, 21, 2})  // the wah mode "off"
    processor().setParameterPlain(row, 1.0f);
  processor().storeProgram(5, "lamps");
  for (const auto& [item, lit] : {std::pair{6, true}, {1, false}}) {
    window().handleCommand(epiMenu::commandId(4, item));
    for (int lamp : {C::kDelayLamp, C::kOverdriveLamp, C::kSpeakerLamp, C::kWahLamp})
      EXPECT_EQ(value(lamp), lit && lamp != C::kWahLamp) << item << " " << lamp;
  }

  ASSERT_TRUE(click(C::kProgramDown));
  EXPECT_EQ(processor().getProgram(), 127);
  EXPECT_EQ(text(C::kProgramNumber) + text(C::kMessage), "128PROGRAM 128");
  ASSERT_TRUE(click(C::kProgramUp));
  EXPECT_EQ(processor().getProgram(), 0);
  ASSERT_TRUE(click(C::kNameButton));
  EXPECT_EQ(window().nameEdit().target(), 32) << "program 1 is never a target";
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1_");
  ASSERT_TRUE(type("ab", [&] { return text(C::kMessage) == "PROGRAM 1AB_"; }));
  // 20 characters with the cursor, then nothing more.
  ASSERT_TRUE(type("xyz-uvw.rsq", [&] { return text(C::kMessage).size() == 20; }));
  input_->typeKey(XK_Return);
  ASSERT_TRUE(passUntil([&] { return !window().nameEdit().editing(); }));
  EXPECT_STREQ(processor().programName(32), "PROGRAM 1ABXYZ-UVW.");
  EXPECT_EQ(text(C::kProgramNumber), "033");
}

TEST_F(MainWindow, SkinProgramMappingsAndBankAreWrittenAtCloseAndAreWhatTheNextWindowOpensWith) {
  const auto file = [&](const std::string& name) { return folder_.path("settings/" + name); };
  const std::string bank = file("ValvoramaLive settings.dat");
  const std::string mappings = file(ui::vlvrMidiControl::kMappingsFileName);
  ASSERT_TRUE(click(C::kSkinButton));
  ASSERT_TRUE(click(C::kSkinButton));
  window().handleCommand(epiMenu::commandId(4, 10));
  closeAmp();
  EXPECT_EQ(testsupport::readBytes(file(ui::vlvrPreferences::kFileName)).size(), 40u);
  EXPECT_TRUE(std::filesystem::exists(bank)) << "there was none";
  EXPECT_FALSE(std::filesystem::exists(mappings)) << "nothing was learned";

  openAmp();
  EXPECT_EQ(value(C::kSkin), 2);
  EXPECT_EQ(text(C::kProgramNumber), "010");
  window().handleCommand(epiMenu::commandId(3, 6));  // "Learn Volume CC..."
  EXPECT_EQ(text(C::kMessage), "WAIT VOLUME CC");
  sendMidi(0xB0, 11, 64);
  processor().storeProgram(20, "KEPT");
  closeAmp();
  EXPECT_EQ(testsupport::readBytes(mappings).size(), 1032u);

  openAmp();
  EXPECT_STREQ(processor().programName(20), "KEPT");
  EXPECT_EQ(window().midiControl().controller(11), 20);
  closeAmp();
  // A bank the amp cannot read is left as it is, not replaced by the built-in programs.
  testsupport::writeBytes(bank, {'n', 'o', 't', ' ', 'o', 'u', 'r', 's'});
  openAmp();
  closeAmp();
  EXPECT_EQ(testsupport::readBytes(bank).size(), 8u);
}

TEST_F(MainWindow, LevelLedGateLampAndTunerSwitchPositionsAndTheReadoutOfATone) {
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

  ASSERT_TRUE(drag(C::kTunerSwitch, 10));  // 10 px per position
  EXPECT_TRUE(rack().tunerModeOn() && rack().tunerModeMute());
  EXPECT_EQ(value(C::kNeedle), ui::vlvrPanel::kNeedleOff);
  tunedTicks(445.0, 60);          // the needle moves one step per 5 ticks
  EXPECT_EQ(value(C::kNote), 1);  // A
  EXPECT_GT(value(C::kNeedle), 7) << "19 cents sharp: right of centre";
  EXPECT_LE(value(C::kNeedle), 14);
  const std::string cents = text(C::kMessage);
  ASSERT_EQ(cents.rfind("TUNER CENTS ", 0), 0u) << cents;
  EXPECT_NEAR(std::atoi(cents.c_str() + 12), 19, 2) << cents;

  // Off, the program shown again; then running with the sound.
  ASSERT_TRUE(drag(C::kTunerSwitch, -10));
  EXPECT_FALSE(rack().tunerModeOn());
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1");
  ASSERT_TRUE(drag(C::kTunerSwitch, -10));
  EXPECT_TRUE(rack().tunerModeOn() && !rack().tunerModeMute());
}

}  // namespace
