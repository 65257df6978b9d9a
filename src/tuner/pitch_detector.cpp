#include "tuner/pitch_detector.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "tuner/acf_pitch_detector.h"
#include "tuner/high_order_filter.h"
#include "tuner/zc_pitch_detector.h"

namespace pseudoutils {
namespace {

constexpr int kWorkSize = 4096;
constexpr float kFirstCutoff = 82.0f;
// The coarse pitch wanders by up to about a semitone from frame to frame (a lag of a high note
// is only some 60 samples), now and then by a fifth.
constexpr float kRetuneSemitones = 3.0f;
// Within a steady note the periods differ by a sample or two; 5 % is under a semitone.
constexpr float kPeriodSpread = 0.05f;

class CPitchDetector final : public IPitchDetector {
 public:
  explicit CPitchDetector(float rate)
      : acfDetector_(createACFPitchDetector(rate)),
        fineFilter_(createHighOrderFilter(8)),
        zcDetector_(createZCPitchDetector()),
        work_(new float[kWorkSize]()) {
    setSampleRate(rate);
    setRange(40.0f, 800.0f);
    fineFilter_->setFormat(1, rate);
    fineFilter_->setCutoff(kFirstCutoff, 1.0f);
  }

  void release() override { delete this; }

  void setSampleRate(float rate) override {
    if (!isUsableRange(rate, minHz_, maxHz_)) return;
    acfDetector_->setSampleRate(rate);
    fineFilter_->setFormat(1, rate);
    zcDetector_->setSampleRate(rate);
    fineFilter_->setCutoff(cutoff_, 1.0f);  // setFormat keeps the old rate's coefficients
    rate_ = rate;
  }

  void setRange(float minHz, float maxHz) override {
    if (!isUsableRange(rate_, minHz, maxHz)) return;
    acfDetector_->setRange(minHz, maxHz);
    minHz_ = minHz;
    maxHz_ = maxHz;
  }

  void setThreshold(float threshold) override { acfDetector_->setThreshold(threshold); }

  void reset() override {
    acfDetector_->reset();
    fineFilter_->reset();
    zcDetector_->reset();
  }

  // Longer blocks are analysed in pieces that fit the work buffer; the last reading wins.
  void detect(const float* samples, int count, bool* found, bool* voiced,
              float* frequency) override {
    bool anyFound = false;
    float fine = 0.0f;
    for (int done = 0; done < count; done += kWorkSize) {
      const int n = std::min(count - done, kWorkSize);
      float pieceFrequency = 0.0f;
      if (detectPiece(samples + done, n, &pieceFrequency)) {
        anyFound = true;
        fine = pieceFrequency;
      }
    }
    if (found) *found = anyFound;
    if (voiced) *voiced = lastVoiced_;
    if (anyFound && frequency) *frequency = fine;
  }

 private:
  bool detectPiece(const float* samples, int count, float* frequency) {
    bool got = false;
    bool isVoiced = false;
    float coarse = 0.0f;
    acfDetector_->detect(samples, count, &got, &isVoiced, &coarse);
    if (got) {
      lastVoiced_ = isVoiced;
      // Every retuning shifts the filter's phase, and the shifted crossings stay in the mean
      // for 20 periods; so small moves of the coarse pitch leave the cutoff where it is.
      if (isVoiced && std::fabs(12.0f * std::log2(coarse / cutoff_)) > kRetuneSemitones) {
        fineFilter_->setCutoff(coarse, 1.0f);
        cutoff_ = coarse;
      }
    }
    fineFilter_->process(work_.get(), samples, count);
    bool crossed = false;
    zcDetector_->detect(work_.get(), count, &crossed, frequency);
    if (!crossed || *frequency < minHz_ || *frequency > maxHz_) return false;
    // Periods that disagree show that the mean spans a change (a note starting, stopping into
    // noise or silence, the filter retuning), and such a mean names no note.
    const float meanPeriod = rate_ / *frequency;
    return zcDetector_->periodSpread() <= kPeriodSpread * meanPeriod;
  }

  Owned<IACFPitchDetector> acfDetector_;
  Owned<IHighOrderFilter> fineFilter_;
  Owned<IZCPitchDetector> zcDetector_;
  std::unique_ptr<float[]> work_;
  bool lastVoiced_ = false;
  float cutoff_ = kFirstCutoff;  // the fine filter's
  float rate_ = 44100.0f;
  float minHz_ = 40.0f;
  float maxHz_ = 800.0f;
};

}  // namespace

Owned<IPitchDetector> createPitchDetector(float sampleRate) {
  if (!isUsableRange(sampleRate, 40.0f, 900.0f)) return nullptr;
  return Owned<IPitchDetector>(new CPitchDetector(sampleRate));
}

}  // namespace pseudoutils
