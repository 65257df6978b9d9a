#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/x11/xvfb_fixture.h"
#include "vst/vst_host.h"
#include "vst/vst_test_support.h"

// After gtest: Xlib's macros (None, Bool, Status) must not reach its headers.
#include <X11/Xlib.h>

namespace {

using vsttest::MidiEventList;
using vsttest::VstInstance;

// The host's audio thread sends MIDI all the while its user-interface thread opens and closes
// the editor: each message reaches the open window's handling or the instance's own, never a
// window on its way out (the sanitizer build sees any use after the window is gone).
class PluginMidiHandoff : public testsupport::XvfbTest {
 protected:
  // The editor's fonts stay in cairo's and fontconfig's process-wide caches, which a plug-in
  // leaves alone (its host may draw with them too): the host lets them go for the leak check.
  static void TearDownTestSuite() {
    XvfbTest::TearDownTestSuite();
    cairo_debug_reset_static_data();
    // Fontconfig comes with cairo; this program does not link it by name.
    if (void* fini = dlsym(RTLD_DEFAULT, "FcFini")) reinterpret_cast<void (*)()>(fini)();
  }
};

TEST_F(PluginMidiHandoff, EventsKeepFlowingWhileTheEditorOpensAndCloses) {
  vsttest::PrivateSettings settings;
  vsttest::VstLibrary library;
  ASSERT_TRUE(library.loaded()) << library.error();
  VstInstance instance(library);
  ASSERT_NE(instance.effect(), nullptr);
  instance.start(44100.0f, 256);

  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window parent =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1100, 480, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);

  std::atomic<bool> stop{false};
  std::thread audio([&instance, &stop] {
    MidiEventList up({{0xB0, 1, 127}}), down({{0xB0, 1, 0}});
    for (int n = 0; !stop.load(); ++n) {
      instance.dispatch(vstabi::kProcessEvents, 0, 0, (n % 2 ? up : down).list());
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < 6; ++round) {
    EXPECT_EQ(instance.dispatch(vstabi::kEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    for (int idle = 0; idle < 3; ++idle)
      instance.dispatch(vstabi::kEditIdle);
    instance.dispatch(vstabi::kEditClose);
  }
  stop = true;
  audio.join();

  // Closed again, the instance's own handling has the messages.
  for (const uint8_t value : {uint8_t{0}, uint8_t{127}}) {
    instance.sendMidi({{0xB0, 1, value}});
    EXPECT_EQ(instance.getParameter(3), value / 127.0f);
  }
  instance.close();
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

}  // namespace
