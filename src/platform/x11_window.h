#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <memory>
#include <string>

#include "platform/native_window.h"

namespace platform {

class X11Display;

// An X window and its back buffer. A top-level window shows after show(); a child of a foreign
// window (a host's editor parent) shows at once. When X destroys the window (its parent went)
// the object stays usable and does nothing on screen. Thread: the display's.
class X11Window final : public NativeWindow {
 public:
  // Null when X refuses (the parent is gone).
  static std::unique_ptr<X11Window> create(X11Display& display, Window parent, bool topLevel,
                                           int32_t x, int32_t y, int32_t width, int32_t height);
  ~X11Window() override;
  X11Window(const X11Window&) = delete;
  X11Window& operator=(const X11Window&) = delete;

  uint64_t id() const override { return window_; }
  int32_t width() const override { return width_; }
  int32_t height() const override { return height_; }
  cairo_surface_t* backBuffer() override { return back_; }
  void present(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void setTitle(const std::string& title) override;
  void resize(int32_t width, int32_t height) override;
  void show() override;
  void hide() override;

  // From the display's pump.
  void handle(XEvent& event);
  // The display closes before the window: the window lets go of it.
  void orphan();

 private:
  X11Window(X11Display& display, Window window, const XWindowAttributes& attributes, bool topLevel);
  bool live() const;
  void putDirect(int32_t x, int32_t y, int32_t width, int32_t height);
  void putConverted(int32_t x, int32_t y, int32_t width, int32_t height);
  void adoptSize(int32_t width, int32_t height);
  void deliver(const InputEvent& event);

  X11Display* display_;
  Window window_;
  bool topLevel_;
  bool gone_ = false;
  int32_t width_;
  int32_t height_;
  cairo_surface_t* back_;
  GC gc_ = nullptr;
  Visual* visual_;
  int depth_;
  // The window's pixels are the back buffer's words (24-bit true colour, 32 bits a pixel): the
  // buffer goes to the server as it is; otherwise each pixel is converted.
  bool direct_;
};

}  // namespace platform
