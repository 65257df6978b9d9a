#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "platform/native_window.h"

struct _XDisplay;

namespace testsupport {

// A user's mouse and keyboard: real input through the XTest extension, on a connection of its
// own to the server DISPLAY names (XvfbServer's). Each call returns once the server has acted on
// it; the events then wait on the receiving connection (see pumpUntil). The same connection
// plays a plug-in host: it can make a foreign parent window and read pixels back.
class XTestInput {
 public:
  XTestInput();
  ~XTestInput();
  XTestInput(const XTestInput&) = delete;
  XTestInput& operator=(const XTestInput&) = delete;

  // Connected and the server has XTest; otherwise error() says why.
  bool available() const { return display_ != nullptr && error_.empty(); }
  const std::string& error() const { return error_; }
  _XDisplay* display() const { return display_; }

  // The pointer to (x, y) of `window`.
  void moveTo(uint64_t window, int32_t x, int32_t y);
  void press(int button);
  void release(int button);
  // One wheel step per unit: positive up, negative down.
  void wheel(int32_t steps);
  // Holds and lets go of a key by its symbol (XK_Alt_L, XK_Control_L, ...).
  void keyDown(uint32_t keysym);
  void keyUp(uint32_t keysym);
  // Presses and releases a key, with Shift when the symbol is on the key's shifted level.
  void typeKey(uint32_t keysym);
  void typeText(const std::string& ascii);
  // Button 1 pressed at (x0, y0) of `window`, moved to (x1, y1) in `steps` equal motions and
  // released, while the keys `held` are held down.
  void drag(uint64_t window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int steps,
            std::initializer_list<uint32_t> held = {});
  // Keys go to `window` (mapped and on screen) from now on.
  void focus(uint64_t window);

 private:
  void key(uint32_t keysym, bool down);
  void sync();

  _XDisplay* display_ = nullptr;
  std::string error_;
};

// Pumps `display`, waiting for events in between, until `done()` holds; false when it still does
// not after `limit` (or the connection broke first).
bool pumpUntil(platform::NativeDisplay& display, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace testsupport
