#include "dsp/synth_vca.h"

#include "dsp/vector_kernels.h"

namespace dsp {

void SynthVCA::setFormat(int channels, int /*sampleRate*/) {
  channels_ = channels;
}

float SynthVCA::beginRamp(int frames, float target) {
  if (jumpNext_) {
    jumpNext_ = 0;
    gain_ = target;
  }
  return (target - gain_) / static_cast<float>(frames);
}

void SynthVCA::processInPlace(float* buffer, int frames, float target) {
  if (frames <= 0) return;
  const float step = beginRamp(frames, target);
  vec::applyRamp(buffer, frames, channels_ >= 2 ? 2 : 1, gain_, step);
  gain_ = target;
}

void SynthVCA::mixAdd(float* dest, const float* src, int frames, float target) {
  if (frames <= 0) return;
  const float step = beginRamp(frames, target);
  vec::mixRamp(dest, src, frames, channels_ >= 2 ? 2 : 1, gain_, step);
  gain_ = target;
}

void SynthVCA::mixAddMonoToStereo(float* dest, const float* src, int frames, float target) {
  if (frames <= 0) return;
  const float step = beginRamp(frames, target);
  vec::mixMonoToStereoRamp(dest, src, frames, gain_, step);
  gain_ = target;
}

void SynthVCA::mixAddPanned(float* dest, const float* src, int frames, float target, float gainL,
                            float gainR, bool monoSource) {
  if (frames <= 0) return;
  const float step = beginRamp(frames, target);
  if (monoSource) {
    vec::mixMonoToStereoRampGains(dest, src, frames, gain_, step, gainL, gainR);
  } else {
    vec::mixStereoRampGains(dest, src, frames, gain_, step, gainL, gainR);
  }
  gain_ = target;
}

}  // namespace dsp
