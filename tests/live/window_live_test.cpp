// valvorama-live in its window, run as a user runs it: on a private X server, driven by XTest,
// its windows read back from the server, its audio device on a private JACK server.

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines Bool.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "gui/epi_alpha_control_text.h"
#include "gui/epi_menu_bar.h"
#include "host/eva_audio_settings_panel.h"
#include "host/hardware_settings.h"
#include "support/eventually.h"
#include "support/jack/jack_fixture.h"
#include "support/x11/xtest_input.h"
#include "support/x11/xvfb_fixture.h"
#include "ui/vlvr_preferences.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using livetest::ChildProcess;
using livetest::Folder;
using livetest::readText;

// Another program's window can go between two requests about it: while the probe asks, X errors
// on its connection are expected and ignored; those of other connections go where they went.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) {
    XSync(display, False);
    trapped_ = display;
    previous_ = XSetErrorHandler(&onError);
  }
  ~ErrorTrap() {
    XSync(trapped_, False);
    XSetErrorHandler(previous_);
    trapped_ = nullptr;
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

 private:
  static int onError(Display* display, XErrorEvent* event) {
    return display == trapped_ || !previous_ ? 0 : previous_(display, event);
  }
  static inline Display* trapped_ = nullptr;
  static inline XErrorHandler previous_ = nullptr;
};

// Another program's windows seen from the test's own X connection, as a window manager sees them.
class WindowProbe {
 public:
  explicit WindowProbe(Display* display) : display_(display) {}

  // The top-level window of that title once it is on screen; 0 when none is within `limit`.
  uint64_t waitForTopLevel(const std::string& title, std::chrono::milliseconds limit) const {
    uint64_t found = 0;
    testsupport::eventually(
        [&] {
          for (const uint64_t window : children(DefaultRootWindow(display_))) {
            const ErrorTrap trap(display_);
            char* name = nullptr;
            if (XFetchName(display_, window, &name) && name && title == name) found = window;
            if (name) XFree(name);
          }
          return found != 0;
        },
        limit);
    return found;
  }
  // The child windows on screen, bottom first.
  std::vector<uint64_t> children(uint64_t window) const {
    Window root = 0, parent = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<uint64_t> shown;
    const ErrorTrap trap(display_);
    if (!XQueryTree(display_, window, &root, &parent, &list, &count)) return shown;
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(display_, list[i], &attributes) &&
          attributes.map_state == IsViewable)
        shown.push_back(list[i]);
    }
    if (list) XFree(list);
    return shown;
  }
  bool waitForChildren(uint64_t window, size_t count, std::chrono::milliseconds limit) const {
    return testsupport::eventually([&] { return children(window).size() >= count; }, limit);
  }

 private:
  Display* display_;
};

constexpr auto kLimit = 20s;  // start-up and answers on a loaded machine

// The menu bar's layout measures text: the font caches go before the leak check.
class FontCaches : public ::testing::Environment {
 public:
  void TearDown() override { gui::releaseFontCaches(); }
};
const auto* const fontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

// Shares one X server across the suite; a JACK server of its own for each test.
class LiveWindow : public testsupport::JackServerTest {
 protected:
  static void SetUpTestSuite() { xvfb_ = std::make_unique<testsupport::XvfbServer>(); }
  static void TearDownTestSuite() { xvfb_.reset(); }

  void SetUp() override {
    JackServerTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(xvfb_->running()) << xvfb_->error();
    input_ = std::make_unique<testsupport::XTestInput>();
    ASSERT_TRUE(input_->available()) << input_->error();
    probe_ = std::make_unique<WindowProbe>(input_->display());
  }

  // The amp in its window with tracing on; for `jack` with the test's server as its device.
  std::unique_ptr<ChildProcess> start(bool jack, std::vector<std::string> more = {},
                                      std::vector<std::string> env = {}) {
    const std::string config = folder_.path("config");
    if (jack) {
      host::HardwareSettings settings(config);
      settings.audioTechnology = "Asio";
      settings.curInDeviceName = settings.curOuDeviceName = "JACK (Valvorama Live)";
      settings.selectedFrequencies = "48000";
      fs::create_directories(config);
      EXPECT_TRUE(settings.write());
    }
    std::vector<std::string> arguments = {VALVORAMA_LIVE_BINARY, "--config", config};
    arguments.insert(arguments.end(), more.begin(), more.end());
    env.push_back("VALVORAMA_LIVE_TRACE=1");
    return std::make_unique<ChildProcess>(arguments, env, folder_.path("out.txt"), err_);
  }

  // The amp's window once its loop is about to run; 0 (after a failure) when it does not come.
  uint64_t hostWindow() {
    // The trace first: a window of an earlier run may not have left the screen yet.
    if (!livetest::waitForText(err_, "trace: host window created")) {
      ADD_FAILURE() << readText(err_);
      return 0;
    }
    const uint64_t window = probe_->waitForTopLevel("Valvorama Live", kLimit);
    EXPECT_NE(window, 0u) << readText(err_);
    return window;
  }

  void click(uint64_t window, int32_t x, int32_t y) {
    input_->moveTo(window, x, y);
    input_->press(1);
    input_->release(1);
  }

  static inline std::unique_ptr<testsupport::XvfbServer> xvfb_;
  std::unique_ptr<testsupport::XTestInput> input_;
  std::unique_ptr<WindowProbe> probe_;
  Folder folder_;
  const std::string err_ = folder_.path("err.txt");
};

TEST_F(LiveWindow, AStartFailureShowsTheWarningBoxUntilDismissedAndNoSettingsOpenTheAudioSetup) {
  auto amp = start(false, {}, {"VALVORAMA_LIVE_FAIL=init"});
  const uint64_t box = probe_->waitForTopLevel("Attenzione", kLimit);
  ASSERT_NE(box, 0u) << readText(err_);
  EXPECT_NE(readText(err_).find("Failed !"), std::string::npos);
  ASSERT_TRUE(livetest::waitForText(err_, "trace: message box shown"));
  input_->focus(box);
  input_->typeKey(XK_Return);
  EXPECT_EQ(amp->waitExit(kLimit), 1);
  EXPECT_FALSE(fs::exists(folder_.path("config")));  // nothing written

  amp = start(false);
  EXPECT_NE(probe_->waitForTopLevel(host::evaAudioSettingsPanel::kTitle, kLimit), 0u)
      << readText(err_);
  amp->signal(SIGTERM);
  EXPECT_EQ(amp->waitExit(kLimit), 0);
}

TEST_F(LiveWindow, ScreenshotThenAProgramMenuItemPageUpAndControlQQuitInOrder) {
  const std::string shot = folder_.path("shot.png");
  auto amp = start(true, {"--screenshot", shot, "--after", "0.5"});
  ASSERT_EQ(amp->waitExit(kLimit), 0) << readText(err_);
  cairo_surface_t* picture = cairo_image_surface_create_from_png(shot.c_str());
  ASSERT_EQ(cairo_surface_status(picture), CAIRO_STATUS_SUCCESS);
  const int32_t width = cairo_image_surface_get_width(picture);
  const int32_t height = cairo_image_surface_get_height(picture);
  // The panel's own pixels below the bar, not the host window's empty frame.
  std::set<uint32_t> colours;
  const unsigned char* data = cairo_image_surface_get_data(picture);
  const int stride = cairo_image_surface_get_stride(picture);
  for (int32_t y = gui::epiMenuBar::kHeight; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      colours.insert(*reinterpret_cast<const uint32_t*>(data + y * stride + x * 4));
  EXPECT_GT(colours.size(), 1000u);
  cairo_surface_destroy(picture);

  amp = start(true);
  const uint64_t host = hostWindow();
  ASSERT_NE(host, 0u);

  // "Programs" follows "File"; open menus are the host window's children after the editor's.
  gui::epiMenuBar layout;
  layout.addMenu(1, "File");
  layout.addMenu(2, "Programs");
  const gui::Rect title = layout.titleArea(2);
  const auto row = [](int32_t item) {  // its centre
    return gui::epiMenuBar::kBorder + (item - 1) * gui::epiMenuBar::kItemHeight +
           gui::epiMenuBar::kItemHeight / 2;
  };
  // "Programs" > "65..96" (its third item) > item 5: program 2 × 32 + 4 = 68.
  click(host, title.x + title.width / 2, gui::epiMenuBar::kHeight / 2);
  ASSERT_TRUE(probe_->waitForChildren(host, 2, kLimit));
  input_->moveTo(probe_->children(host)[1], 40, row(3));
  ASSERT_TRUE(probe_->waitForChildren(host, 3, kLimit));
  click(probe_->children(host)[2], 40, row(5));
  ASSERT_TRUE(testsupport::eventually([&] { return probe_->children(host).size() == 1; }, kLimit));
  input_->focus(host);
  input_->typeKey(XK_Page_Up);

  // Audio stops before the rack goes; the main window writes its files as the host window closes.
  input_->keyDown(XK_Control_L);
  input_->typeKey(XK_q);
  input_->keyUp(XK_Control_L);
  EXPECT_EQ(amp->waitExit(kLimit), 0);
  const std::vector<std::string> steps = {"host window created audio=5",
                                          "loop ended",
                                          "audio stopped frames=",
                                          "processor closed rack=0",
                                          "host window closed preferences=1 bank=1",
                                          "windows closed",
                                          "processor deleted engine=0"};
  const std::string err = readText(err_);
  EXPECT_EQ(livetest::stepsInOrder(err, steps), steps.size()) << err;
  const size_t frames = err.find("audio stopped frames=");
  ASSERT_NE(frames, std::string::npos) << err;
  EXPECT_GT(std::atoll(err.c_str() + frames + 21), 0) << err;  // it played
  ui::vlvrPreferences preferences;
  ASSERT_TRUE(preferences.load(folder_.path("config/") + ui::vlvrPreferences::kFileName));
  EXPECT_EQ(preferences.lastProgram(), 69);
}

}  // namespace
