// The main window opened for real inside a host's X window on a private server, driven by real
// pointer and key input, MIDI messages from another thread, audio pushed through the processor,
// and clocks moved by hand.

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_alpha_control_knob.h"
#include "gui/epi_menu.h"
#include "gui/epi_text_dialog.h"
#include "main_window_fixture.h"
#include "ui/control_conversion.h"
#include "ui/vlvr_about_panel.h"

namespace {

using gui::epiMenu;
using uitest::MainWindowTest;
using MainWindow = MainWindowTest;

constexpr int kGainRow = 13;
constexpr int kPreampGainController = 30;

void sendMidi(ui::vlvrWindow& window, uint8_t status, uint8_t data1, uint8_t data2 = 0) {
  // From a thread of its own, as the MIDI back end calls it.
  std::thread midi([&] {
    const uint8_t bytes[3] = {status, data1, data2};
    window.midiHandler()->onMidiMessage(bytes);
  });
  midi.join();
}

// The host window's part in program selection: its program menus and its messages.
class HostStub : public gui::epiWindow {
 public:
  explicit HostStub(gui::epiEngineClass& engine) : epiWindow(engine, framework::fourCC("hosw")) {
    for (int group = 4; group < 8; ++group) {
      gui::epiMenu* menu = menuBar().addMenu(group, "programs");
      for (int item = 1; item <= 32; ++item)
        menu->addItem("Program");
    }
  }
  ~HostStub() override { close(); }
  bool handleMessage(const gui::epiMessage& message) override {
    messages.push_back(message);
    return true;
  }
  const gui::epiMenu::Item& item(int program) {
    return *menuBar().menu(program / 32 + 4)->item(program % 32 + 1);
  }
  std::vector<gui::epiMessage> messages;
};

TEST_F(MainWindow, OpensOnTheProgramInForceWithEveryListSent) {
  EXPECT_EQ(text(C::kProgramNumber), "001");
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1");
  EXPECT_FALSE(shown(C::kNamingHint) || shown(C::kCancelButton) || shown(C::kEditedMark));
  EXPECT_EQ(text(C::kEditedMark), ".");
  EXPECT_EQ(value(C::kTunerSwitch), 1);
  EXPECT_EQ(value(17), ui::paramToControl(kGainRow, 85.0f));  // Gain's default
  EXPECT_EQ(value(C::kWahMode), 1);
  auto* amp = dynamic_cast<gui::epiAlphaControl_knob*>(window().panel(kFront)->control(20));
  ASSERT_NE(amp, nullptr);
  ASSERT_EQ(amp->entries().size(), 3u);
  EXPECT_EQ(amp->entries()[2].position, 120);
  EXPECT_TRUE(window().panel(kFront)->active());
  EXPECT_FALSE(window().panel(kAbout)->active());
  EXPECT_EQ(engine_->midiHandler(), window().midiHandler());
}

TEST_F(MainWindow, GainDragStoresTheConvertedValueAndMidiMovesKnobsOnTheNextRefresh) {
  processor().setParameterPlain(kGainRow, 10.0f);
  idle();
  ASSERT_EQ(value(17), 10);

  // 100 px up at 2 px per step.
  ASSERT_TRUE(drag(17, -100));
  EXPECT_EQ(value(17), 60);
  EXPECT_EQ(processor().parameterValue(kGainRow), ui::controlToParam(kGainRow, 60));
  EXPECT_FLOAT_EQ(processor().parameterValue(kGainRow), 127.0f * 60 / 128);
  EXPECT_FALSE(processor().parameters()[kGainRow].isChanged());
  EXPECT_TRUE(shown(C::kEditedMark));

  sendMidi(window(), 0xB0, kPreampGainController, 100);
  EXPECT_EQ(value(17), 60) << "not from the MIDI thread";
  idle();
  EXPECT_EQ(value(17), ui::paramToControl(kGainRow, 100.0f));

  // While the user holds the knob, a value arriving does not pull it from under the hand.
  const auto [x, y] = centre(17);
  input_->moveTo(window().nativeHandle(), x, y);
  input_->press(1);
  ASSERT_TRUE(passUntil([&] { return window().held(kFront, 17); }));
  sendMidi(window(), 0xB0, kPreampGainController, 20);
  idle();
  EXPECT_EQ(value(17), ui::paramToControl(kGainRow, 100.0f));
  input_->release(1);
  ASSERT_TRUE(passUntil([&] { return !window().held(kFront, 17); }));
}

TEST_F(MainWindow, LampsFollowTheSwitchesTheWahModeAndProgramLoads) {
  const struct {
    int toggle, lamp, row;
  } switches[] = {{C::kDelaySwitch, C::kDelayLamp, 9},
                  {C::kOverdriveSwitch, C::kOverdriveLamp, 8},
                  {C::kSpeakerSwitch, C::kSpeakerLamp, 21}};
  for (const auto& s : switches) {
    SCOPED_TRACE(s.toggle);
    for (int on : {1, 0}) {
      ASSERT_TRUE(click(s.toggle));
      EXPECT_EQ(value(s.lamp), on);
      EXPECT_EQ(processor().parameterValue(s.row), float(on));
    }
  }

  // The wah lamp is dark only on entry 1, "off"; 20 px per entry.
  const struct { int dy, entry, lamp; } wah[] = {{-20, 2, 1}, {20, 1, 0}, {20, 0, 1}};
  for (const auto& w : wah) {
    ASSERT_TRUE(drag(C::kWahMode, w.dy));
    EXPECT_EQ(value(C::kWahMode), w.entry);
    EXPECT_EQ(processor().parameterValue(2), float(w.entry));
    EXPECT_EQ(value(C::kWahLamp), w.lamp);
  }

  // A program brings its own lamps.
  const struct {
    int program;
    float wahMode, on;
  } programs[] = {{5, 1.0f, 1.0f}, {6, 2.0f, 0.0f}};
  for (const auto& p : programs) {
    for (int row : {8, 9, 21})
      processor().setParameterPlain(row, p.on);
    processor().setParameterPlain(2, p.wahMode);
    processor().storeProgram(p.program, "lamps");
  }
  for (const auto& p : programs) {
    SCOPED_TRACE(p.program);
    window().handleCommand(epiMenu::commandId(4, p.program + 1));
    for (int lamp : {C::kDelayLamp, C::kOverdriveLamp, C::kSpeakerLamp})
      EXPECT_EQ(value(lamp), int(p.on)) << lamp;
    EXPECT_EQ(value(C::kWahLamp), p.wahMode != 1.0f);
    idle();
    EXPECT_EQ(value(C::kWahMode), int(p.wahMode));
    EXPECT_EQ(value(C::kDelaySwitch), int(p.on));
  }
}

TEST_F(MainWindow, ProgramsWrapAndFollowMenusAndProgramChanges) {
  ASSERT_TRUE(click(C::kProgramDown));
  EXPECT_EQ(processor().getProgram(), 127);
  EXPECT_EQ(text(C::kProgramNumber), "128");
  EXPECT_EQ(text(C::kMessage), "PROGRAM 128");
  ASSERT_TRUE(click(C::kProgramUp));
  EXPECT_EQ(processor().getProgram(), 0);

  // Group 6, item 5: the fifth program of "65..96".
  window().handleCommand(40605);
  EXPECT_EQ(processor().getProgram(), 68);
  EXPECT_EQ(text(C::kProgramNumber), "069");

  // Without a host window a Program Change selects its program on the next idle tick.
  sendMidi(window(), 0xC3, 42);
  EXPECT_EQ(processor().getProgram(), 68);
  idle();
  EXPECT_EQ(processor().getProgram(), 42);
  EXPECT_EQ(text(C::kProgramNumber), "043");

  // With one, the check mark follows, and a Program Change goes through the host window.
  HostStub host(*engine_);
  ASSERT_TRUE(host.openTopLevel(200, 100, "host"));
  window().handleCommand(epiMenu::commandId(4, 4));
  EXPECT_TRUE(host.item(3).checked);
  window().handleCommand(epiMenu::commandId(7, 32));
  EXPECT_FALSE(host.item(3).checked);
  EXPECT_TRUE(host.item(127).checked);
  sendMidi(window(), 0xC0, 7);
  ASSERT_TRUE(passUntil([&] { return !host.messages.empty(); }));
  EXPECT_EQ(host.messages[0].code, framework::fourCC("sepr"));
  EXPECT_EQ(host.messages[0].value, 7);
  EXPECT_EQ(processor().getProgram(), 127) << "the host window selects it";
}

TEST_F(MainWindow, NamingAProgram) {
  // Program 1 is never a target: the edit goes to 33.
  ASSERT_TRUE(click(C::kNameButton));
  EXPECT_TRUE(window().nameEdit().editing());
  EXPECT_EQ(window().nameEdit().target(), 32);
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1_");
  EXPECT_TRUE(shown(C::kNamingHint) && shown(C::kCancelButton));

  ASSERT_TRUE(type("ab", [&] { return text(C::kMessage) == "PROGRAM 1AB_"; }));
  ASSERT_TRUE(typeKey(XK_BackSpace, [&] { return text(C::kMessage) == "PROGRAM 1A_"; }));
  // Typing stops at 20 characters, the cursor included.
  ASSERT_TRUE(type("xyz-uvw.rsq", [&] { return text(C::kMessage).size() == 20; }));
  // Keys are taken in order: once the backspace shows, "s" and "q" were refused.
  ASSERT_TRUE(typeKey(XK_BackSpace, [&] { return text(C::kMessage).size() == 19; }));
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1AXYZ-UVW._");
  ASSERT_TRUE(typeKey(XK_Return, [&] { return !window().nameEdit().editing(); }));
  EXPECT_STREQ(processor().programName(32), "PROGRAM 1AXYZ-UVW.");
  EXPECT_EQ(processor().getProgram(), 32);
  EXPECT_EQ(text(C::kProgramNumber), "033");
  EXPECT_FALSE(shown(C::kNamingHint) || shown(C::kCancelButton));

  // Stepping while naming skips programs 1-32 both ways; the number blinks every 30 passes.
  window().handleCommand(epiMenu::commandId(7, 32));
  ASSERT_TRUE(click(C::kNameButton));
  EXPECT_EQ(window().nameEdit().target(), 127);
  ASSERT_TRUE(click(C::kProgramUp));
  EXPECT_EQ(window().nameEdit().target(), 32);
  EXPECT_EQ(text(C::kProgramNumber), "033");
  ASSERT_TRUE(click(C::kProgramDown));
  EXPECT_EQ(text(C::kProgramNumber), "128");
  passes_.advance(30);
  idle();
  EXPECT_EQ(text(C::kProgramNumber), "");
  passes_.advance(30);
  idle();
  EXPECT_EQ(text(C::kProgramNumber), "128");

  // Cancel keeps the name and the program.
  ASSERT_TRUE(type("q", [&] { return text(C::kMessage) == "PROGRAM 128Q_"; }));
  ASSERT_TRUE(click(C::kCancelButton));
  EXPECT_FALSE(window().nameEdit().editing());
  EXPECT_STREQ(processor().programName(127), "Program 128");
  EXPECT_EQ(processor().getProgram(), 127);
  EXPECT_EQ(text(C::kMessage), "PROGRAM 128");
  EXPECT_FALSE(shown(C::kNamingHint) || shown(C::kCancelButton));
}

TEST_F(MainWindow, FilesWrittenAtCloseAreWhatTheNextWindowOpensWith) {
  const auto file = [&](const char* name) { return folder_->path("settings/") + name; };
  const std::string bank = file("ValvoramaLive settings.dat");
  const std::string preferences = file(ui::vlvrPreferences::kFileName);
  const std::string mappings = file(ui::vlvrMidiControl::kMappingsFileName);

  ASSERT_TRUE(click(C::kSkinButton));
  ASSERT_TRUE(click(C::kSkinButton));
  window().handleCommand(epiMenu::commandId(4, 10));
  engine_->post({.target = ui::evaWindow::kIdentifier,
                 .code = gui::kMessageModalReply,
                 .value = 1,
                 .source = framework::fourCC("tunn"),
                 .text = "441,7"});
  idle();
  closeAmp();
  EXPECT_EQ(uitest::readBytes(preferences).size(), 40u);
  EXPECT_TRUE(std::filesystem::exists(bank)) << "there was none";
  EXPECT_FALSE(std::filesystem::exists(mappings)) << "nothing was learned";

  openAmp();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(value(C::kSkin), 2);
  EXPECT_EQ(value(ui::vlvrAboutPanel::kSkin, kAbout), 2);
  EXPECT_EQ(value(ui::vlvrAboutPanel::kFrame, kAbout), 2);
  EXPECT_EQ(processor().getProgram(), 9);
  EXPECT_EQ(text(C::kProgramNumber), "010");
  EXPECT_EQ(window().preferences().tunerReference(), 441.7f);
  EXPECT_EQ(rack().parameter(54), 441);
  // "Learn Volume CC..." then controller 11.
  window().handleCommand(epiMenu::commandId(3, 6));
  EXPECT_EQ(text(C::kMessage), "WAIT VOLUME CC");
  sendMidi(window(), 0xB0, 11, 64);
  processor().storeProgram(20, "KEPT");
  closeAmp();
  EXPECT_EQ(uitest::readBytes(mappings).size(), 1032u);

  openAmp();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_STREQ(processor().programName(20), "KEPT");
  EXPECT_EQ(window().midiControl().controller(11), 20);
  closeAmp();

  // A bank the amp cannot read is left as it is, not replaced by the built-in programs.
  uitest::writeBytes(bank, {'n', 'o', 't', ' ', 'a', ' ', 'b', 'a', 'n', 'k'});
  openAmp();
  ASSERT_FALSE(HasFatalFailure());
  closeAmp();
  EXPECT_EQ(uitest::readBytes(bank).size(), 10u);
}

}  // namespace
