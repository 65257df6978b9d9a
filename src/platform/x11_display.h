#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/native_window.h"

namespace platform {

class X11Window;

// One Xlib connection and the windows made on it. Every X error and a lost connection are caught
// here and recorded against this connection; the process is never ended by Xlib (an editor
// inside a host must not take the host down). Thread: one at a time (the plug-in's editor uses
// it under its engine's lock, from the host's thread or its own timer).
class X11Display final : public NativeDisplay {
 public:
  // Xlib's error handlers are process-wide. Ours are in place only while a scope lives (on any
  // thread; they nest): every call that may talk to the server opens one, because only then does
  // Xlib read our connections and report their errors. Outside them a host's own handlers stand
  // untouched, and none of ours is left behind when a plug-in library is unloaded. Errors of
  // other connections that arrive meanwhile go on to the handlers ours displaced.
  class HandlerScope {
   public:
    HandlerScope();
    ~HandlerScope();
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
  };

  static std::unique_ptr<X11Display> connect(const char* name, std::string& error);
  ~X11Display() override;
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  std::unique_ptr<NativeWindow> createTopLevel(int32_t width, int32_t height,
                                               const std::string& title) override;
  std::unique_ptr<NativeWindow> createChild(uint64_t parentId, int32_t x, int32_t y, int32_t width,
                                            int32_t height) override;
  bool pump() override;
  bool wait(int32_t milliseconds) override;
  void flush() override;

  Display* xDisplay() const { return display_; }
  bool broken() const { return broken_; }
  Atom atom(const char* name);

  // Runs `requests` and waits for the server's verdict: the X error code they caused, 0 if none.
  int checked(const std::function<void()>& requests);

  // The windows announce themselves so that their events reach them.
  void attach(Window id, X11Window* window) { windows_[id] = window; }
  void detach(Window id) { windows_.erase(id); }

  // From the process-wide Xlib handlers.
  void recordError(int code) { errorCode_ = code; }
  void markBroken() { broken_ = true; }

 private:
  explicit X11Display(Display* display);
  void dispatch(XEvent& event);

  Display* display_;
  std::unordered_map<Window, X11Window*> windows_;
  std::unordered_map<std::string, Atom> atoms_;
  int errorCode_ = 0;
  bool broken_ = false;
};

}  // namespace platform
