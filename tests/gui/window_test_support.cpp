#include "window_test_support.h"

// After gtest and our headers: Xlib's macros must not reach them.
#include <X11/Xlib.h>

namespace testsupport {

bool WindowTest::onScreen(const gui::epiWindow& window) {
  return passUntil([&] {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(input_->display(), window.nativeHandle(), &attributes) &&
           attributes.map_state == IsViewable;
  });
}

}  // namespace testsupport
