#include <gtest/gtest.h>

#include <cairo.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/four_cc.h"
#include "framework/resource_file.h"
#include "support/x11/xtest_input.h"
#include "support/x11/xvfb_fixture.h"
#include "vst/vst_host.h"

// After gtest: Xlib's macros (None, Bool, Status) must not reach its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

namespace fs = std::filesystem;
using vsttest::VstInstance;

constexpr int kWidth = 1100, kHeight = 480;
constexpr int kGainRow = 13;
constexpr uint32_t kParentColour = 0xff00ff;  // nothing on the panel is magenta

// Pixels as 0xRRGGBB, from the screen or from the skin's picture.
struct Picture {
  std::vector<uint32_t> rgb;
  uint32_t at(int x, int y) const { return rgb[size_t(y) * kWidth + size_t(x)]; }
  bool operator==(const Picture&) const = default;
};

Picture grab(Display* display, Window window) {
  XSync(display, False);
  XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
  Picture shot;
  for (int y = 0; image && y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      shot.rgb.push_back(XGetPixel(image, x, y) & 0xffffff);
  if (image) XDestroyImage(image);
  return shot;
}

// The main picture (the first skin's face) from the resource file the build put beside the
// plug-in.
const Picture& mainPicture() {
  static const Picture picture = [] {
    framework::ResourceFile file;
    file.open((fs::path(VALVORAMA_VST_PLUGIN).parent_path() / "ValvoramaLive.xrs").string());
    const auto bytes = file.read(framework::fourCC("PNGf"), 10).value_or(std::vector<uint8_t>{});
    std::pair<const std::vector<uint8_t>*, size_t> reader{&bytes, 0};
    cairo_surface_t* png = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
          auto& [from, at] = *static_cast<std::pair<const std::vector<uint8_t>*, size_t>*>(closure);
          if (from->size() - at < length) return CAIRO_STATUS_READ_ERROR;
          std::copy_n(from->data() + at, length, data);
          at += length;
          return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    Picture result;
    const unsigned char* data = cairo_image_surface_get_data(png);
    if (data && cairo_image_surface_get_width(png) == kWidth &&
        cairo_image_surface_get_height(png) == kHeight) {
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
          result.rgb.push_back(
              reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(png))[x] &
              0xffffff);
    }
    cairo_surface_destroy(png);
    return result;
  }();
  return picture;
}

int channelGap(uint32_t a, uint32_t b) {
  int gap = 0;
  for (int shift : {0, 8, 16})
    gap = std::max(gap, std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)));
  return gap;
}

// The share of pixels shown as the reference has them: the controls drawn over the picture
// differ, the panel around them must not.
double shared(const Picture& shot, const Picture& reference) {
  if (shot.rgb.size() != reference.rgb.size()) return 0.0;
  size_t same = 0;
  for (size_t i = 0; i < shot.rgb.size(); ++i)
    same += channelGap(shot.rgb[i], reference.rgb[i]) <= 8 ? 1 : 0;
  return double(same) / double(shot.rgb.size());
}

// The bounding box of the pixels that changed clearly; empty when none did.
struct Box {
  int left = kWidth, top = kHeight, right = 0, bottom = 0;
  bool empty() const { return right <= left; }
  void add(const Box& other) {
    left = std::min(left, other.left), top = std::min(top, other.top);
    right = std::max(right, other.right), bottom = std::max(bottom, other.bottom);
  }
};

Box changed(const Picture& before, const Picture& after) {
  Box box;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (channelGap(before.at(x, y), after.at(x, y)) > 24) box.add({x, y, x + 1, y + 1});
  return box;
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
int hostIoError(Display*) {
  return 0;
}

// A host on the private server: its own connection makes the parent windows and plays the
// user's mouse; the plug-in's settings folder is a fresh one.
class Editor : public testsupport::XvfbTest {
 protected:
  // The editors' fonts stay in cairo's process-wide caches, which a plug-in must leave alone
  // (its host may draw with cairo too); every instance is gone here, so the leak check may see
  // a clean heap.
  static void TearDownTestSuite() {
    XvfbTest::TearDownTestSuite();
    cairo_debug_reset_static_data();
    // Fontconfig comes with cairo; this program does not link it by name.
    if (void* fini = dlsym(RTLD_DEFAULT, "FcFini")) reinterpret_cast<void (*)()>(fini)();
  }

  void SetUp() override {
    XvfbTest::SetUp();
    if (HasFatalFailure()) return;
    folder_ = fs::temp_directory_path() / ("valvo-editor-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    input_ = std::make_unique<testsupport::XTestInput>();
    ASSERT_TRUE(input_->available()) << input_->error();
    host_ = input_->display();
    library_ = std::make_unique<vsttest::VstLibrary>();
    ASSERT_TRUE(library_->loaded()) << library_->error();
    ASSERT_FALSE(mainPicture().rgb.empty());
  }

  void TearDown() override {
    instances_.clear();
    for (Window parent : parents_)
      XDestroyWindow(host_, parent);
    library_.reset();
    input_.reset();
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(folder_);
  }

  VstInstance& instance() {
    instances_.push_back(std::make_unique<VstInstance>(*library_));
    instances_.back()->start(44100.0f, 256);
    return *instances_.back();
  }

  Window parent(int y = 0) {
    parents_.push_back(XCreateSimpleWindow(host_, DefaultRootWindow(host_), 0, y, kWidth, kHeight,
                                           0, 0, kParentColour));
    XMapWindow(host_, parents_.back());
    XSync(host_, False);
    return parents_.back();
  }

  static intptr_t open(VstInstance& amp, Window parent) {
    return amp.dispatch(vstabi::kEditOpen, 0, 0, reinterpret_cast<void*>(parent));
  }

  // The host's idle calls to `amps` (none: the editors' own timers), until `done` holds; false
  // when it still does not after 10 s.
  static bool idleUntil(std::initializer_list<VstInstance*> amps,
                        const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      for (VstInstance* amp : amps)
        amp->dispatch(vstabi::kEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  bool showsPanel(Window parent) const { return shared(grab(host_, parent), mainPicture()) > 0.6; }

  // The area that changed from `before` once the picture is still for a few looks in a row.
  Box settle(VstInstance& amp, Window parent, const Picture& before) {
    Box box;
    Picture last = grab(host_, parent);
    int still = 0;
    idleUntil({&amp}, [&] {
      const Picture now = grab(host_, parent);
      box.add(changed(before, now));
      still = now == last ? still + 1 : 0;
      last = now;
      return still >= 5;
    });
    return box;
  }

  std::vector<Window> children(Window parent) const {
    Window root = 0, up = 0, *list = nullptr;
    unsigned count = 0;
    XSync(host_, False);
    if (!XQueryTree(host_, parent, &root, &up, &list, &count)) return {};
    std::vector<Window> result(list, list + count);
    if (list) XFree(list);
    return result;
  }

  fs::path folder_;
  std::unique_ptr<testsupport::XTestInput> input_;
  Display* host_ = nullptr;
  std::unique_ptr<vsttest::VstLibrary> library_;
  std::vector<std::unique_ptr<VstInstance>> instances_;
  std::vector<Window> parents_;
};

TEST_F(Editor, ShowsThePanelInTheHostWindowAnimatesFromIdleAndAutomatesAKnobDrag) {
  VstInstance& amp = instance();
  vstabi::Rect* rect = nullptr;
  ASSERT_EQ(amp.dispatch(vstabi::kEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, kWidth);
  EXPECT_EQ(rect->bottom - rect->top, kHeight);

  const Window host = parent();
  ASSERT_EQ(open(amp, host), 1);
  ASSERT_TRUE(idleUntil({&amp}, [&] { return showsPanel(host); }));
  settle(amp, host, grab(host_, host));  // the first meter tick lights the gate lamp
  const std::vector<Window> inside = children(host);
  ASSERT_EQ(inside.size(), 1u);
  XWindowAttributes attributes{};
  XGetWindowAttributes(host_, inside[0], &attributes);
  EXPECT_EQ(attributes.width, kWidth);
  EXPECT_EQ(attributes.height, kHeight);

  // The host turns the gain down: its knob alone moves.
  Picture before = grab(host_, host);
  amp.setParameter(kGainRow, 0.0f);
  const Box knob = settle(amp, host, before);
  ASSERT_FALSE(knob.empty());
  EXPECT_LE(knob.right - knob.left, 80);
  EXPECT_LE(knob.bottom - knob.top, 80);

  // A loud chord lights the input meter.
  before = grab(host_, host);
  std::vector<float> in(256), left(256), right(256);
  for (int block = 0; block < 20; ++block) {
    for (size_t i = 0; i < in.size(); ++i)
      in[i] = 0.9f * float(std::sin(0.05 * double(block * 256 + int(i))));
    amp.processReplacing(in.data(), in.data(), left.data(), right.data(), 256);
  }
  EXPECT_TRUE(idleUntil({&amp}, [&] { return !changed(before, grab(host_, host)).empty(); }));

  // The user turns it up again: the host hears of every step, with the normalised value.
  amp.clearCalls();
  const int x = (knob.left + knob.right) / 2, y = (knob.top + knob.bottom) / 2;
  input_->drag(host, x, y, x, y - 60, 6);
  ASSERT_TRUE(idleUntil({&amp}, [&] {
    const auto automated = amp.callsWith(vstabi::kHostAutomate);
    return !automated.empty() && automated.back().opt == amp.getParameter(kGainRow);
  }));
  for (const vsttest::HostCall& call : amp.callsWith(vstabi::kHostAutomate)) {
    EXPECT_EQ(call.index, kGainRow);
    EXPECT_GT(call.opt, 0.0f);
    EXPECT_LE(call.opt, 1.0f);
  }
  EXPECT_GT(amp.getParameter(kGainRow), 0.2f);
}

// Nothing of the editor stays behind: no child window, no connection; opened again it shows.
// Opening it leaves the sound the host set alone (no program recalled from the preferences).
TEST_F(Editor, ClosesWithoutLeftoversAndOpensAgain) {
  VstInstance& amp = instance();
  const Window host = parent();
  const int sockets = openSockets();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    const float gain = 0.25f * float(round + 1);
    amp.setParameter(kGainRow, gain);
    ASSERT_EQ(open(amp, host), 1);
    EXPECT_EQ(openSockets(), sockets + 1);
    ASSERT_TRUE(idleUntil({&amp}, [&] { return showsPanel(host); }));
    EXPECT_NEAR(amp.getParameter(kGainRow), gain, 1e-6);
    amp.dispatch(vstabi::kEditClose);
    EXPECT_TRUE(children(host).empty());
    EXPECT_EQ(openSockets(), sockets);
  }
}

// Hosts destroy their window before effEditClose, with or without idle calls in between; the
// BadWindow our connection gets is ours alone: the host's handlers stay and see only theirs.
TEST_F(Editor, HostDestroyingItsWindowFirstCostsItNothing) {
  hostErrors.clear();
  const XErrorHandler saved = XSetErrorHandler(&recordHostError);
  const XIOErrorHandler savedIo = XSetIOErrorHandler(&hostIoError);
  VstInstance& amp = instance();
  const fs::path preferences = folder_ / "ValvoramaLive" / "ValvoramaLive.prf";
  for (const char* host : {"idle", "no idle", "close at once"}) {
    SCOPED_TRACE(host);
    fs::remove(preferences);
    const Window doomed = parent();
    ASSERT_EQ(open(amp, doomed), 1);
    const bool idling = std::string(host) == "idle";
    // Without idle calls the editor's own timer draws it.
    ASSERT_TRUE(idleUntil(
        idling ? std::initializer_list<VstInstance*>{&amp} : std::initializer_list<VstInstance*>{},
        [&] { return showsPanel(doomed); }));
    XDestroyWindow(host_, doomed);
    XSync(host_, False);
    parents_.pop_back();
    // The window notices and writes its files as it closes.
    if (std::string(host) != "close at once") {
      EXPECT_TRUE(idleUntil(idling ? std::initializer_list<VstInstance*>{&amp}
                                   : std::initializer_list<VstInstance*>{},
                            [&] { return fs::exists(preferences); }));
    }
    amp.dispatch(vstabi::kEditClose);
  }
  const Window fresh = parent();
  ASSERT_EQ(open(amp, fresh), 1);
  EXPECT_TRUE(idleUntil({&amp}, [&] { return showsPanel(fresh); }));
  amp.close();
  EXPECT_TRUE(hostErrors.empty());

  XDestroyWindow(host_, 0x7fffff);  // the host's own mistake still reaches its handler
  XSync(host_, False);
  ASSERT_EQ(hostErrors.size(), 1u);
  EXPECT_EQ(hostErrors[0].first, host_);
  EXPECT_EQ(hostErrors[0].second, BadWindow);
  EXPECT_EQ(XSetErrorHandler(saved), &recordHostError);
  EXPECT_EQ(XSetIOErrorHandler(savedIo), &hostIoError);
}

// Each instance has its editor on a connection of its own and animates only its own.
TEST_F(Editor, TwoInstancesShowTheirOwnEditorsAtOnce) {
  VstInstance& first = instance();
  VstInstance& second = instance();
  const Window top = parent(0), bottom = parent(500);
  const int sockets = openSockets();
  ASSERT_EQ(open(first, top), 1);
  ASSERT_EQ(open(second, bottom), 1);
  EXPECT_EQ(openSockets(), sockets + 2);
  ASSERT_TRUE(idleUntil({&first, &second}, [&] { return showsPanel(top) && showsPanel(bottom); }));
  settle(first, top, grab(host_, top));
  settle(second, bottom, grab(host_, bottom));

  const Picture topBefore = grab(host_, top), bottomBefore = grab(host_, bottom);
  first.setParameter(kGainRow, 0.0f);
  EXPECT_FALSE(settle(first, top, topBefore).empty());
  second.dispatch(vstabi::kEditIdle);
  EXPECT_TRUE(changed(bottomBefore, grab(host_, bottom)).empty());

  first.dispatch(vstabi::kEditClose);
  second.setParameter(kGainRow, 1.0f);
  EXPECT_FALSE(settle(second, bottom, bottomBefore).empty());
  second.dispatch(vstabi::kEditClose);
  EXPECT_EQ(openSockets(), sockets);
}

}  // namespace
