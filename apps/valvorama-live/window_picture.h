#pragma once

#include <string>

namespace gui {
class epiWindow;
}

// The stand-alone window as the player sees it, as a PNG file: the host window (menu bar and
// frame) with the editor's window in it. The editor is a window of its own inside the host's
// child frame, so its pixels are laid into the host's back buffer where that frame sits, at the
// left edge below the menu bar. False when the host window is not open or the file cannot be
// written.
bool writeWindowPicture(gui::epiWindow& host, gui::epiWindow* editor, const std::string& path);
