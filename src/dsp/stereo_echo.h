#pragma once

#include <cstdlib>
#include <memory>

#include "dsp/automated_effect.h"
#include "dsp/biquad_filter.h"

namespace dsp {

// Tempo-synchronised delay: one long ring read at up to three taps whose distances follow
// "Speed" (sixtieths of a beat) and the tempo, a band-passed feedback path and a dry/wet mix.
// "Mode" picks the stereo tap layout (0 to 4); one channel in and out always hears tap 2.
class TStereoEcho : public TAutomatedEffect {
 public:
  // The ring holds this many frames of two channels whatever the format, so no tempo, speed or
  // format change ever allocates.
  static constexpr int kRingFrames = 196608;
  // Longest delay in samples, kept a little short of the mono ring.
  static constexpr int kMaxDelay = 196560;

  TStereoEcho(EffectObserver* owner, uint32_t flags);

  void setFormat(int channels, int sampleRate) override;
  void setInputChannels(int channels) override;
  // Clears the ring only when it is not already known to be clean.
  void reset() override;
  void invalidate() override;

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  struct FilterState {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  };

  int ringLength() const { return kRingFrames * inputChannels(); }
  int advance(int pos) const;
  int distanceTo(int tap) const;
  int readSpan() const;
  void designBandWidth(float bandWidth);
  void recomputeTaps();
  void zeroRing(int start, int count);
  float filterFeedback(FilterState& s, float r) const;
  void processMono(float* out, const float* in, int frames);
  void processMonoInRuns(float* out, const float* in, int frames);
  void processStereo(float* out, const float* in, int frames);

  struct FreeRing {
    void operator()(float* ring) const { std::free(ring); }
  };

  int clean_ = 0;  // guarded by the effect lock
  // A fresh ring comes from calloc: zero pages the kernel has not handed out yet. Until the
  // first block writes it, clearing it is left out, so a render only pays for the part of
  // the ring its delay reaches.
  bool written_ = false;  // guarded by the effect lock
  std::unique_ptr<float[], FreeRing> ring_;
  int mode_ = 0;
  int writePos_ = 0;
  int tap1_ = 0, tap2_ = 0, tap3_ = 0;
  int delay_ = 0;
  // Distance in samples of the farthest tap the current layout reads; anything older has
  // already been heard.
  int span_ = 0;
  float speed_ = 32.0f;
  float feedback_ = 0.0f;
  float level_ = 0.0f;
  BiquadFilter::Coefficients feedbackFilter_{1, 0, 0, 0, 0};
  SteppedIir<2, 8> feedbackSteps_;  // the same filter eight samples at a time
  FilterState state_[2];
  BiquadFilter designFilter_;  // only designs feedbackFilter_
};

}  // namespace dsp
