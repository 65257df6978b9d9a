#include "platform/x11_display.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/x11_window.h"

namespace platform {
namespace {

// Xlib's handlers are process-wide and get only the Display: errors on our connections are
// recorded against them; those of anybody else's (a host's) go on to the handler that was there
// before.
std::mutex registryMutex;
std::vector<std::pair<Display*, X11Display*>> registry;

// The handlers our scopes displaced; read by the handlers on whatever thread Xlib calls them.
std::mutex scopeMutex;
int scopeDepth = 0;
std::atomic<XErrorHandler> displacedErrorHandler{nullptr};
std::atomic<XIOErrorHandler> displacedIoErrorHandler{nullptr};

X11Display* ours(Display* display) {
  std::lock_guard lock(registryMutex);
  for (const auto& [xDisplay, owner] : registry)
    if (xDisplay == display) return owner;
  return nullptr;
}

int onError(Display* display, XErrorEvent* event) {
  if (X11Display* owner = ours(display)) {
    owner->recordError(event->error_code);
    return 0;
  }
  const XErrorHandler previous = displacedErrorHandler.load(std::memory_order_relaxed);
  return previous && previous != &onError ? previous(display, event) : 0;
}

int onIoError(Display* display) {
  if (X11Display* owner = ours(display)) {
    owner->markBroken();
    return 0;
  }
  const XIOErrorHandler previous = displacedIoErrorHandler.load(std::memory_order_relaxed);
  return previous && previous != &onIoError ? previous(display) : 0;
}

// Xlib ends the process after a lost connection unless this returns; it does, and the
// connection stays marked broken.
void onIoErrorExit(Display*, void* owner) {
  static_cast<X11Display*>(owner)->markBroken();
}

void enrol(Display* display, X11Display* owner) {
  std::lock_guard lock(registryMutex);
  std::erase_if(registry, [&](const auto& entry) { return entry.first == display; });
  registry.emplace_back(display, owner);
}

void withdraw(Display* display, X11Display* owner) {
  std::lock_guard lock(registryMutex);
  std::erase_if(registry,
                [&](const auto& entry) { return entry.first == display && entry.second == owner; });
}

}  // namespace

X11Display::HandlerScope::HandlerScope() {
  std::lock_guard lock(scopeMutex);
  if (scopeDepth++ > 0) return;
  displacedErrorHandler.store(XSetErrorHandler(&onError), std::memory_order_relaxed);
  displacedIoErrorHandler.store(XSetIOErrorHandler(&onIoError), std::memory_order_relaxed);
}

X11Display::HandlerScope::~HandlerScope() {
  std::lock_guard lock(scopeMutex);
  if (--scopeDepth > 0) return;
  // A handler set meanwhile by somebody else stays in place.
  const XErrorHandler error = XSetErrorHandler(displacedErrorHandler.load());
  if (error != &onError) XSetErrorHandler(error);
  const XIOErrorHandler ioError = XSetIOErrorHandler(displacedIoErrorHandler.load());
  if (ioError != &onIoError) XSetIOErrorHandler(ioError);
}

std::unique_ptr<NativeDisplay> NativeDisplay::open(const char* name, std::string& error) {
  return X11Display::connect(name, error);
}

std::unique_ptr<X11Display> X11Display::connect(const char* name, std::string& error) {
  const char* target = name && *name ? name : std::getenv("DISPLAY");
  if (!target || !*target) {
    error = "no display: DISPLAY is not set";
    return nullptr;
  }
  HandlerScope handlers;
  Display* display = XOpenDisplay(target);
  if (!display) {
    error = std::string("cannot open display \"") + target + "\"";
    return nullptr;
  }
  return std::unique_ptr<X11Display>(new X11Display(display));
}

X11Display::X11Display(Display* display) : display_(display) {
  XSetIOErrorExitHandler(display_, &onIoErrorExit, this);
  enrol(display_, this);
}

X11Display::~X11Display() {
  HandlerScope handlers;
  // Windows that outlive their display let go of the connection now.
  const auto windows = std::exchange(windows_, {});
  for (const auto& [id, window] : windows)
    window->orphan();
  XCloseDisplay(display_);
  withdraw(display_, this);
}

std::unique_ptr<NativeWindow> X11Display::createTopLevel(int32_t width, int32_t height,
                                                         const std::string& title) {
  HandlerScope handlers;
  if (broken_) return nullptr;
  auto window = X11Window::create(*this, DefaultRootWindow(display_), true, 0, 0, width, height);
  if (window) window->setTitle(title);
  return window;
}

std::unique_ptr<NativeWindow> X11Display::createChild(uint64_t parentId, int32_t x, int32_t y,
                                                      int32_t width, int32_t height) {
  HandlerScope handlers;
  if (broken_ || parentId == 0) return nullptr;
  return X11Window::create(*this, static_cast<Window>(parentId), false, x, y, width, height);
}

bool X11Display::pump() {
  HandlerScope handlers;
  // Each event is taken out of the queue before it is handled, so a handler may pump again (a
  // modal loop) or destroy its window.
  while (!broken_ && XEventsQueued(display_, QueuedAfterFlush) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    dispatch(event);
  }
  if (!broken_) XFlush(display_);
  return !broken_;
}

bool X11Display::wait(int32_t milliseconds) {
  HandlerScope handlers;
  if (broken_) return false;
  if (XEventsQueued(display_, QueuedAfterFlush) > 0) return true;
  pollfd connection{ConnectionNumber(display_), POLLIN, 0};
  if (poll(&connection, 1, std::max(milliseconds, 0)) <= 0) return false;
  return !broken_ && XEventsQueued(display_, QueuedAfterReading) > 0;
}

void X11Display::flush() {
  HandlerScope handlers;
  if (!broken_) XFlush(display_);
}

Atom X11Display::atom(const char* name) {
  auto found = atoms_.find(name);
  if (found != atoms_.end()) return found->second;
  HandlerScope handlers;
  const Atom value = XInternAtom(display_, name, False);
  atoms_.emplace(name, value);
  return value;
}

int X11Display::checked(const std::function<void()>& requests) {
  HandlerScope handlers;
  if (broken_) return BadImplementation;
  XSync(display_, False);
  errorCode_ = 0;
  requests();
  XSync(display_, False);
  return broken_ ? BadImplementation : std::exchange(errorCode_, 0);
}

void X11Display::dispatch(XEvent& event) {
  const auto found = windows_.find(event.xany.window);
  if (found != windows_.end()) found->second->handle(event);
}

}  // namespace platform
