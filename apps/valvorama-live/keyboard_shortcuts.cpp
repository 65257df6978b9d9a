#include "keyboard_shortcuts.h"

#include <X11/keysym.h>

#include "host/eva_host_window.h"
#include "ui/vlvr_panel.h"
#include "ui/vlvr_window.h"

namespace {

// As the panel's arrow buttons do: round the 128 programs, and while a name is being typed
// the program it goes to. Without the front panel, the host window's own step.
void stepProgram(host::evaHostWindow& hostWindow, int32_t button, int32_t hostControl) {
  if (gui::epiWindow* main = hostWindow.engine().findWindow(host::evaHostWindow::kMainWindow)) {
    main->controlClicked(ui::vlvrWindow::kFrontPanel, button);
  } else {
    hostWindow.controlEvent(hostControl);
  }
}

}  // namespace

gui::epiEngineClass::KeyboardHook keyboardShortcuts(host::evaHostWindow& hostWindow) {
  return [&hostWindow](gui::epiWindow&, const platform::InputEvent& key) {
    gui::epiEngineClass& engine = hostWindow.engine();
    if (engine.modalWindow()) return false;
    switch (key.keysym) {
      case XK_Page_Up:
        stepProgram(hostWindow, ui::vlvrPanel::kProgramUp, host::evaHostWindow::kNextProgram);
        return true;
      case XK_Page_Down:
        stepProgram(hostWindow, ui::vlvrPanel::kProgramDown, host::evaHostWindow::kPreviousProgram);
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
