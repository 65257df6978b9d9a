#include "keyboard_shortcuts.h"

#include <X11/keysym.h>

#include "host/eva_host_window.h"

gui::epiEngineClass::KeyboardHook keyboardShortcuts(host::evaHostWindow& hostWindow) {
  return [&hostWindow](gui::epiWindow&, const platform::InputEvent& key) {
    gui::epiEngineClass& engine = hostWindow.engine();
    if (engine.modalWindow()) return false;
    switch (key.keysym) {
      case XK_Page_Up:
        hostWindow.controlEvent(host::evaHostWindow::kNextProgram);
        return true;
      case XK_Page_Down:
        hostWindow.controlEvent(host::evaHostWindow::kPreviousProgram);
        return true;
      case XK_F2:
        hostWindow.openProgramNameDialog();
        return true;
      case XK_q:
      case XK_Q:
        if (!(key.modifiers & platform::kControl)) return false;
        engine.quit();
        return true;
      default:
        return false;
    }
  };
}
