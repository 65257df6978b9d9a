#include "dsp/tank_reverb.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "dsp/denormal.h"

namespace dsp {
namespace {

constexpr int kExcursionPeriod = 1600;
constexpr int kExcursionSpan = 32;
constexpr float kC1 = 0.7f;  // first all-pass of each half
constexpr float kC2 = 0.5f;  // second all-pass of each half

long long scaledLength(double sampleRate, int length) {
  return static_cast<long long>(std::floor(sampleRate * length / 44100.0));
}

int tankPosition(double sampleRate, int length, int size) {
  const long long n = scaledLength(sampleRate, length);
  return static_cast<int>(((n % size) + size) % size);
}

inline int next(int i, int size) {
  return i + 1 == size ? 0 : i + 1;
}

inline int previous(int i, int size) {
  return i == 0 ? size - 1 : i - 1;
}

// The first all-pass of a half: the difference is stored at r, where the outer delay picks it
// up later, and the sum is written at w. A shortening step consumes one extra sample; a
// lengthening step re-reads the sample before r, whose difference is already stored.
inline void firstAllpass(float* tank, int size, int w, int& r, float t, int step) {
  if (step < 0) {
    r = previous(r, size);
  } else {
    tank[r] = flushTiny(tank[r] - t * kC1);
    if (step > 0) {
      r = next(r, size);
      tank[r] = flushTiny(tank[r] - t * kC1);
    }
  }
  tank[w] = flushTiny(tank[r] * kC1 + t);
}

}  // namespace

TankReverb::TankReverb(EffectObserver* owner, const EffectDescriptor* descriptor, uint32_t flags,
                       const TankDesign& design)
    : TAutomatedEffect(owner, descriptor, flags),
      design_(design),
      scratch_(std::make_unique<float[]>(kMaxChunk)),
      mono_(std::make_unique<float[]>(kMaxChunk)) {
  parametersChanged();
}

void TankReverb::setFormat(int channels, int sampleRate) {
  // The tank and the diffuser rings are replaced; keep the audio thread out meanwhile.
  std::lock_guard<std::mutex> guard(effectLock());
  TAutomatedEffect::setFormat(channels, sampleRate);
  inputFilter_.setFormat(1, sampleRate);
  inputFilter_.setHighpass(376.98f);  // 60 Hz
  // A section's output waits in the tank until its outer read index reaches it, so a write
  // position must stay below the tank size. The base size holds the plate's long table up to
  // about 125 kHz; wrapping the positions for longer tables or higher rates would let a section
  // overwrite its own output and the loop would gain energy, so the tank grows in whole
  // multiples instead.
  long long longest = 0;
  for (const TankTable* table : {&design_.longTable, &design_.shortTable}) {
    for (int w : table->w)
      longest = std::max(longest, scaledLength(sampleRate, w));
  }
  tankSize_ = kTankSize * static_cast<int>(1 + std::max(longest, 0LL) / kTankSize);
  for (auto& tank : tank_)
    tank.assign(tankSize_, 0.0f);
  for (int k = 0; k < 4; ++k) {
    diffusers_[k].setLength(static_cast<int>(std::floor(sampleRate * design_.diffuserSeconds[k])));
  }
  markAllChanged();
  parametersChanged();
  // A running reverb restarts with the lengths of the new rate.
  if (active_) resetUnlocked();
}

void TankReverb::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  resetUnlocked();
}

void TankReverb::resetUnlocked() {
  if (tank_[0].empty()) return;  // no format yet: nothing to run on, stay a pass-through
  inputFilter_.reset();
  for (auto& d : diffusers_)
    d.reset();
  for (auto& tank : tank_)
    std::fill(tank.begin(), tank.end(), 0.0f);
  const TankTable& table = shortTables_ ? design_.shortTable : design_.longTable;
  const double rate = sampleRate();
  for (int k = 0; k < 4; ++k) {
    ix_.w[k] = tankPosition(rate, table.w[k], tankSize_);
    ix_.r[k] = tankPosition(rate, table.r[k], tankSize_);
    ix_.o[k] = 0;
  }
  for (int k = 0; k < 14; ++k)
    ix_.p[k] = tankPosition(rate, table.p[k], tankSize_);
  excursionDirection_ = 0;
  excursionSteps_ = kExcursionSpan / 2;
  excursionCount_ = 0;
  dampA_ = dampB_ = 0.0f;
  active_ = true;
}

void TankReverb::invalidate() {
  std::lock_guard<std::mutex> guard(effectLock());
  invalidateUnlocked();
}

void TankReverb::invalidateUnlocked() {
  if (!active_) return;
  for (auto& d : diffusers_)
    d.unprime();
  active_ = false;
}

void TankReverb::parametersChanged() {
  if (changed(0)) {
    decayTime_ = static_cast<float>(design_.minDecaySeconds * std::pow(3.0, 2.6 * value(0)));
    // 60 dB of loss in decayTime for a half loop of loopSeconds.
    decay_ = static_cast<float>(std::pow(0.001, design_.loopSeconds / decayTime_));
  }
  if (changed(1)) {
    const double fc = 2000.0 * std::pow(2.0, 3.0 * value(1));
    const double w = fc * 3.1415 / sampleRate();
    const double c = (std::cos(w) - 1.4142) / 0.4142;
    // c stays below -1 for every corner under twice the rate; the clamp only guards rounding.
    dampFeedback_ = static_cast<float>(-c - std::sqrt(std::max(c * c - 1.0, 0.0)));
    damp_ = 1.0f - dampFeedback_;
  }
  if (changed(2)) {
    density_ = value(2);
    const float g = density_ * 0.6f + 0.3f;
    diffusers_[0].setCoefficient(g * 0.75f);
    diffusers_[1].setCoefficient(g * 0.75f);
    diffusers_[2].setCoefficient(g * 0.625f);
    diffusers_[3].setCoefficient(g * 0.625f);
  }
  if (changed(3)) level_ = value(3);
  if (changed(4)) {
    const bool wantShort = std::lround(value(4) * 128.0f) == 0;
    if (wantShort != shortTables_) {
      shortTables_ = wantShort;
      // The lock is already held here (process or setFormat), so the unlocked bodies.
      if (active_) {
        invalidateUnlocked();
        resetUnlocked();
      }
    }
  }
}

void TankReverb::passThrough(float* out, const float* in, int frames) const {
  const int ic = inputChannels();
  const int oc = outputChannels();
  if (ic == oc) {
    if (out != in) std::copy(in, in + frames * oc, out);
    return;
  }
  // Unequal counts: a missing input channel repeats the last one.
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < oc; ++c)
      out[i * oc + c] = in[i * ic + std::min(c, ic - 1)];
  }
}

int TankReverb::stepExcursion() {
  if (excursionCount_++ < kExcursionPeriod) return 0;
  excursionCount_ = 0;
  if (++excursionSteps_ > kExcursionSpan) {
    excursionSteps_ = 0;
    excursionDirection_ ^= 1;
  }
  return excursionDirection_ == 0 ? 1 : -1;
}

int TankReverb::processBlock(float* out, const float* in, int frames) {
  if (!active_) {
    passThrough(out, in, frames);
    return frames;
  }
  const int ic = inputChannels();
  const int oc = outputChannels();
  const bool stereoIn = ic >= 2;
  const float wetGain = level_ * (stereoIn ? 0.1f : 0.2f);
  const float dryGain = 1.0f - level_;

  float* mono = mono_.get();
  float* d = scratch_.get();
  for (int i = 0; i < frames; ++i)
    mono[i] = stereoIn ? in[i * ic] + in[i * ic + 1] : in[i * ic];
  inputFilter_.processBlock(d, mono, frames);
  diffusers_[0].process(mono, d, frames);
  diffusers_[1].process(d, mono, frames);
  diffusers_[2].process(mono, d, frames);
  diffusers_[3].process(d, mono, frames);

  const int n = tankSize_;
  float* t1 = tank_[0].data();
  float* t2 = tank_[1].data();
  float* t3 = tank_[2].data();
  float* t4 = tank_[3].data();
  TankIndices x = ix_;
  float a = dampA_;
  float b = dampB_;
  for (int i = 0; i < frames; ++i) {
    const int step = stepExcursion();

    float t = decay_ * t4[x.o[3]] + d[i];
    firstAllpass(t1, n, x.w[0], x.r[0], t, step);
    a = flushTiny(damp_ * t1[x.o[0]] + dampFeedback_ * a);
    t2[x.r[1]] = flushTiny(a * kC2 + t2[x.r[1]]);
    t2[x.w[1]] = flushTiny(a - t2[x.r[1]] * kC2);

    t = decay_ * t2[x.o[1]] + d[i];
    firstAllpass(t3, n, x.w[2], x.r[2], t, step);
    b = flushTiny(damp_ * t3[x.o[2]] + dampFeedback_ * b);
    t4[x.r[3]] = flushTiny(b * kC2 + t4[x.r[3]]);
    t4[x.w[3]] = flushTiny(b - t4[x.r[3]] * kC2);

    const auto& p = x.p;
    const float left = t1[p[0]] + t1[p[1]] - t2[p[3]] + t2[p[5]] - t3[p[7]] - t4[p[10]] - t4[p[12]];
    const float right =
        t3[p[8]] + t3[p[9]] - t4[p[11]] + t4[p[13]] - t1[p[2]] - t2[p[4]] - t2[p[6]];

    // Read the whole dry frame before writing: out may be the same buffer as in.
    const float* dry = in + i * ic;
    const float dryL = dry[0];
    const float dryR = stereoIn ? dry[1] : dryL;
    float* o = out + i * oc;
    for (int c = 2; c < oc; ++c)
      o[c] = dryGain * dry[std::min(c, ic - 1)];
    o[0] = dryGain * dryL + wetGain * left;
    if (oc >= 2) o[1] = dryGain * dryR + wetGain * right;

    for (int k = 0; k < 4; ++k) {
      x.w[k] = next(x.w[k], n);
      x.r[k] = next(x.r[k], n);
      x.o[k] = next(x.o[k], n);
    }
    for (int& tap : x.p)
      tap = next(tap, n);
  }
  ix_ = x;
  dampA_ = a;
  dampB_ = b;
  return frames;
}

}  // namespace dsp
