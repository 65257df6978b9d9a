#include "tuner/acf.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace pseudoutils {
namespace {

// Sum of cos(w*u + phase) for u = u0 .. u1 (0 < w < 2*pi).
double cosineSum(double w, double phase, int u0, int u1) {
  if (u1 < u0) return 0.0;
  const double count = u1 - u0 + 1;
  return std::sin(w * count / 2) / std::sin(w / 2) * std::cos(phase + w * (u0 + u1) / 2);
}

// Sum of h(u) * h(u + d) for u = u0 .. u1 with h(u) = 0.5 + 0.5 cos(t*u).
double raisedCosineProduct(double t, int d, int u0, int u1) {
  if (u1 < u0) return 0.0;
  const double count = u1 - u0 + 1;
  const double shift = t * d;
  return 0.25 * count + 0.25 * cosineSum(t, 0.0, u0, u1) + 0.25 * cosineSum(t, shift, u0, u1) +
         0.125 * (count * std::cos(shift) + cosineSum(2 * t, shift, u0, u1));
}

// Circular correlation at `lag` of the frame window w[i] = h(i - n/2), t = pi/(n/2 + 1):
// frames i >= lag meet w[i - lag], the first `lag` meet the end of the previous frame.
double windowCorrelation(int n, int lag) {
  const int half = n / 2;
  const double t = std::numbers::pi / (half + 1);
  return raisedCosineProduct(t, -lag, lag - half, n - 1 - half) +
         raisedCosineProduct(t, n - lag, -half, lag - 1 - half);
}


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
    // previous frame's window. Summed in closed form (O(1) per lag).
    lagWeights_.resize(half);
    const double zero = windowCorrelation(n, 0);
    for (int lag = 0; lag < half; ++lag)
      lagWeights_[lag] = static_cast<float>(zero / windowCorrelation(n, lag));
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
