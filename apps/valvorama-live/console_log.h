#pragma once

// The stand-alone host's lines on stderr. Each line goes out in one write, so lines of the
// audio libraries' threads cannot cut into it.

// "valvorama-live: ..." for the user.
[[gnu::format(printf, 1, 2)]] void problem(const char* format, ...);

// With VALVORAMA_LIVE_TRACE set, every step of start-up and shutdown is also written as a
// "trace: ..." line with what it found, so tests can check the order.
[[gnu::format(printf, 1, 2)]] void trace(const char* format, ...);
bool tracing();
