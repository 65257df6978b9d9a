#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Modifier bits of an input event.
enum Modifier : uint32_t {
  kShift = 1u << 0,
  kControl = 1u << 1,
  kAlt = 1u << 2,
  kButton1 = 1u << 8,  // left button held
};

struct InputEvent {
  enum class Type {
    kExpose,         // x, y, width, height: the damaged area (already redrawn from the back buffer)
    kResize,         // width, height: the new size; the back buffer has been resized
    kButtonPress,    // x, y, button (1 left, 2 middle, 3 right)
    kButtonRelease,  // x, y, button
    kMotion,         // x, y
    kWheel,          // x, y, wheel: +1 up, -1 down
    kKeyPress,       // keysym, text (UTF-8, may be empty)
    kKeyRelease,     // keysym
    kClose,          // the window manager asks the window to close
    kDestroyed,      // the window (or its foreign parent) is gone; no further events
  };
  Type type = Type::kExpose;
  int32_t x = 0, y = 0, width = 0, height = 0;
  int32_t button = 0;
  int32_t wheel = 0;
  uint32_t modifiers = 0;
  uint32_t keysym = 0;
  char text[8] = {};
};

class NativeDisplay;

// A window with a cairo image back buffer. Everything is drawn into the back buffer; present()
// copies (a part of) it to the screen. Events reach onEvent from NativeDisplay::pump(), on the
// thread that pumps; a window is used from that one thread only.
class NativeWindow {
 public:
  virtual ~NativeWindow() = default;

  std::function<void(const InputEvent&)> onEvent;

  virtual uint64_t id() const = 0;  // the X window id
  virtual int32_t width() const = 0;
  virtual int32_t height() const = 0;
  // ARGB32 image of width x height; a new one after a size change, so take it for each drawing.
  virtual cairo_surface_t* backBuffer() = 0;
  virtual void present(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  void presentAll() { present(0, 0, width(), height()); }
  virtual void setTitle(const std::string& title) = 0;
  // The back buffer takes the new size at once (the picture kept in its top left corner); no
  // kResize follows for a size asked for here.
  virtual void resize(int32_t width, int32_t height) = 0;
  virtual void show() = 0;
  virtual void hide() = 0;
  // The back buffer as a PNG file; false when it cannot be written.
  bool writePng(const std::string& path);
};

// The connection to the display server.
class NativeDisplay {
 public:
  virtual ~NativeDisplay() = default;
  // Null when no display can be opened (no DISPLAY, no server); `error` says why.
  static std::unique_ptr<NativeDisplay> open(const char* name, std::string& error);

  virtual std::unique_ptr<NativeWindow> createTopLevel(int32_t width, int32_t height,
                                                       const std::string& title) = 0;
  // A child of a foreign window (a plug-in host's editor parent), shown at once; null if the
  // parent is gone. A top-level window shows after show().
  virtual std::unique_ptr<NativeWindow> createChild(uint64_t parentId, int32_t x, int32_t y,
                                                    int32_t width, int32_t height) = 0;
  // Dispatches every pending event to its window without blocking; false once the connection
  // is broken.
  virtual bool pump() = 0;
  // Waits up to `milliseconds` for an event to arrive; true when one is pending.
  virtual bool wait(int32_t milliseconds) = 0;
  virtual void flush() = 0;
};

}  // namespace platform
