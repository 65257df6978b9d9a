#include "tuner/acf.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace pseudoutils {
namespace {

class CACF final : public IACF {
 public:
  void release() override { delete this; }

  void reset() override {
    filled_ = 0;
    current_ = 0;
    std::fill(history_.begin(), history_.end(), 0.0f);
    for (auto& sums : sums_)
      std::fill(sums.begin(), sums.end(), 0.0f);
  }

  void setLength(int n) override {
    if (n < 2) return;
    length_ = n;
    history_.assign(2 * static_cast<size_t>(n), 0.0f);
    for (auto& sums : sums_)
      sums.assign(n, 0.0f);
    window_.resize(n);
    const int half = n / 2;
    for (int i = 0; i < n; ++i)
      window_[i] = 0.5f + 0.5f * std::cos((i - half) * std::numbers::pi_v<float> / float(half + 1));
    // The window's circular correlation: lags reaching back before the frame meet the
    // previous frame's window.
    lagWeights_.resize(half);
    std::vector<double> correlation(half, 0.0);
    for (int lag = 0; lag < half; ++lag) {
      for (int i = 0; i < n; ++i)
        correlation[lag] += double(window_[i]) * window_[i >= lag ? i - lag : i + n - lag];
      lagWeights_[lag] = static_cast<float>(correlation[0] / correlation[lag]);
    }
    minLag_ = std::min(minLag_, half);
    reset();
  }

  void setMinLag(int lag) override { minLag_ = std::clamp(lag, 0, length_ / 2); }
  void setStep(int step) override { step_ = std::max(step, 1); }

  int feed(const float* samples, int count, bool* ready) override {
    int frames = 0;
    while (count > 0) {
      const int k = std::min(count, length_ - filled_);
      accumulate(samples, k, filled_);
      samples += k;
      count -= k;
      filled_ += k;
      if (filled_ == length_) {
        completeFrame();
        ++frames;
      }
    }
    if (ready) *ready = frames > 0;
    return frames;
  }

  const float* result() const override { return sums_[1 - current_].data(); }
  const float* lagWeights() const override { return lagWeights_.data(); }

  // The first half of the history holds the completed frame until the next one completes.
  float periodicity(int lag) const override {
    if (lag <= 0 || lag >= length_) return 0.0f;
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (int i = lag; i < length_; ++i) {
      const double x = unwindowed(i);
      const double y = unwindowed(i - lag);
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    return xx > 0.0 && yy > 0.0 ? static_cast<float>(xy / std::sqrt(xx * yy)) : 0.0f;
  }

 private:
  void completeFrame() {
    filled_ = 0;
    current_ = 1 - current_;
    std::copy(history_.begin() + length_, history_.end(), history_.begin());
    std::fill(sums_[current_].begin(), sums_[current_].end(), 0.0f);
  }

  void accumulate(const float* samples, int count, int offset) {
    float* const h = history_.data() + length_ + offset;
    const float* const w = window_.data() + offset;
    for (int i = 0; i < count; ++i)
      h[i] = samples[i] * w[i];
    float* const sums = sums_[current_].data();
    const int lags = length_ / 2;
    for (int i = 0; i < count; i += step_) {
      const float x = h[i];
      const float* const back = h + i;
      for (int lag = minLag_; lag < lags; ++lag)
        sums[lag] += x * back[-lag];
    }
  }

  double unwindowed(int i) const {
    return window_[i] > 0.0f ? double(history_[i]) / window_[i] : 0.0;
  }

  int length_ = 0;
  int filled_ = 0;
  int minLag_ = 0;
  int step_ = 1;
  int current_ = 0;  // which of sums_ is being filled
  std::vector<float> window_;
  std::vector<float> lagWeights_;
  std::vector<float> history_;  // previous frame's windowed samples, then the current frame's
  std::vector<float> sums_[2];
};

}  // namespace

Owned<IACF> createACF(int n) {
  if (n < 2) return nullptr;
  Owned<IACF> acf(new CACF);
  acf->setLength(n);
  return acf;
}

}  // namespace pseudoutils
