#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "dsp/automated_effect.h"

namespace dsp {

// Master bus limiter in three bands. The input ("Drive") is split at "Split1" and "Split2" by
// fourth-order Linkwitz-Riley crossovers; the low band also passes the upper crossover's
// all-pass, so the three bands add up to an all-pass of the input: below threshold the output
// has the input's magnitude at every frequency. Each band has its own drive and a peak limiter
// with attack, release and threshold. The bands' sum then passes a look-ahead brick-wall stage
// whose ceiling ("Overload") no output sample exceeds. "Release time" scales every release.
// The channels of a stereo pair share each gain, so the image stays put.
class MultibandLimiter : public TAutomatedEffect {
 public:
  explicit MultibandLimiter(EffectObserver* owner, uint32_t flags = 0);

  // At most two channels: the filter states and the delay line hold no more.
  void setFormat(int channels, int sampleRate) override;
  void reset() override;
  // Lowest gain of the last chunk, linear (1.0: no reduction): 0 to 2 the bands from low to
  // high, 3 the output stage.
  float getMeter(int index) const override;

  // Frames by which the output lags the input: the output stage's look-ahead.
  int latency() const { return window_ - 1; }

 protected:
  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  static constexpr int kBands = 3;
  static constexpr int kMaxChannels = 2;
  // Room for the look-ahead at sample rates up to about 680 kHz.
  static constexpr int kMaxWindow = 1024;

  enum Parameter {
    kDrive = 0,
    kOverload,
    kReleaseTime,
    kFirstBand,  // Attack, Release, Drive, Threshold of band 1, then of bands 2 and 3
    kSplit1 = kFirstBand + 4 * kBands,
    kSplit2,
  };
  enum BandParameter { kAttack = 0, kRelease, kBandDrive, kThreshold };

  // A second-order Butterworth section as a trapezoidal state-variable filter: low-, band- and
  // high-pass come out together, and it stays accurate in float at low corners and high
  // sample rates, where a direct-form biquad's coefficients lose the corner.
  struct Section {
    float s1[kMaxChannels] = {};
    float s2[kMaxChannels] = {};
  };
  struct Corner {
    float a1 = 0, a2 = 0, a3 = 0;
  };

  // A peak limiter. The reduction each frame needs (1 - threshold / level) is held at its
  // largest over the last one to two hold periods, half a period of the band's lowest
  // frequency, so a low note's gain does not swell between its peaks and distort it; the
  // reduction follows the held value with the attack's time constant when it must deepen and
  // the release's when it may ease. Gains are kept as their reduction 1 - gain, which float
  // resolves finely near no reduction: a gain itself would stall a few ulps below 1.0 at long
  // releases.
  struct Band {
    float drive = 1.0f;  // linear, reached at the end of the chunk
    float startDrive = 1.0f;
    float threshold = 1.0f;
    float attack = 0.0f;  // one-pole coefficients per frame
    float release = 0.0f;
    int hold = 1;           // frames
    int held = 0;           // frames into the current hold period
    float peak = 0.0f;      // largest need of the current hold period
    float lastPeak = 0.0f;  // and of the one before
    float reduction = 0.0f;
    float deepest = 0.0f;  // of the chunk, for the meter
  };

  // The brick-wall stage. Each frame's required gain (ceiling / peak) is held at its minimum
  // over a window and averaged over the same window; with the signal delayed by one frame less
  // than the window, the gain has fully arrived when the loud frame leaves the delay. A one-pole
  // release follows, which only ever deepens the reduction.
  struct OutputStage {
    std::unique_ptr<float[]> delay;     // kMaxWindow frames of kMaxChannels
    std::unique_ptr<float[]> held;      // the window's held minima, averaged
    std::unique_ptr<float[]> minValue;  // candidates for the window minimum, rising
    std::unique_ptr<uint32_t[]> minFrame;
    int first = 0, count = 0;  // the candidates' ring
    int position = 0;          // in delay and held
    uint32_t frame = 0;
    double sum = 0.0;  // of held
    float reduction = 0.0f;
    float release = 0.0f;
    float deepest = 0.0f;
  };

  void clearState();
  float decay(float seconds) const;
  void designCorner(Corner& c, float hz) const;
  template <int kChannels>
  void splitAndLimit(float* out, const float* in, int frames);
  template <int kChannels>
  void limitOutput(float* buffer, int frames);

  // Split1: the input through kSplit1A, whose low-pass goes on through kLow (the low band) and
  // whose high-pass through kRest. Split2 does the same to the rest, giving the mid and high
  // bands. The low band then passes kLowAllPass, which turns with Split2's phase.
  enum SectionIndex { kSplit1A = 0, kLow, kRest, kSplit2A, kMid, kHigh, kLowAllPass, kSections };

  Corner corner1_, corner2_;
  Section sections_[kSections];
  Band bands_[kBands];
  OutputStage output_;
  int window_ = 1;      // look-ahead window in frames
  float drive_ = 1.0f;  // linear, reached at the end of the chunk
  float startDrive_ = 1.0f;
  float ceiling_ = 1.0f;
  float releaseScale_ = 1.0f;
  // Read by the control thread while the audio thread processes.
  std::atomic<float> meters_[kBands + 1];
};

}  // namespace dsp
