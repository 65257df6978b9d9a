#pragma once

#include "host/eva_host_audio.h"

// One line for the user on what the audio device does: the devices, rate, block size and
// latency on the standard output when it runs, else what is missing on stderr.
void reportAudio(const host::evaHostAudio& audio, host::evaHostAudio::State state);
