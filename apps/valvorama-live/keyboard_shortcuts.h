#pragma once

#include "gui/epi_engine_class.h"

namespace host {
class evaHostWindow;
}

// The stand-alone program's keys, seen before the window under them: Page Up and Page Down
// select the next and the previous program as the menus do, F2 names the current program,
// Ctrl+Q quits. While a modal window is up (a dialog, a message box) every key is its own.
gui::epiEngineClass::KeyboardHook keyboardShortcuts(host::evaHostWindow& hostWindow);
