#pragma once

#include <optional>

#include "live_host_window.h"

// The stand-alone host with its window, in the order of a plug-in host: the engine (and with it
// the processor and the editor), the open processor and its program bank, the host window with
// the editor, the menus and live audio and MIDI, the event loop until "Quit", Ctrl+Q, the
// window's close button or a stop signal; then audio stops before the processor closes its rack,
// the editor's window writes its files as the host window closes, and the processor goes with
// the engine. A failure to start is shown in the framework's warning box. `screenshot`: write
// the window as a PNG after that much of the loop, then quit. Returns the exit status.
//
// With VALVORAMA_LIVE_TRACE set, each step is also written as a "trace:" line (console_log.h).
int runWindowHost(const std::optional<LiveHostWindow::Screenshot>& screenshot);
