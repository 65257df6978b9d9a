#include "support/x11/xtest_input.h"

#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace testsupport {

XTestInput::XTestInput() {
  display_ = XOpenDisplay(nullptr);
  if (!display_) {
    error_ = "cannot open the display for XTest";
    return;
  }
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor))
    error_ = "the X server has no XTest extension";
}

XTestInput::~XTestInput() {
  if (display_) XCloseDisplay(display_);
}

void XTestInput::sync() {
  XSync(display_, False);
}

void XTestInput::moveTo(uint64_t window, int32_t x, int32_t y) {
  const Window root = DefaultRootWindow(display_);
  int rootX = 0, rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display_, static_cast<Window>(window), root, x, y, &rootX, &rootY, &child);
  XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
  sync();
}

void XTestInput::press(int button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
  sync();
}

void XTestInput::release(int button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
  sync();
}

void XTestInput::wheel(int32_t steps) {
  const int button = steps > 0 ? Button4 : Button5;
  for (int32_t i = 0; i < (steps > 0 ? steps : -steps); ++i) {
    press(button);
    release(button);
  }
}

void XTestInput::key(uint32_t keysym, bool down) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  if (code == 0) {
    ADD_FAILURE() << "no key on the test keyboard for keysym 0x" << std::hex << keysym;
    return;
  }
  XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
  sync();
}

void XTestInput::keyDown(uint32_t keysym) {
  key(keysym, true);
}

void XTestInput::keyUp(uint32_t keysym) {
  key(keysym, false);
}

void XTestInput::typeKey(uint32_t keysym) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  const bool shifted = code != 0 && XkbKeycodeToKeysym(display_, code, 0, 0) != keysym;
  if (shifted) keyDown(XK_Shift_L);
  keyDown(keysym);
  keyUp(keysym);
  if (shifted) keyUp(XK_Shift_L);
}

void XTestInput::typeText(const std::string& ascii) {
  for (const char c : ascii)
    typeKey(c == '\n' ? XK_Return : static_cast<unsigned char>(c));
}

void XTestInput::drag(uint64_t window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int steps,
                      std::initializer_list<uint32_t> held) {
  moveTo(window, x0, y0);
  for (const uint32_t keysym : held)
    keyDown(keysym);
  press(Button1);
  for (int i = 1; i <= steps; ++i)
    moveTo(window, x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
  release(Button1);
  for (const uint32_t keysym : held)
    keyUp(keysym);
}

void XTestInput::focus(uint64_t window) {
  XSetInputFocus(display_, static_cast<Window>(window), RevertToPointerRoot, CurrentTime);
  sync();
}

bool pumpUntil(platform::NativeDisplay& display, const std::function<bool()>& done,
               std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const bool alive = display.pump();
    if (done()) return true;
    if (!alive || std::chrono::steady_clock::now() >= deadline) return false;
    display.wait(10);
  }
}

}  // namespace testsupport
