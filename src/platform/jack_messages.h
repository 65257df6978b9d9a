#pragma once

namespace platform {

// libjack prints to stderr whenever a client cannot reach a server; here a missing server only
// means no JACK devices, which the device lists and drivers report in their own words. The
// handlers are process-wide and live in this program, not in a driver library that may be
// unloaded, so everything that may open a JACK client (our MIDI ports, a JACK driver, ALSA's
// jack PCM) calls this first.
void silenceJackMessages();

}  // namespace platform
