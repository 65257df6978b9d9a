#include "window_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <thread>

namespace livetest {
namespace {

// Another program's window can go between two requests about it: while the probe asks, X errors
// on its connection are expected and ignored; those of other connections go where they went.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) {
    XSync(display, False);
    trapped_ = display;
    previous_ = XSetErrorHandler(&onError);
  }
  ~ErrorTrap() {
    XSync(trapped_, False);
    XSetErrorHandler(previous_);
    trapped_ = nullptr;
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

 private:
  static int onError(Display* display, XErrorEvent* event) {
    return display == trapped_ || !previous_ ? 0 : previous_(display, event);
  }
  static inline Display* trapped_ = nullptr;
  static inline XErrorHandler previous_ = nullptr;
};

bool viewable(Display* display, Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

}  // namespace

uint64_t WindowProbe::waitForTopLevel(const std::string& title,
                                      std::chrono::milliseconds limit) const {
  const auto end = std::chrono::steady_clock::now() + limit;
  do {
    for (const uint64_t window : children(DefaultRootWindow(display_))) {
      const ErrorTrap trap(display_);
      char* name = nullptr;
      const bool same = XFetchName(display_, window, &name) && name && title == name;
      if (name) XFree(name);
      if (same) return window;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < end);
  return 0;
}

std::vector<uint64_t> WindowProbe::children(uint64_t window) const {
  Window root = 0, parent = 0;
  Window* list = nullptr;
  unsigned count = 0;
  std::vector<uint64_t> shown;
  const ErrorTrap trap(display_);
  if (!XQueryTree(display_, window, &root, &parent, &list, &count)) return shown;
  for (unsigned i = 0; i < count; ++i)
    if (viewable(display_, list[i])) shown.push_back(list[i]);
  if (list) XFree(list);
  return shown;
}

bool WindowProbe::waitForChildren(uint64_t window, size_t count,
                                  std::chrono::milliseconds limit) const {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (children(window).size() < count) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

WindowProbe::Area WindowProbe::area(uint64_t window) const {
  Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  const ErrorTrap trap(display_);
  XGetGeometry(display_, window, &root, &x, &y, &width, &height, &border, &depth);
  return {x, y, int32_t(width), int32_t(height)};
}

std::vector<uint32_t> WindowProbe::pixels(uint64_t window, const Area& area) const {
  std::vector<uint32_t> result;
  const ErrorTrap trap(display_);
  XImage* image = XGetImage(display_, window, area.x, area.y, unsigned(area.width),
                            unsigned(area.height), AllPlanes, ZPixmap);
  if (!image) return result;
  for (int y = 0; y < area.height; ++y)
    for (int x = 0; x < area.width; ++x)
      result.push_back(uint32_t(XGetPixel(image, x, y)) & 0xffffffu);
  XDestroyImage(image);
  return result;
}

void WindowProbe::askToClose(uint64_t window) const {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XSync(display_, False);
}

}  // namespace livetest
