#include "host/eva_mp_audio.h"

#include "host/eva_host_audio.h"

namespace host {

void evaMPAudio::process(float* const* inputs, int32_t inputCount, float* const* outputs,
                         int32_t outputCount, int32_t frames) {
  if (!host_) return;
  float* in0 = inputCount > 0 ? inputs[0] : nullptr;
  float* in1 = inputCount == 2 ? inputs[1] : in0;
  float* out0 = outputCount > 0 ? outputs[0] : nullptr;
  float* out1 = outputCount == 2 ? outputs[1] : out0;
  host_->processBlock(in0, in1, out0, out1, frames);
}

}  // namespace host
