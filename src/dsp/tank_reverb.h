#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/allpass_diffuser.h"
#include "dsp/automated_effect.h"
#include "dsp/bilin_filter.h"

namespace dsp {

// Lengths in samples at 44100 Hz of one tank layout: the write index W and the inner read
// index R of each section (its all-pass spans W - R, its delay R), and the 14 output taps.
struct TankTable {
  std::array<int, 4> w;
  std::array<int, 4> r;
  std::array<int, 14> p;
};

// What sets one space apart from another on the same network.
struct TankDesign {
  TankTable longTable;
  TankTable shortTable;  // used while Ambient is 0
  std::array<double, 4> diffuserSeconds;
  // decayTime at Time 0; full Time multiplies it by 3^2.6.
  double minDecaySeconds;
  // The half loop the decay gain is worked out for: the tail loses 60 dB in decayTime when a
  // half loop of the long table lasts this long.
  double loopSeconds;
};

// Figure-of-eight tank reverb: a 60 Hz high-pass and four input diffusers feed two
// cross-coupled halves (diffusing all-pass, delay, damping low-pass, all-pass, delay), and each
// output channel sums seven taps of the tank. Delay lengths come from the design's tables at
// 44100 Hz scaled to the rate; Ambient 0 selects the shorter table. Passes its input through
// until reset(). The plate, hall and room are this network with their own designs.
class TankReverb : public TAutomatedEffect {
 public:
  // Samples per tank buffer up to about 125 kHz for the plate; longer tables and higher rates
  // use a multiple (tankSize()).
  static constexpr int kTankSize = 24576;

  // Every tank index, each in [0, tankSize()). Section k writes at w[k], runs its all-pass
  // against r[k] and is read out at o[k]; p holds the 14 output taps.
  struct TankIndices {
    std::array<int, 4> w{};
    std::array<int, 4> r{};
    std::array<int, 4> o{};
    std::array<int, 14> p{};
  };

  void setFormat(int channels, int sampleRate) override;
  void reset() override;
  void invalidate() override;

  bool active() const { return active_; }
  bool shortTables() const { return shortTables_; }
  float decayTime() const { return decayTime_; }
  float decay() const { return decay_; }
  int tankSize() const { return tankSize_; }
  const TankIndices& tankIndices() const { return ix_; }

 protected:
  // `design` must outlive the reverb (the spaces pass static tables).
  TankReverb(EffectObserver* owner, const EffectDescriptor* descriptor, uint32_t flags,
             const TankDesign& design);

  void parametersChanged() override;
  int processBlock(float* out, const float* in, int frames) override;

 private:
  void resetUnlocked();
  void invalidateUnlocked();
  void passThrough(float* out, const float* in, int frames) const;
  // Every 1601st sample the first all-passes step by one sample: +1 shortens them, -1
  // lengthens them; 0 otherwise.
  int stepExcursion();

  const TankDesign& design_;
  // The diffused input of one chunk, and the mono input it is made from (kept apart from out
  // so that out may equal in).
  std::unique_ptr<float[]> scratch_;
  std::unique_ptr<float[]> mono_;
  std::array<std::vector<float>, 4> tank_;
  int tankSize_ = kTankSize;
  std::array<AllpassDiffuser, 4> diffusers_;
  TankIndices ix_;
  float damp_ = 0.5f;
  float dampFeedback_ = 0.5f;
  float dampA_ = 0.0f;
  float dampB_ = 0.0f;
  float decayTime_ = 0.0f;
  float decay_ = 0.0f;
  float density_ = 0.0f;
  float level_ = 0.0f;
  int excursionCount_ = 0;
  int excursionSteps_ = 0;
  int excursionDirection_ = 0;
  bool shortTables_ = false;
  bool active_ = false;
  BilinFilter inputFilter_;
};

}  // namespace dsp
