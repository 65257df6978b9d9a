#include "tuner/zc_pitch_detector.h"

#include <algorithm>
#include <cmath>

namespace pseudoutils {
namespace {

constexpr int kPeriods = 20;
// Keeps the count and the sum of 20 periods far from overflow through hours of silence.
constexpr int kLongestPeriod = 1 << 24;

class CZCPitchDetector final : public IZCPitchDetector {
 public:
  CZCPitchDetector() { reset(); }

  void release() override { delete this; }

  void setSampleRate(float rate) override {
    if (rate > 0.0f && std::isfinite(rate)) sampleRate_ = rate;
  }

  // Stored only: measuring the period does not depend on the reference.
  void setReference(float hz) override {
    if (hz > 0.0f && std::isfinite(hz)) reference_ = hz;
  }

  void reset() override {
    previous_ = 0.0f;
    sinceCrossing_ = -1;
    slot_ = 0;
    std::fill(std::begin(periods_), std::end(periods_), 0);
  }

  void detect(const float* samples, int count, bool* found, float* frequency) override {
    bool crossed = false;
    float mean = 0.0f;
    for (int i = 0; i < count; ++i) {
      const float x = samples[i];
      sinceCrossing_ = std::min(sinceCrossing_ + 1, kLongestPeriod);
      if (x >= 0.0f && previous_ < 0.0f) {
        slot_ = (slot_ + 1) % kPeriods;
        periods_[slot_] = sinceCrossing_;
        int sum = 0;
        for (int p : periods_)
          sum += p;
        mean = static_cast<float>(sum) / kPeriods;
        crossed = true;
        sinceCrossing_ = 0;
      }
      previous_ = x;
    }
    if (found) *found = crossed;
    if (crossed && frequency) *frequency = sampleRate_ / mean;
  }

  int periodSpread() const override {
    const auto [shortest, longest] = std::minmax_element(std::begin(periods_), std::end(periods_));
    return *longest - *shortest;
  }

 private:
  float sampleRate_ = 44100.0f;
  float reference_ = 440.0f;
  float previous_ = 0.0f;
  int sinceCrossing_ = -1;
  int slot_ = 0;
  int periods_[kPeriods] = {};
};

}  // namespace

Owned<IZCPitchDetector> createZCPitchDetector() {
  return Owned<IZCPitchDetector>(new CZCPitchDetector);
}

}  // namespace pseudoutils
