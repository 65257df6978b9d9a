#pragma once

namespace platform {

// ALSA prints every failed open and every missing card on stderr. Device failures are silent
// here (the caller learns them from the result), so the library's own messages are switched off
// once per process before the first ALSA call.
void silenceAlsaErrors();

}  // namespace platform
