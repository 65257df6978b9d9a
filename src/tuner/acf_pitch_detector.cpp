#include "tuner/acf_pitch_detector.h"

#include <algorithm>
#include <cmath>

#include "tuner/acf.h"

namespace pseudoutils {
namespace {

constexpr float kLongestLag = 65536.0f;
// Plucked strings, inharmonic ones included, repeat at their period by 0.95 or more; white
// noise by at most about 0.1 and noise low-passed at 350 Hz by at most about 0.5.
constexpr float kLongPeriodicity = 0.8f;

class CACFPitchDetector final : public IACFPitchDetector {
 public:
  explicit CACFPitchDetector(float rate) : sampleRate_(rate) { setRange(minHz_, maxHz_); }

  void release() override { delete this; }

  void setSampleRate(float rate) override {
    if (!isUsableRange(rate, minHz_, maxHz_)) return;
    sampleRate_ = rate;
    setRange(minHz_, maxHz_);
  }

  void setRange(float minHz, float maxHz) override {
    if (!isUsableRange(sampleRate_, minHz, maxHz)) return;
    minHz_ = minHz;
    maxHz_ = maxHz;
    minLag_ = static_cast<int>(std::floor(sampleRate_ / maxHz));
    maxLag_ = static_cast<int>(std::ceil(sampleRate_ / minHz));
    if (2 * maxLag_ > acfCapacity_) {
      acf_ = createACF(2 * maxLag_);
      acfCapacity_ = 2 * maxLag_;
    }
    const int step = minLag_ / 4;
    acf_->setStep(step < 2 ? 1 : step);
  }

  void setThreshold(float threshold) override {
    if (std::isfinite(threshold)) threshold_ = threshold;
  }

  void reset() override { acf_->reset(); }

  void detect(const float* samples, int count, bool* found, bool* voiced,
              float* frequency) override {
    bool ready = false;
    if (count > 0) acf_->feed(samples, count, &ready);
    if (found) *found = ready;
    if (!ready) return;
    // The peak is located on sums freed of the window's taper, which would otherwise pull it
    // about 1% short of the period; voicing is judged on the raw sums. Where the taper leaves
    // less than the threshold's share of even a strictly periodic frame's sum (beyond a third of
    // the frame at 0.5, below about 60 Hz) the raw sums can never pass; there the strongest peak
    // is voiced when the frame itself repeats at that lag.
    const float* r = acf_->result();
    const float* weight = acf_->lagWeights();
    const float floor = threshold_ * r[0];
    int longPeak = 0;
    float longPeakSum = 0.0f;
    for (int k = std::max(minLag_, 1); k + 1 < maxLag_; ++k) {
      const float here = r[k] * weight[k];
      if (!(here > r[k - 1] * weight[k - 1] && here > r[k + 1] * weight[k + 1])) continue;
      if (r[k] > floor) {
        report(k, voiced, frequency);
        return;
      }
      if (threshold_ * weight[k] >= 1.0f && (longPeak == 0 || here > longPeakSum)) {
        longPeak = k;
        longPeakSum = here;
      }
    }
    if (longPeak > 0 && acf_->periodicity(longPeak) > std::max(threshold_, kLongPeriodicity)) {
      report(longPeak, voiced, frequency);
      return;
    }
    if (voiced) *voiced = false;
  }

 private:
  void report(int lag, bool* voiced, float* frequency) const {
    if (voiced) *voiced = true;
    if (frequency) *frequency = sampleRate_ / static_cast<float>(lag);
  }

  float sampleRate_;
  float threshold_ = 0.5f;
  float minHz_ = 40.0f;
  float maxHz_ = 900.0f;
  int minLag_ = 0;
  int maxLag_ = 0;
  Owned<IACF> acf_;
  int acfCapacity_ = 0;
};

}  // namespace

bool isUsableRate(float rate) {
  return rate > 0.0f && std::isfinite(rate);
}

bool isUsableRange(float rate, float minHz, float maxHz) {
  return isUsableRate(rate) && minHz > 0.0f && maxHz > minHz && std::isfinite(maxHz) &&
         std::ceil(rate / minHz) <= kLongestLag;
}

Owned<IACFPitchDetector> createACFPitchDetector(float sampleRate) {
  if (!isUsableRange(sampleRate, 40.0f, 900.0f)) return nullptr;
  return Owned<IACFPitchDetector>(new CACFPitchDetector(sampleRate));
}

}  // namespace pseudoutils
