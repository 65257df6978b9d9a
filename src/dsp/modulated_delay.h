#pragma once

#include <cstdint>
#include <memory>

#include "dsp/biquad_filter.h"
#include "dsp/lfo.h"

namespace dsp {

// The part shared by the chorus-type delay lines: an 8192-sample ring read at a fixed base
// delay plus a modulation held in 16.16 fixed point, interpolated linearly, with feedback.
// The modulation moves linearly from its old value to a new target over each call, so the
// owner evaluates its modulator once per call only.
class ModulatedDelayBase {
 public:
  static constexpr int32_t kRingSize = 8192;
  static constexpr int32_t kRingMask = kRingSize - 1;

  // Moves the read position; growing the delay silences the newly exposed stretch of the ring
  // so that no stale audio sounds.
  void setBaseDelay(float seconds);
  void setFeedback(float feedback) { feedback_ = feedback; }

  int32_t baseDelay() const { return baseDelay_; }
  float feedback() const { return feedback_; }
  // Current modulation in 16.16 fixed-point samples.
  int32_t modulation() const { return modDelay_; }
  float sampleRate() const { return sampleRate_; }

 protected:
  ModulatedDelayBase();

  void clearRing();
  // Runs one call: the modulation glides to `target` (16.16 samples) over the frames. out may
  // equal in. kFlush drops feedback values too small to matter before they turn denormal.
  template <bool kFlush>
  void run(float* out, const float* in, int frames, int32_t target);
  // A modulation in 16.16 samples, rounded and kept within the ring.
  static int32_t toFixed(float value);

  int32_t channels_ = 1;
  float sampleRate_ = 44100.0f;
  std::unique_ptr<float[]> ring_;
  int32_t baseDelay_ = 0;
  int32_t modDelay_ = 0;
  int32_t modStep_ = 0;
  int32_t readCounter_ = 0;
  int32_t writeIndex_ = 0;
  float feedback_ = 0.0f;
};

// Delay line modulated by its own Lfo: base delay plus 0 to depth samples.
class ModulatedDelay : public ModulatedDelayBase {
 public:
  ModulatedDelay() = default;

  // Also installs provisional settings that every owner overrides.
  void setFormat(int channels, int sampleRate);
  void setLfo(int32_t waveform, float depthSamples, float rateHz);
  // Clears the ring and restarts the Lfo at `phase` (in periods).
  void reset(float phase);
  void process(float* out, const float* in, int frames);

  const Lfo& lfo() const { return lfo_; }

 private:
  float modDepth_ = 0.0f;  // depth in samples times -65536
  Lfo lfo_;
};

// Delay line modulated by low-passed noise running at the control rate (one value per call).
// Its feedback is not flushed.
class RandomDelay : public ModulatedDelayBase {
 public:
  RandomDelay();

  void setFormat(int channels, int sampleRate);
  // speed scales the noise filter's corner (speed x 628 rad/s); depthSeconds is its DC gain
  // expressed as a delay.
  void setNoise(float speed, float depthSeconds);
  void reset();
  void process(float* out, const float* in, int frames);

 private:
  BiquadFilter noise_;
};

// Two mono delay lines run as a pair. One input channel feeds both; two are split left to A,
// right to B. A mono output comes from A alone, a stereo one from A (left) and B (right). The
// dry signal of the mix is taken from the split copies, so out may alias in and the channel
// counts may differ. Channel counts of 2 or more use exactly two interleaved channels.
template <class Delay>
class DelayPair {
 public:
  static constexpr int kChunk = 128;

  DelayPair() : scratch_(std::make_unique<float[]>(4 * kChunk)) {}

  Delay a;
  Delay b;

  // mix(wet, dry, n) combines a delay's output with its input in place on wet.
  template <class Mix>
  void process(float* out, const float* in, int frames, int inChannels, int outChannels, Mix mix) {
    const int inStride = inChannels >= 2 ? 2 : 1;
    const int outStride = outChannels >= 2 ? 2 : 1;
    float* inA = scratch_.get();
    float* inB = inA + kChunk;
    float* outA = inB + kChunk;
    float* outB = outA + kChunk;
    for (int pos = 0; pos < frames; pos += kChunk) {
      const int n = frames - pos < kChunk ? frames - pos : kChunk;
      const float* src = in + pos * inStride;
      float* dst = out + pos * outStride;
      for (int i = 0; i < n; ++i) {
        inA[i] = src[i * inStride];
        inB[i] = src[i * inStride + inStride - 1];
      }
      if (outStride == 1) {
        a.process(dst, inA, n);
        mix(dst, inA, n);
        continue;
      }
      a.process(outA, inA, n);
      b.process(outB, inB, n);
      mix(outA, inA, n);
      mix(outB, inB, n);
      for (int i = 0; i < n; ++i) {
        dst[2 * i] = outA[i];
        dst[2 * i + 1] = outB[i];
      }
    }
  }

 private:
  std::unique_ptr<float[]> scratch_;
};

}  // namespace dsp
