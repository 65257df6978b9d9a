#include <gtest/gtest.h>

#include <cairo.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/native_window.h"
#include "support/x11/xtest_input.h"
#include "support/x11/xvfb_fixture.h"

// After gtest: Xlib's macros (None, Bool, Status) must not reach its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

using platform::InputEvent;
using platform::NativeWindow;
using Type = InputEvent::Type;

struct Recorder {
  explicit Recorder(NativeWindow& window) {
    window.onEvent = [this](const InputEvent& event) { events.push_back(event); };
  }
  std::optional<InputEvent> last(Type type) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it)
      if (it->type == type) return *it;
    return std::nullopt;
  }
  std::vector<InputEvent> events;
};

uint32_t pixelAt(cairo_surface_t* image, int x, int y) {
  cairo_surface_flush(image);
  const unsigned char* row =
      cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
  return reinterpret_cast<const uint32_t*>(row)[x];
}

void fill(NativeWindow& window, double x, double y, double width, double height, double red,
          double green, double blue) {
  cairo_t* cr = cairo_create(window.backBuffer());
  cairo_set_source_rgb(cr, red, green, blue);
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
  cairo_destroy(cr);
}

class X11WindowTest : public testsupport::XvfbTest {
 protected:
  void SetUp() override {
    XvfbTest::SetUp();
    if (HasFatalFailure()) return;
    std::string error;
    display_ = platform::NativeDisplay::open(nullptr, error);
    ASSERT_TRUE(display_) << error;
    input_ = std::make_unique<testsupport::XTestInput>();
    ASSERT_TRUE(input_->available()) << input_->error();
    host_ = input_->display();
  }

  bool pumpUntil(Recorder& recorder, Type type) {
    return testsupport::pumpUntil(*display_, [&] { return recorder.last(type).has_value(); });
  }

  // Drawing and reading travel on two connections: ask until the reading matches.
  bool shows(NativeWindow& window, int x, int y, uint32_t rgb) {
    return testsupport::pumpUntil(*display_, [&] {
      XImage* image = XGetImage(host_, window.id(), x, y, 1, 1, AllPlanes, ZPixmap);
      if (!image) return false;
      const auto pixel = static_cast<uint32_t>(XGetPixel(image, 0, 0));
      XDestroyImage(image);
      return (pixel & 0xffffff) == rgb;
    });
  }

  std::unique_ptr<platform::NativeDisplay> display_;
  std::unique_ptr<testsupport::XTestInput> input_;
  Display* host_ = nullptr;  // the test's own connection, playing a host
};

// The back buffer reaches the screen, survives covering and resizing, writes a PNG; then input.
TEST_F(X11WindowTest, BackBufferAndInputWithPositionButtonModifiersAndText) {
  auto window = display_->createTopLevel(320, 240, "test");
  ASSERT_TRUE(window);
  Recorder recorder(*window);
  window->show();
  ASSERT_TRUE(pumpUntil(recorder, Type::kExpose));
  recorder.events.clear();
  fill(*window, 0, 0, 320, 240, 0, 0, 1);
  fill(*window, 8, 8, 16, 16, 1, 0, 0);
  window->presentAll();
  EXPECT_TRUE(shows(*window, 10, 10, 0xff0000));

  // Another window covers ours and goes: only the back buffer can repaint it.
  const Window cover =
      XCreateSimpleWindow(host_, DefaultRootWindow(host_), 0, 0, 200, 200, 0, 0, 0x00ff00);
  XMapRaised(host_, cover);
  XSync(host_, False);
  XDestroyWindow(host_, cover);
  XSync(host_, False);
  ASSERT_TRUE(pumpUntil(recorder, Type::kExpose));
  EXPECT_TRUE(shows(*window, 10, 10, 0xff0000));

  const auto backSize = [&] {
    cairo_surface_t* back = window->backBuffer();
    return std::pair{cairo_image_surface_get_width(back), cairo_image_surface_get_height(back)};
  };
  // Resized from outside, as a window manager or a host would.
  XResizeWindow(host_, window->id(), 150, 90);
  XSync(host_, False);
  ASSERT_TRUE(testsupport::pumpUntil(*display_, [&] {
    const auto resized = recorder.last(Type::kResize);
    return resized && resized->width == 150 && resized->height == 90;
  }));
  EXPECT_EQ(backSize(), std::pair(150, 90));
  EXPECT_EQ(pixelAt(window->backBuffer(), 10, 10), 0xffff0000u);

  const std::string path = testing::TempDir() + "valvo-shot-" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(window->writePng(path));
  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  std::filesystem::remove(path);
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(pixelAt(png, 10, 10), 0xffff0000u);
  cairo_surface_destroy(png);
  EXPECT_FALSE(window->writePng("/nonexistent-folder/shot.png"));
  window->resize(100, 80);
  EXPECT_EQ(backSize(), std::pair(100, 80));

  const uint64_t id = window->id();
  testsupport::XTestInput& in = *input_;
  in.focus(id);
  in.moveTo(id, 40, 50);
  in.press(1);
  in.keyDown(XK_Alt_L);
  in.moveTo(id, 45, 30);
  in.keyUp(XK_Alt_L);
  in.release(1);
  in.wheel(1);
  in.typeKey(XK_a);
  in.typeKey(XK_A);
  in.typeKey(XK_b);
  in.keyDown(XK_Control_L);
  in.typeKey(XK_s);
  in.keyUp(XK_Control_L);
  XEvent close{};  // as the window manager sends it
  close.xclient.type = ClientMessage;
  close.xclient.window = id;
  close.xclient.message_type = XInternAtom(host_, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(host_, "WM_DELETE_WINDOW", False));
  XSendEvent(host_, id, False, NoEventMask, &close);
  XSync(host_, False);

  using platform::kAlt, platform::kButton1, platform::kControl, platform::kShift;
  const InputEvent expected[] = {
      {.type = Type::kMotion, .x = 40, .y = 50},
      {.type = Type::kButtonPress, .x = 40, .y = 50, .button = 1},
      {.type = Type::kMotion, .x = 45, .y = 30, .modifiers = kAlt | kButton1},
      {.type = Type::kButtonRelease, .x = 45, .y = 30, .button = 1, .modifiers = kButton1},
      {.type = Type::kWheel, .x = 45, .y = 30, .wheel = 1},
      {.type = Type::kKeyPress, .keysym = XK_a, .text = "a"},
      {.type = Type::kKeyPress, .modifiers = kShift, .keysym = XK_a, .text = "A"},
      {.type = Type::kKeyRelease, .keysym = XK_b},
      {.type = Type::kKeyPress, .modifiers = kControl, .keysym = XK_s},
      {.type = Type::kClose},
  };
  const auto fields = [](const InputEvent& e) {
    return std::tuple(e.type, e.x, e.y, e.button, e.wheel, e.modifiers, e.keysym,
                      std::string(e.text));
  };
  // In this order, among others (modifier keys, releases) that are not looked at.
  size_t matched = 0, scanned = 0;
  EXPECT_TRUE(testsupport::pumpUntil(
      *display_,
      [&] {
        for (; scanned < recorder.events.size() && matched < std::size(expected); ++scanned)
          matched += fields(recorder.events[scanned]) == fields(expected[matched]);
        return matched == std::size(expected);
      }))
      << "missing: expected event " << matched;
}

// The plug-in editor's case: the host destroys the parent; one child hears of it, one goes first.
TEST_F(X11WindowTest, ChildOfAForeignParentGetsInputAndSurvivesTheParent) {
  const Window parent =
      XCreateSimpleWindow(host_, DefaultRootWindow(host_), 100, 100, 400, 300, 0, 0, 0);
  XMapWindow(host_, parent);
  XSync(host_, False);
  auto child = display_->createChild(parent, 20, 30, 200, 100);
  auto early = display_->createChild(parent, 220, 30, 100, 100);
  ASSERT_TRUE(child && early);
  Recorder recorder(*child);
  ASSERT_TRUE(pumpUntil(recorder, Type::kExpose));

  input_->moveTo(child->id(), 10, 15);
  input_->press(1);
  input_->release(1);
  ASSERT_TRUE(pumpUntil(recorder, Type::kButtonRelease));
  const auto press = recorder.last(Type::kButtonPress);
  EXPECT_EQ(std::pair(press->x, press->y), std::pair(10, 15));

  XDestroyWindow(host_, parent);
  XSync(host_, False);
  early.reset();
  ASSERT_TRUE(pumpUntil(recorder, Type::kDestroyed));
  fill(*child, 0, 0, 10, 10, 1, 0, 0);
  child->presentAll();
  child->resize(300, 200);
  child->show();
  child.reset();
  EXPECT_TRUE(display_->pump());
  EXPECT_FALSE(display_->createChild(parent, 0, 0, 10, 10));
  EXPECT_TRUE(display_->pump());
}

// The server goes away under an open window: the pump says so and nothing ends the process.
TEST(X11Display, ALostServerBreaksTheConnectionOnly) {
  testsupport::XvfbServer server;
  ASSERT_TRUE(server.running()) << server.error();
  std::string error;
  auto display = platform::NativeDisplay::open(server.displayName().c_str(), error);
  ASSERT_TRUE(display) << error;
  auto window = display->createTopLevel(30, 10, "lost");
  ASSERT_TRUE(window);
  window->show();
  EXPECT_TRUE(display->pump());
  server.kill();
  EXPECT_FALSE(display->pump());
  EXPECT_FALSE(display->wait(10));
  window->presentAll();
  window->resize(50, 50);
  EXPECT_FALSE(display->createTopLevel(10, 10, "late"));
  for (const std::string& name : {server.displayName(), std::string("no display")}) {
    std::string why;
    EXPECT_EQ(platform::NativeDisplay::open(name.c_str(), why), nullptr) << name;
    EXPECT_FALSE(why.empty());
  }
}

}  // namespace
