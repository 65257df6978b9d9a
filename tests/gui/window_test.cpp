#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/epi_message_box.h"
#include "gui/epi_timer.h"
#include "panel_test_support.h"
#include "window_test_support.h"

// After gtest and our headers.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using framework::fourCC;
using testsupport::RecordingWindow;

constexpr uint32_t kMain = fourCC("main");
constexpr uint32_t kHost = fourCC("hosw");

class WindowTest : public testsupport::WindowTest {};

TEST_F(WindowTest, DragsReachThePanelBelowTheMenuBarAndKeysPassTheHookFirst) {
  framework::ResourceFile file;
  testsupport::testSkin().fill(file);
  gui::PictureCache pictures{file};
  auto panel = std::make_unique<gui::epiAlphaPanel>();
  panel->build(testsupport::testPanel(), pictures);
  RecordingWindow window(engine_, kMain);
  window.addPanel(std::move(panel));
  window.menuBar().addMenu(1, "File")->addItem("Quit");
  ASSERT_TRUE(window.openTopLevel(100, 100, "knob"));
  ASSERT_TRUE(onScreen(window));
  window.panel(0)->setActive(false);
  window.setControlValue(0, 16, 110);  // at once, as on an inactive panel
  window.showPanel(0);

  // 100 px down at 2 px a step, below the bar (the screen has no room above the window).
  const int32_t top = window.contentTop();
  input_->drag(window.nativeHandle(), 12, top + 12, 12, top + 12 + 100, 10);
  ASSERT_TRUE(passUntil([&] { return window.getControlValue(0, 16) == 60; }))
      << window.getControlValue(0, 16);
  ASSERT_FALSE(window.changes.empty());
  EXPECT_EQ(window.changes.back(), std::make_pair(0, 16));

  input_->focus(window.nativeHandle());
  engine_.setRunning(true);
  engine_.setKeyboardHook([&](gui::epiWindow& target, const platform::InputEvent& key) {
    if (&target != &window || key.keysym != XK_q || !(key.modifiers & platform::kControl))
      return false;
    engine_.quit();
    return true;
  });
  input_->keyDown(XK_Control_L);
  input_->typeKey(XK_q);
  input_->keyUp(XK_Control_L);
  input_->typeText("aQ\n");
  ASSERT_TRUE(passUntil([&] { return window.keys.size() == 3; }));
  EXPECT_FALSE(engine_.running());
  EXPECT_EQ(window.keys, (std::vector<int32_t>{'a', 'Q', 13}));
}

TEST_F(WindowTest, MessagesReachTheirWindowInTheNextPassAndAnEditorOutlivesItsHostsWindow) {
  RecordingWindow main(engine_, kMain), host(engine_, kHost);
  ASSERT_TRUE(main.openTopLevel(50, 50, "main"));
  ASSERT_TRUE(host.openTopLevel(50, 50, "host"));
  engine_.post({.target = kMain, .code = fourCC("save"), .value = 1, .text = "SAVED"});
  engine_.post({.target = kHost, .code = fourCC("sepr"), .value = 67});
  EXPECT_TRUE(main.messages.empty()) << "posted messages wait for the loop";
  engine_.processEvents();
  ASSERT_EQ(main.messages.size(), 1u);
  EXPECT_EQ(main.messages[0].text, "SAVED");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].value, 67);

  EXPECT_TRUE(engine_.send({.target = kHost, .code = fourCC("sepr"), .value = 3}));
  EXPECT_EQ(host.messages.size(), 2u) << "sent at once";
  EXPECT_FALSE(engine_.send({.target = fourCC("gone"), .code = fourCC("sepr")}));

  host.close();
  EXPECT_EQ(host.closings, 1);
  EXPECT_EQ(engine_.findWindow(kHost), nullptr);
  engine_.post({.target = kHost, .code = fourCC("sepr")});
  engine_.processEvents();
  EXPECT_EQ(host.messages.size(), 2u) << "a closed window gets nothing";

  // The loop idles every window on each pass until the flag is cleared; event timers count
  // the passes unless given another clock.
  int passes = 0;
  gui::epiEventTimer timer;
  timer.setPeriod(25);
  main.onIdle = [&] {
    EXPECT_FALSE(timer.fired());
    if (++passes == 25) engine_.quit();
  };
  engine_.run();
  EXPECT_EQ(passes, 25);
  EXPECT_TRUE(timer.fired());

  engine_.closeAllWindows();
  EXPECT_EQ(main.closings, 1);
  EXPECT_TRUE(engine_.windows().empty());

  // The editor's way into a plug-in host: a link window learns the host's window from a WNDH
  // message, the editor opens inside it, and survives the host destroying it.
  Display* hostDisplay = input_->display();
  const Window parent =
      XCreateSimpleWindow(hostDisplay, DefaultRootWindow(hostDisplay), 0, 0, 200, 150, 0, 0, 0);
  XMapWindow(hostDisplay, parent);
  XSync(hostDisplay, False);

  RecordingWindow link(engine_, fourCC("link"));
  EXPECT_TRUE(link.handleMessage({.code = gui::kMessageWindowHandle, .handle = parent}));
  EXPECT_EQ(link.nativeHandle(), parent);

  RecordingWindow editor(engine_, kMain);
  ASSERT_TRUE(editor.openInside(link.nativeHandle(), 0, 0, 200, 150));

  XDestroyWindow(hostDisplay, parent);
  XSync(hostDisplay, False);
  ASSERT_TRUE(passUntil([&] { return !editor.isOpen(); }));
  EXPECT_EQ(editor.closings, 1);
  EXPECT_EQ(engine_.findWindow(kMain), nullptr);
  engine_.processEvents();
}

TEST(WindowWithoutDisplay, FailsCleanlyWithAMessage) {
  const char* saved = std::getenv("DISPLAY");
  const std::string display = saved ? saved : "";
  unsetenv("DISPLAY");
  gui::epiEngineClass engine;
  std::string error;
  EXPECT_FALSE(engine.openDisplay(nullptr, error));
  EXPECT_NE(error.find("DISPLAY"), std::string::npos) << error;
  RecordingWindow window(engine, kMain);
  EXPECT_FALSE(window.openTopLevel(50, 50, "none"));
  EXPECT_FALSE(window.writePng("/nonexistent/none.png"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(gui::epiMessageBox::show(engine, "Failed !"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Attenzione: Failed !\n");
  EXPECT_TRUE(engine.processEvents());
  if (saved) setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
