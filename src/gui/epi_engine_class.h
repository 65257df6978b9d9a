#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/epi_message.h"
#include "platform/native_window.h"

namespace gui {

class epiWindow;

// The framework's application object: the display connection, the open windows (found by
// their identifier), the messages posted to them, the running flag and the event loop.
//
// The loop is one primitive, processEvents(): pump the window events, deliver the posted
// messages, give every window its idle turn (timers, glides, drawing). A stand-alone program
// repeats it with run(); a plug-in host's idle call makes one pass that never blocks. Modal
// dialogs live inside the same passes: nothing here ever waits for a dialog.
//
// Used on the user-interface thread only; windows must not outlive their engine.
class epiEngineClass {
 public:
  // Consulted with every key press before the window gets it; true takes the key.
  using KeyboardHook = std::function<bool(epiWindow& window, const platform::InputEvent& key)>;

  epiEngineClass();
  // Closes every window still open.
  virtual ~epiEngineClass();
  epiEngineClass(const epiEngineClass&) = delete;
  epiEngineClass& operator=(const epiEngineClass&) = delete;

  // Connects to the display (`name`, or DISPLAY when null). False with the reason in `error`
  // when there is none; windows then fail to open and everything else goes on working.
  bool openDisplay(const char* name, std::string& error);
  platform::NativeDisplay* display() const { return display_.get(); }
  // Closes every window, then the connection.
  void closeDisplay();

  bool running() const { return running_; }
  void setRunning(bool running) { running_ = running; }
  void quit() { running_ = false; }

  // The stand-alone loop: sets the running flag, calls beforeLoop(), then makes passes until
  // the flag is cleared (or the display connection is lost, which clears it).
  void run();
  // One pass; waits at most `waitMs` for window events first (0: not at all). False once the
  // display connection is lost.
  bool processEvents(int32_t waitMs = 0);

  void setKeyboardHook(KeyboardHook hook) { keyboardHook_ = std::move(hook); }
  const KeyboardHook& keyboardHook() const { return keyboardHook_; }

  // The open window with that identifier (the first opened, when several share it).
  epiWindow* findWindow(uint32_t identifier) const;
  // The open window that was opened first; null when none is open.
  epiWindow* firstOpenWindow() const;
  // The open windows, in the order they opened.
  const std::vector<epiWindow*>& windows() const { return windows_; }
  // Closes every open window, and releases the windows the engine owns.
  void closeAllWindows();
  // The engine keeps `window` until it closes (dialogs, message boxes), then deletes it at the
  // end of a pass.
  epiWindow& adopt(std::unique_ptr<epiWindow> window);

  // Delivered by the next pass; messages to a window that is not open then are dropped.
  void post(epiMessage message);
  // Delivered now; false when no open window has the target identifier.
  bool send(const epiMessage& message);

  // The modal window on top: only it takes input while it is open. Null when there is none.
  epiWindow* modalWindow() const;
  // The window whose menus are open, if any.
  epiWindow* menuWindow() const { return menuWindow_; }

 protected:
  // The product's hook just before the stand-alone loop starts.
  virtual void beforeLoop() {}

 private:
  friend class epiWindow;
  void enrol(epiWindow& window);
  void withdraw(epiWindow& window);
  void setMenuWindow(epiWindow* window) { menuWindow_ = window; }
  void deliverPosted();
  void releaseClosed();

  static constexpr int32_t kLoopWaitMs = 5;

  std::unique_ptr<platform::NativeDisplay> display_;
  bool running_ = false;
  KeyboardHook keyboardHook_;
  std::vector<epiWindow*> windows_;
  std::vector<std::unique_ptr<epiWindow>> owned_;
  std::deque<epiMessage> posted_;
  epiWindow* menuWindow_ = nullptr;
};

}  // namespace gui
