#include "tuner/acf_pitch_detector.h"

#include <algorithm>
#include <cmath>

#include "tuner/acf.h"

namespace pseudoutils {
namespace {

constexpr float kLongestLag = 65536.0f;

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
    // about 1% short of the period; voicing is still judged on the raw sums.
    const float* r = acf_->result();
    const float* weight = acf_->lagWeights();
    const float floor = threshold_ * r[0];
    for (int k = std::max(minLag_, 1); k + 1 < maxLag_; ++k) {
      const float here = r[k] * weight[k];
      if (here > r[k - 1] * weight[k - 1] && here > r[k + 1] * weight[k + 1] && r[k] > floor) {
        if (voiced) *voiced = true;
        if (frequency) *frequency = sampleRate_ / static_cast<float>(k);
        return;
      }
    }
    if (voiced) *voiced = false;
  }

 private:
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
