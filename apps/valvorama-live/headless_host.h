#pragma once

// The stand-alone host without its window: the engine, the processor and its programs, and
// live audio from the hardware settings, until SIGINT or SIGTERM. Settings files come from the
// settings folder (framework::SettingsFolder): the program bank, the hardware settings, the
// preferences and the MIDI mappings. MIDI messages drive the amp as they drive the main window,
// and what its LCD would show is printed. `learn` (a ui::vlvrMidiControl::Learn, or 0) starts
// that MIDI learn at start-up. Returns the process's exit status.
//
// With VALVORAMA_LIVE_TRACE set, every step of start-up and shutdown is also written to stderr
// as a "trace:" line with what it found, so tests can check the order.
int runHeadlessHost(int learn);
