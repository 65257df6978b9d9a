#include "dsp/multiband_limiter.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <numeric>

#include "dsp/denormal.h"
#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr float kDamping = std::numbers::sqrt2_v<float>;  // Butterworth: 1/Q
constexpr float kLookaheadSeconds = 0.0015f;
constexpr float kOutputReleaseSeconds = 0.05f;
constexpr float kLowestHz = 20.0f;  // the low band's lowest frequency, for its hold

float fromDb(float dB) {
  return std::pow(10.0f, dB / 20.0f);
}

// The controller value 0..127 behind a normalised parameter.
float steps(float p) {
  return 128.0f * p;
}

struct Outputs {
  float band, low;
};

// One step of a trapezoidal state-variable section (a1 = 1 / (1 + g (g + k)), a2 = g a1,
// a3 = g a2, g = tan(pi f / fs)). High-pass is v0 - k band - low, all-pass v0 - 2 k band.
inline Outputs tick(float a1, float a2, float a3, float& s1, float& s2, float v0) {
  const float v3 = v0 - s2;
  const float v1 = a1 * s1 + a2 * v3;
  const float v2 = s2 + a2 * s1 + a3 * v3;
  s1 = 2.0f * v1 - s1;
  s2 = 2.0f * v2 - s2;
  return {v1, v2};
}

}  // namespace

MultibandLimiter::MultibandLimiter(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kMultibandLimiter, flags) {
  output_.delay = std::make_unique<float[]>(kMaxWindow * kMaxChannels);
  output_.held = std::make_unique<float[]>(kMaxWindow);
  output_.minValue = std::make_unique<float[]>(kMaxWindow);
  output_.minFrame = std::make_unique<uint32_t[]>(kMaxWindow);
  setFormat(outputChannels(), static_cast<int>(sampleRate()));
}

void MultibandLimiter::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(std::clamp(channels, 1, kMaxChannels), sampleRate);
  window_ = std::clamp(static_cast<int>(std::lround(kLookaheadSeconds * this->sampleRate())) + 1, 1,
                       kMaxWindow);
  markAllChanged();
  parametersChanged();
  clearState();
}

void MultibandLimiter::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  clearState();
}

// Silence in every state, no gain reduction, and the gains' ramps at their targets.
void MultibandLimiter::clearState() {
  for (Section& s : sections_)
    s = Section{};
  for (Band& b : bands_) {
    b.reduction = b.deepest = b.peak = b.lastPeak = 0.0f;
    b.held = 0;
    b.startDrive = b.drive;
  }
  startDrive_ = drive_;
  OutputStage& o = output_;
  std::fill_n(o.delay.get(), kMaxWindow * kMaxChannels, 0.0f);
  std::fill_n(o.held.get(), kMaxWindow, 1.0f);
  o.sum = window_;
  o.first = o.count = o.position = 0;
  o.frame = 0;
  o.reduction = o.deepest = 0.0f;
  for (auto& m : meters_)
    m.store(1.0f, std::memory_order_relaxed);
}

float MultibandLimiter::getMeter(int index) const {
  return meters_[std::clamp(index, 0, kBands)].load(std::memory_order_relaxed);
}

float MultibandLimiter::decay(float seconds) const {
  return std::exp(-1.0f / (seconds * sampleRate()));
}

void MultibandLimiter::designCorner(Corner& c, float hz) const {
  const float g = std::tan(std::numbers::pi_v<float> * hz / sampleRate());
  c.a1 = 1.0f / (1.0f + g * (g + kDamping));
  c.a2 = g * c.a1;
  c.a3 = g * c.a2;
}

void MultibandLimiter::parametersChanged() {
  // Drive: -11.25 to +20.5 dB, 0 dB at its default 45. Overload: a ceiling of -6.35 to 0 dBFS.
  // Release time: each release times 1/4 to about 4, 1 at the middle.
  if (changed(kDrive)) drive_ = fromDb(0.25f * (steps(value(kDrive)) - 45.0f));
  if (changed(kOverload)) ceiling_ = fromDb(0.05f * (steps(value(kOverload)) - 127.0f));
  if (changed(kReleaseTime)) {
    releaseScale_ = std::pow(4.0f, (steps(value(kReleaseTime)) - 64.0f) / 64.0f);
    output_.release = decay(kOutputReleaseSeconds * releaseScale_);
  }
  for (int b = 0; b < kBands; ++b) {
    Band& band = bands_[b];
    const int first = kFirstBand + 4 * b;
    // Attack and release double every 16 steps: 0.1 ms to 25 ms, 5 ms to 1.2 s. The band's
    // drive spans -12 to +11.8 dB, its threshold -24 to -0.2 dBFS (-12 at the middle).
    if (changed(first + kAttack)) {
      band.attack = decay(0.1e-3f * std::exp2(steps(value(first + kAttack)) / 16.0f));
    }
    if (changed(first + kRelease) || changed(kReleaseTime)) {
      const float seconds = 5e-3f * std::exp2(steps(value(first + kRelease)) / 16.0f);
      band.release = decay(seconds * releaseScale_);
    }
    if (changed(first + kBandDrive)) {
      band.drive = fromDb(0.1875f * (steps(value(first + kBandDrive)) - 64.0f));
    }
    if (changed(first + kThreshold)) {
      band.threshold = fromDb(0.1875f * (steps(value(first + kThreshold)) - 128.0f));
    }
  }
  if (changed(kSplit1) || changed(kSplit2)) {
    // Split1 40 Hz to 1 kHz, Split2 1 kHz to 16 kHz but clear of Nyquist; the lower split never
    // passes the upper.
    const float split2 = std::min(1000.0f * std::pow(16.0f, value(kSplit2)), 0.45f * sampleRate());
    const float split1 = std::min(40.0f * std::pow(25.0f, value(kSplit1)), split2);
    designCorner(corner1_, split1);
    designCorner(corner2_, split2);
    const float lowest[kBands] = {kLowestHz, split1, split2};
    for (int b = 0; b < kBands; ++b)
      bands_[b].hold = std::max(static_cast<int>(0.5f * sampleRate() / lowest[b]), 1);
  }
}

int MultibandLimiter::processBlock(float* out, const float* in, int frames) {
  if (outputChannels() == 1) {
    splitAndLimit<1>(out, in, frames);
    limitOutput<1>(out, frames);
  } else {
    splitAndLimit<2>(out, in, frames);
    limitOutput<2>(out, frames);
  }
  for (int b = 0; b < kBands; ++b) {
    meters_[b].store(1.0f - bands_[b].deepest, std::memory_order_relaxed);
    bands_[b].deepest = 0.0f;
  }
  meters_[kBands].store(1.0f - output_.deepest, std::memory_order_relaxed);
  output_.deepest = 0.0f;
  return frames;
}

// The crossovers and the bands' limiters, summed into out. Drives move linearly over the
// chunk to their new values, so a turned knob does not step.
template <int kChannels>
void MultibandLimiter::splitAndLimit(float* out, const float* in, int frames) {
  // Local copies: writes through out could otherwise alias every state in memory.
  Section s[kSections];
  std::copy(std::begin(sections_), std::end(sections_), s);
  Band bands[kBands];
  std::copy(std::begin(bands_), std::end(bands_), bands);
  const Corner c1 = corner1_, c2 = corner2_;
  const float inverseFrames = 1.0f / static_cast<float>(frames);
  const float driveStep = (drive_ - startDrive_) * inverseFrames;
  float bandStep[kBands];
  for (int b = 0; b < kBands; ++b)
    bandStep[b] = (bands[b].drive - bands[b].startDrive) * inverseFrames;

  for (int i = 0; i < frames; ++i) {
    const float drive = startDrive_ + driveStep * static_cast<float>(i + 1);
    float split[kBands][kChannels];
    for (int c = 0; c < kChannels; ++c) {
      const float x = in[i * kChannels + c] * drive;
      const Outputs a = tick(c1.a1, c1.a2, c1.a3, s[kSplit1A].s1[c], s[kSplit1A].s2[c], x);
      const float low = tick(c1.a1, c1.a2, c1.a3, s[kLow].s1[c], s[kLow].s2[c], a.low).low;
      const float upper = x - kDamping * a.band - a.low;
      const Outputs r = tick(c1.a1, c1.a2, c1.a3, s[kRest].s1[c], s[kRest].s2[c], upper);
      const float rest = upper - kDamping * r.band - r.low;
      const Outputs d = tick(c2.a1, c2.a2, c2.a3, s[kSplit2A].s1[c], s[kSplit2A].s2[c], rest);
      const float high = rest - kDamping * d.band - d.low;
      const Outputs h = tick(c2.a1, c2.a2, c2.a3, s[kHigh].s1[c], s[kHigh].s2[c], high);
      const Outputs l = tick(c2.a1, c2.a2, c2.a3, s[kLowAllPass].s1[c], s[kLowAllPass].s2[c], low);
      split[0][c] = low - 2.0f * kDamping * l.band;
      split[1][c] = tick(c2.a1, c2.a2, c2.a3, s[kMid].s1[c], s[kMid].s2[c], d.low).low;
      split[2][c] = high - kDamping * h.band - h.low;
    }
    float sum[kChannels] = {};
    for (int b = 0; b < kBands; ++b) {
      Band& band = bands[b];
      const float bandDrive = band.startDrive + bandStep[b] * static_cast<float>(i + 1);
      float peak = 0.0f;
      for (int c = 0; c < kChannels; ++c)
        peak = std::max(peak, std::fabs(split[b][c]));
      peak *= bandDrive;
      const float need = peak > band.threshold ? 1.0f - band.threshold / peak : 0.0f;
      band.peak = std::max(band.peak, need);
      const float target = std::max(band.peak, band.lastPeak);
      if (++band.held >= band.hold) {
        band.lastPeak = band.peak;
        band.peak = 0.0f;
        band.held = 0;
      }
      const float coefficient = target > band.reduction ? band.attack : band.release;
      band.reduction = target + (band.reduction - target) * coefficient;
      band.deepest = std::max(band.deepest, band.reduction);
      const float k = bandDrive * (1.0f - band.reduction);
      for (int c = 0; c < kChannels; ++c)
        sum[c] += split[b][c] * k;
    }
    for (int c = 0; c < kChannels; ++c)
      out[i * kChannels + c] = sum[c];
  }

  for (int k = 0; k < kSections; ++k) {
    for (int c = 0; c < kMaxChannels; ++c) {
      sections_[k].s1[c] = flushTiny(s[k].s1[c]);
      sections_[k].s2[c] = flushTiny(s[k].s2[c]);
    }
  }
  for (int b = 0; b < kBands; ++b) {
    bands[b].startDrive = bands[b].drive;
    bands[b].reduction = flushTiny(bands[b].reduction);
    bands_[b] = bands[b];
  }
  startDrive_ = drive_;
}

template <int kChannels>
void MultibandLimiter::limitOutput(float* buffer, int frames) {
  OutputStage& o = output_;
  float* const delay = o.delay.get();
  float* const held = o.held.get();
  float* const minValue = o.minValue.get();
  uint32_t* const minFrame = o.minFrame.get();
  const int window = window_;
  const float ceiling = ceiling_;
  const double inverseWindow = 1.0 / window;
  static_assert((kMaxWindow & (kMaxWindow - 1)) == 0, "the candidates' ring wraps by masking");
  constexpr int kMask = kMaxWindow - 1;
  for (int i = 0; i < frames; ++i) {
    float* x = buffer + i * kChannels;
    float peak = 0.0f;
    for (int c = 0; c < kChannels; ++c)
      peak = std::max(peak, std::fabs(x[c]));
    const float required = peak > ceiling ? ceiling / peak : 1.0f;

    // The window's minimum: candidates that a newer, smaller gain hides can never be it.
    while (o.count > 0 && minValue[(o.first + o.count - 1) & kMask] >= required)
      --o.count;
    const int newest = (o.first + o.count) & kMask;
    minValue[newest] = required;
    minFrame[newest] = o.frame;
    ++o.count;
    if (o.frame - minFrame[o.first] >= static_cast<uint32_t>(window)) {
      o.first = (o.first + 1) & kMask;
      --o.count;
    }
    const float minimum = minValue[o.first];

    o.sum += minimum - held[o.position];
    held[o.position] = minimum;
    const float needed = static_cast<float>(std::max(1.0 - o.sum * inverseWindow, 0.0));
    o.reduction = needed > o.reduction ? needed : needed + (o.reduction - needed) * o.release;
    o.deepest = std::max(o.deepest, o.reduction);
    const float gain = 1.0f - o.reduction;

    const int next = o.position + 1 == window ? 0 : o.position + 1;
    for (int c = 0; c < kChannels; ++c) {
      delay[o.position * kMaxChannels + c] = x[c];
      // Rounding in the average may leave the product a hair above the ceiling.
      const float y = delay[next * kMaxChannels + c] * gain;
      x[c] = std::clamp(y, -ceiling, ceiling);
    }
    o.position = next;
    ++o.frame;
    // Once per window the running sum starts afresh, so its rounding cannot accumulate.
    if (next == 0) o.sum = std::accumulate(held, held + window, 0.0);
  }
  o.reduction = flushTiny(o.reduction);
}

}  // namespace dsp
