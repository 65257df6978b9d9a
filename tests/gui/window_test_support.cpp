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

std::string WindowTest::titleOf(const gui::epiWindow& window) {
  char* name = nullptr;
  if (!XFetchName(input_->display(), window.nativeHandle(), &name) || !name) return {};
  std::string title(name);
  XFree(name);
  return title;
}

}  // namespace testsupport
