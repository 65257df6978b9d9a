// The main window opened inside a host's X window on a private server, driven by real pointer
// and key input, MIDI from another thread, audio pushed through the processor, and clocks moved
// by hand.

#include <X11/keysym.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_menu.h"
#include "main_window_fixture.h"
#include "ui/control_conversion.h"
#include "ui/vlvr_about_panel.h"

namespace {

using gui::epiMenu;
using MainWindow = uitest::MainWindowTest;

constexpr int kGainRow = 13, kGainKnob = 17, kGainController = 30;

// The host window's side of program selection: its program menus and its messages.
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

TEST_F(MainWindow, GainDragStoresTheConvertedValueAndMidiMovesKnobsOnTheNextRefresh) {
  processor().setParameterPlain(kGainRow, 10.0f);
  idle();
  ASSERT_EQ(value(kGainKnob), 10);
  ASSERT_TRUE(drag(kGainKnob, -100));  // 2 px per step
  EXPECT_EQ(value(kGainKnob), 60);
  EXPECT_FLOAT_EQ(processor().parameterValue(kGainRow), 127.0f * 60 / 128);
  EXPECT_FALSE(processor().parameters()[kGainRow].isChanged());
  EXPECT_TRUE(shown(C::kEditedMark));

  sendMidi(0xB0, kGainController, 100);
  EXPECT_EQ(value(kGainKnob), 60) << "not from the MIDI thread";
  idle();
  EXPECT_EQ(value(kGainKnob), ui::paramToControl(kGainRow, 100.0f));

  // A value arriving while the user holds the knob does not pull it from under the hand.
  const gui::Rect knob = bounds(kGainKnob);
  input_->moveTo(window().nativeHandle(), knob.x + knob.width / 2, knob.y + knob.height / 2);
  input_->press(1);
  ASSERT_TRUE(passUntil([&] { return window().held(kFront, kGainKnob); }));
  sendMidi(0xB0, kGainController, 20);
  idle();
  EXPECT_EQ(value(kGainKnob), ui::paramToControl(kGainRow, 100.0f));
  input_->release(1);
  ASSERT_TRUE(passUntil([&] { return !window().held(kFront, kGainKnob); }));
}

TEST_F(MainWindow, LampsFollowTheSwitchesTheWahModeAndProgramLoads) {
  const struct {
    int toggle, lamp, row;
  } switches[] = {{C::kDelaySwitch, C::kDelayLamp, 9},
                  {C::kOverdriveSwitch, C::kOverdriveLamp, 8},
                  {C::kSpeakerSwitch, C::kSpeakerLamp, 21}};
  for (const auto& s : switches) {
    for (int on : {1, 0}) {
      ASSERT_TRUE(click(s.toggle));
      EXPECT_EQ(value(s.lamp), on) << s.toggle;
      EXPECT_EQ(processor().parameterValue(s.row), float(on)) << s.toggle;
    }
  }
  // Dark only on entry 1, "off"; 20 px per entry.
  for (const auto& [dy, entry, lamp] : {std::tuple{-20, 2, 1}, {20, 1, 0}, {20, 0, 1}}) {
    ASSERT_TRUE(drag(C::kWahMode, dy));
    EXPECT_EQ(processor().parameterValue(2), float(entry));
    EXPECT_EQ(value(C::kWahLamp), lamp) << entry;
  }

  for (int row : {8, 9, 21})
    processor().setParameterPlain(row, 1.0f);
  processor().setParameterPlain(2, 1.0f);
  processor().storeProgram(5, "lamps");
  window().handleCommand(epiMenu::commandId(4, 6));
  for (int lamp : {C::kDelayLamp, C::kOverdriveLamp, C::kSpeakerLamp, C::kWahLamp})
    EXPECT_EQ(value(lamp), lamp != C::kWahLamp) << lamp;
  window().handleCommand(epiMenu::commandId(4, 1));
  for (int lamp : {C::kDelayLamp, C::kOverdriveLamp, C::kSpeakerLamp, C::kWahLamp})
    EXPECT_EQ(value(lamp), 0) << lamp;
}

TEST_F(MainWindow, ProgramsWrapAndFollowMenusAndProgramChanges) {
  ASSERT_TRUE(click(C::kProgramDown));
  EXPECT_EQ(processor().getProgram(), 127);
  EXPECT_EQ(text(C::kProgramNumber) + text(C::kMessage), "128PROGRAM 128");
  ASSERT_TRUE(click(C::kProgramUp));
  EXPECT_EQ(processor().getProgram(), 0);

  window().handleCommand(40605);  // group 6, item 5: the fifth program of "65..96"
  EXPECT_EQ(processor().getProgram(), 68);
  EXPECT_EQ(text(C::kProgramNumber), "069");

  // Without a host window a Program Change selects its program on the next idle tick.
  sendMidi(0xC3, 42);
  EXPECT_EQ(processor().getProgram(), 68);
  idle();
  EXPECT_EQ(processor().getProgram(), 42);

  // With one, the check mark follows, and a Program Change goes through the host window.
  HostStub host(*engine_);
  ASSERT_TRUE(host.openTopLevel(200, 100, "host"));
  window().handleCommand(epiMenu::commandId(4, 4));
  EXPECT_TRUE(host.item(3).checked);
  window().handleCommand(epiMenu::commandId(7, 32));
  EXPECT_FALSE(host.item(3).checked);
  EXPECT_TRUE(host.item(127).checked);
  sendMidi(0xC0, 7);
  ASSERT_TRUE(passUntil([&] { return !host.messages.empty(); }));
  EXPECT_EQ(host.messages[0].code, framework::fourCC("sepr"));
  EXPECT_EQ(host.messages[0].value, 7);
  EXPECT_EQ(processor().getProgram(), 127) << "the host window selects it";
}

TEST_F(MainWindow, NamingAProgram) {
  HostStub host(*engine_);
  ASSERT_TRUE(host.openTopLevel(200, 100, "host"));
  ASSERT_TRUE(click(C::kNameButton));
  EXPECT_EQ(window().nameEdit().target(), 32) << "program 1 is never a target";
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1_");
  EXPECT_TRUE(shown(C::kNamingHint) && shown(C::kCancelButton));
  ASSERT_TRUE(type("ab", [&] { return text(C::kMessage) == "PROGRAM 1AB_"; }));
  ASSERT_TRUE(typeKey(XK_BackSpace, [&] { return text(C::kMessage) == "PROGRAM 1A_"; }));
  // 20 characters with the cursor, then nothing more; Delete types nothing.
  ASSERT_TRUE(type("xyz-uvw.rsq", [&] { return text(C::kMessage).size() == 20; }));
  input_->typeKey(XK_Delete);
  ASSERT_TRUE(typeKey(XK_BackSpace, [&] { return text(C::kMessage).size() == 19; }));
  EXPECT_EQ(text(C::kMessage), "PROGRAM 1AXYZ-UVW._");
  ASSERT_TRUE(typeKey(XK_Return, [&] { return !window().nameEdit().editing(); }));
  EXPECT_STREQ(processor().programName(32), "PROGRAM 1AXYZ-UVW.");
  EXPECT_EQ(host.item(32).text, "PROGRAM 1AXYZ-UVW.") << "its menu item is renamed";
  EXPECT_EQ(text(C::kProgramNumber), "033");
  EXPECT_FALSE(shown(C::kNamingHint) || shown(C::kCancelButton));

  // Stepping skips programs 1-32 both ways; the number blinks every 30 passes.
  window().handleCommand(epiMenu::commandId(7, 32));
  ASSERT_TRUE(click(C::kNameButton));
  ASSERT_TRUE(click(C::kProgramUp));
  EXPECT_EQ(text(C::kProgramNumber), "033");
  ASSERT_TRUE(click(C::kProgramDown));
  EXPECT_EQ(window().nameEdit().target(), 127);
  for (const char* number : {"", "128"}) {
    passes_.advance(30);
    idle();
    EXPECT_EQ(text(C::kProgramNumber), number);
  }
  ASSERT_TRUE(type("q", [&] { return text(C::kMessage) == "PROGRAM 128Q_"; }));
  ASSERT_TRUE(click(C::kCancelButton));
  EXPECT_STREQ(processor().programName(127), "Program 128");
  EXPECT_EQ(text(C::kMessage), "PROGRAM 128");
  EXPECT_FALSE(window().nameEdit().editing() || shown(C::kCancelButton));
}

TEST_F(MainWindow, FilesWrittenAtCloseAreWhatTheNextWindowOpensWith) {
  const auto file = [&](const std::string& name) { return folder_->path("settings/" + name); };
  const std::string bank = file("ValvoramaLive settings.dat");
  const std::string mappings = file(ui::vlvrMidiControl::kMappingsFileName);
  ASSERT_TRUE(click(C::kSkinButton));
  ASSERT_TRUE(click(C::kSkinButton));
  window().handleCommand(epiMenu::commandId(4, 10));
  window().handleMessage({.code = gui::kMessageModalReply,
                          .value = 1,
                          .source = framework::fourCC("tunn"),
                          .text = "441,7"});
  closeAmp();
  EXPECT_EQ(uitest::readBytes(file(ui::vlvrPreferences::kFileName)).size(), 40u);
  EXPECT_TRUE(std::filesystem::exists(bank)) << "there was none";
  EXPECT_FALSE(std::filesystem::exists(mappings)) << "nothing was learned";

  openAmp();
  EXPECT_EQ(value(C::kSkin), 2);
  EXPECT_EQ(value(ui::vlvrAboutPanel::kFrame, kAbout), 2);
  EXPECT_EQ(text(C::kProgramNumber), "010");
  EXPECT_EQ(window().preferences().tunerReference(), 441.7f);
  EXPECT_EQ(rack().parameter(54), 441);
  window().handleCommand(epiMenu::commandId(3, 6));  // "Learn Volume CC..."
  EXPECT_EQ(text(C::kMessage), "WAIT VOLUME CC");
  sendMidi(0xB0, 11, 64);
  processor().storeProgram(20, "KEPT");
  closeAmp();
  EXPECT_EQ(uitest::readBytes(mappings).size(), 1032u);

  openAmp();
  EXPECT_STREQ(processor().programName(20), "KEPT");
  EXPECT_EQ(window().midiControl().controller(11), 20);
  closeAmp();
  // A bank the amp cannot read is left as it is, not replaced by the built-in programs.
  uitest::writeBytes(bank, {'n', 'o', 't', ' ', 'o', 'u', 'r', 's'});
  openAmp();
  closeAmp();
  EXPECT_EQ(uitest::readBytes(bank).size(), 8u);
}

}  // namespace
