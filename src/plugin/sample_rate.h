#pragma once

namespace plugin {

// The process-wide sample rate shared by the host and the processor: 44100 Hz until the host
// sets the rate of the audio device it opens. New racks are created at this rate.
float processSampleRate();
void setProcessSampleRate(float rate);

}  // namespace plugin
