#include "tuner/high_order_filter.h"

#include <cmath>
#include <numbers>

#include "dsp/biquad_filter.h"

namespace pseudoutils {
namespace {

constexpr int kMaxSections = 8;

class CHighOrderFilter final : public IHighOrderFilter {
 public:
  explicit CHighOrderFilter(int sections) : sections_(sections) {
    setFormat(1, 44100.0f);
    setCutoff(82.0f, 1.0f);
    reset();
  }

  void release() override { delete this; }

  void setFormat(int channels, float sampleRate) override {
    if (!(sampleRate > 0.0f) || !std::isfinite(sampleRate)) return;
    for (int i = 0; i < sections_; ++i)
      section_[i].setFormat(channels, static_cast<int>(sampleRate));
  }

  void reset() override {
    for (int i = 0; i < sections_; ++i)
      section_[i].reset();
  }

  void setCutoff(float hz, float q) override {
    if (!(hz > 0.0f) || !(q > 0.0f) || !std::isfinite(hz) || !std::isfinite(q)) return;
    for (int i = 0; i < sections_; ++i)
      section_[i].setLowpass(2.0f * std::numbers::pi_v<float> * hz, 1.0f / q);
  }

  // Each section filters in place after the first, which gives the same samples as passing
  // the block between two scratch buffers, without a limit on its length.
  void process(float* out, const float* in, int frames) override {
    if (frames <= 0) return;
    section_[0].processBlock(out, in, frames);
    for (int i = 1; i < sections_; ++i)
      section_[i].processBlock(out, out, frames);
  }

 private:
  int sections_;
  dsp::BiquadFilter section_[kMaxSections];
};

}  // namespace

Owned<IHighOrderFilter> createHighOrderFilter(int order) {
  if (order < 2 || order > 2 * kMaxSections) return nullptr;
  return Owned<IHighOrderFilter>(new CHighOrderFilter(order / 2));
}

}  // namespace pseudoutils
