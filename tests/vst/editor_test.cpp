#include <gtest/gtest.h>

#include <cairo.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "support/x11/xtest_input.h"
#include "support/x11/xvfb_fixture.h"
#include "vst/vst_host.h"

// After gtest: Xlib's macros (None, Bool, Status) must not reach its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1100, kHeight = 480, kGainRow = 13;
constexpr uint32_t kParentColour = 0xff00ff;  // nothing on the panel is magenta

// A window's pixels as 0xRRGGBB, row by row.
using Picture = std::vector<uint32_t>;

Picture grab(Display* display, Window window) {
  XSync(display, False);
  XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
  Picture shot;
  for (int y = 0; image && y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      shot.push_back(XGetPixel(image, x, y) & 0xffffff);
  if (image) XDestroyImage(image);
  return shot;
}

// The panel fills the host's window: none of its own colour, and the many colours of a picture.
bool showsPanel(Display* display, Window window) {
  const Picture shot = grab(display, window);
  const std::unordered_set<uint32_t> colours(shot.begin(), shot.end());
  return !colours.contains(kParentColour) && colours.size() > 1000;
}

// The bounding box of the pixels that changed clearly (a channel by more than 24), added to `box`.
struct Box {
  int left = kWidth, top = kHeight, right = 0, bottom = 0;
  bool empty() const { return right <= left; }
};

void addChanges(Box& box, const Picture& before, const Picture& after) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t a = before[y * kWidth + x], b = after[y * kWidth + x];
      int gap = 0;
      for (int shift : {0, 8, 16})
        gap = std::max(gap, std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)));
      if (gap <= 24) continue;
      box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
             std::max(box.bottom, y + 1)};
    }
  }
}

// Sockets this process holds open: one per X connection the plug-in keeps.
int openSockets() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(entry.path(), error).string().starts_with("socket:")) ++count;
  }
  return count;
}

// Errors Xlib reports to the host's own handler.
std::vector<std::pair<Display*, int>> hostErrors;
int recordHostError(Display* display, XErrorEvent* event) {
  hostErrors.emplace_back(display, event->error_code);
  return 0;
}

// A host on the private server: its own connection makes the parent windows and plays the mouse.
class Editor : public testsupport::XvfbTest {
 protected:
  // A plug-in leaves cairo's and fontconfig's process-wide font caches alone (its host may draw
  // with them too): the host lets them go for the leak check. Fontconfig comes with cairo.
  static void TearDownTestSuite() {
    XvfbTest::TearDownTestSuite();
    cairo_debug_reset_static_data();
    if (void* fini = dlsym(RTLD_DEFAULT, "FcFini")) reinterpret_cast<void (*)()>(fini)();
  }

  void SetUp() override {
    XvfbTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(settings_.ready() && input_.available()) << input_.error();
    ASSERT_TRUE(library_.loaded() && amp_.effect()) << library_.error();
    amp_.start(44100.0f, 256);
  }

  void TearDown() override {
    amp_.close();
    for (Window parent : parents_)
      XDestroyWindow(host_, parent);
  }

  Window parent() {
    parents_.push_back(XCreateSimpleWindow(host_, DefaultRootWindow(host_), 0, 0, kWidth, kHeight,
                                           0, 0, kParentColour));
    XMapWindow(host_, parents_.back());
    XSync(host_, False);
    return parents_.back();
  }

  intptr_t open(Window parent) {
    return amp_.dispatch(vstabi::kEditOpen, 0, 0, reinterpret_cast<void*>(parent));
  }

  // The host's idle calls (or none: the editor's own timer) until `done`, for at most a minute.
  bool idleUntil(const std::function<bool()>& done, bool idle = true) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (idle) amp_.dispatch(vstabi::kEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  // The area that changed from `before` once the picture has stopped changing.
  Box settle(Window parent, const Picture& before) {
    Box box;
    Picture last = grab(host_, parent);
    int still = 0;
    idleUntil([&] {
      const Picture now = grab(host_, parent);
      addChanges(box, before, now);
      still = now == last ? still + 1 : 0;
      last = now;
      return still >= 5;
    });
    return box;
  }

  vsttest::PrivateSettings settings_;
  testsupport::XTestInput input_;
  Display* host_ = input_.display();
  vsttest::VstLibrary library_;
  vsttest::VstInstance amp_{library_};
  std::vector<Window> parents_;
};

// The editor shows on a connection of its own and redraws what the host changes; a knob drag
// automates the host; closing leaves nothing behind. MIDI from the audio thread meets the editor
// opening and closing (the sanitizer sees a window's misuse).
TEST_F(Editor, EditorShowsAnimatesAutomatesMeetsMidiAndOutlivesTheHostsWindow) {
  const Window top = parent();
  const int sockets = openSockets();
  ASSERT_EQ(open(top), 1);
  EXPECT_EQ(openSockets(), sockets + 1);
  ASSERT_TRUE(idleUntil([&] { return showsPanel(host_, top); }));
  settle(top, grab(host_, top));  // the first meter tick lights the gate lamp

  // The host turns the gain down: its knob moves.
  const Picture before = grab(host_, top);
  amp_.setParameter(kGainRow, 0.0f);
  const Box knob = settle(top, before);
  ASSERT_FALSE(knob.empty());

  // The user turns it up again: the host hears of every step, with the normalised value.
  const int x = (knob.left + knob.right) / 2, y = (knob.top + knob.bottom) / 2;
  input_.drag(top, x, y, x, y - 60, 6);
  ASSERT_TRUE(idleUntil([&] {
    const auto automated = amp_.automations();
    return !automated.empty() && automated.back().value == amp_.getParameter(kGainRow);
  }));
  for (const auto& step : amp_.automations())
    EXPECT_TRUE(step.index == kGainRow && step.value > 0.0f && step.value <= 1.0f) << step.value;
  amp_.dispatch(vstabi::kEditClose);
  EXPECT_EQ(openSockets(), sockets);

  std::jthread audio([this](std::stop_token stop) {
    vsttest::MidiEventList up({{0xB0, 1, 127}}), down({{0xB0, 1, 0}});
    for (int n = 0; !stop.stop_requested(); ++n) {
      amp_.dispatch(vstabi::kProcessEvents, 0, 0, (n % 2 ? up : down).list());
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < 6; ++round) {
    EXPECT_EQ(open(top), 1);
    amp_.dispatch(vstabi::kEditIdle);
    amp_.dispatch(vstabi::kEditClose);
  }
  audio.request_stop();
  audio.join();
  // Closed again, the instance's own handling has the messages.
  for (const uint8_t value : {uint8_t{0}, uint8_t{127}}) {
    amp_.sendMidi({{0xB0, 1, value}});
    EXPECT_EQ(amp_.getParameter(3), value / 127.0f);
  }

  // Hosts destroy their window before effEditClose, with or without idle calls in between; the
  // BadWindow our connection gets is ours alone: the host's handler stays and sees only its own.
  const XErrorHandler saved = XSetErrorHandler(&recordHostError);
  const fs::path preferences = settings_.folder() + "/ValvoramaLive.prf";
  for (const std::string host : {"idle", "no idle", "close at once"}) {
    SCOPED_TRACE(host);
    fs::remove(preferences);
    const Window doomed = parent();
    ASSERT_EQ(open(doomed), 1);
    // Without idle calls the editor's own timer draws it.
    ASSERT_TRUE(idleUntil([&] { return showsPanel(host_, doomed); }, host == "idle"));
    XDestroyWindow(host_, doomed);
    XSync(host_, False);
    parents_.pop_back();
    // The window notices and writes its files as it closes.
    EXPECT_TRUE(host == "close at once" ||
                idleUntil([&] { return fs::exists(preferences); }, host == "idle"));
    amp_.dispatch(vstabi::kEditClose);
  }
  ASSERT_EQ(open(top), 1);
  EXPECT_TRUE(idleUntil([&] { return showsPanel(host_, top); }));
  amp_.close();
  EXPECT_TRUE(hostErrors.empty());

  XDestroyWindow(host_, 0x7fffff);  // the host's own mistake still reaches its handler
  XSync(host_, False);
  EXPECT_EQ(hostErrors, (std::vector{std::pair{host_, int{BadWindow}}}));
  EXPECT_EQ(XSetErrorHandler(saved), &recordHostError);
}

}  // namespace
