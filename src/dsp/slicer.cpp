#include "dsp/slicer.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string_view>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

constexpr uint32_t kTriggerController = 114;

// 'x' open (gain 1), '.' closed (the depth floor).
constexpr std::string_view kPatternTable[TSlicer::kPatterns] = {
    "x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.x.",  // 0
    "xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..",  // 1
    "..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx..xx",  // 2
    "xxxx....xxxx....xxxx....xxxx....xxxx....xxxx....xxxx....xxxx....",  // 3
    "....xxxx....xxxx....xxxx....xxxx....xxxx....xxxx....xxxx....xxxx",  // 4
    "x.x.x.x...x.x.x.x.x.x.x...x.x.x.x.x.x.x...x.x.x.x.x.x.x...x.x.x.",  // 5
    "x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..",  // 6
    "x.x.xx..x.x.xx..x.xx..x.xx..xx..x.x.xx..x.x.xx..x.xx..x.xx..xx..",  // 7
    "xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.xx..x.x.",  // 8
    "xx..x.x.xx..x.x.x.xx..x.xx..x.x.xx..x.x.xx..x.x.x.xx..x.xx..x.x.",  // 9
    "....x...x.x.x.x.....x...xxxx........x...x.x.x.x.....x...xxxx....",  // 10
    "x.x...x.x...x.x...x.x...x.x.....x.x...x.x...x.x...x.x...x.x.....",  // 11
    "xx..xx....xx..xx..xx....xx..x.xx....xx....xx..xx..xx....xx..xx..",  // 12
    "..xx..xx....xxxxxxxxx.xxxx..xxxx..xx..xx....xxxxxxxxx.xxxx..xx..",  // 13
    "....xxxxxxxxxxxxxxxxxxxx....xxxx....xxxxxxxxxxxxxx..xxxxxxxx....",  // 14
    "....xxxx....xxxxxxxxxxxxxxxxxxxx....xxxx....xxxx....xxxxxxxxxxxx",  // 15
    "......xx....xxxxxxxxxxxxxxxxxxxx....xx....xx....xx....xxxxxxxxxx",  // 16
    "..x.....xxxxxxxxxxxx........xxxxxxxxxxxx....x.......x.........x.",  // 17
    "xx....xx....xx....xx....xx..xx..xx....xx....xxxx..xx....xx..xx..",  // 18
    "....xxxx....xxxx........xxxx........xxxx....xxxx..xxxx..xxxx....",  // 19
    "xxxx..........x.....xx....xxxx..xxxx..........xx....xx....xxxx..",  // 20
    "....xxxxxxxx........xxxxxxxx....xxxxxxx.....xxxxxxx.....xxxxxxx.",  // 21
    "............xxxxxxxxxxxxxxxxxxxxxxxxxx..............xxxxxxxxxxxx",  // 22
    "x.....x.....x.....x.....x...x...x...x...xxxxx.x.....x...x...x...",  // 23
    "xxxx........xxxxxxxxxxxxxx....x.....xx....x.....x...........xxxx",  // 24
    "....xx..xx..xx..........x.....x.....xx..xx..xx..xxxxxx..x.....xx",  // 25
    "..xx..xx....xxxx..xx..xx....xx....xx..xx....xx....xxxx..x.....xx",  // 26
    "......xx....xxxx......xx....xxxx......xx....xx....xxxx..xx..x.x.",  // 27
    "xx..xx..xxxx..xx....................xx..xxxx..xx....xx....xx....",  // 28
    "....xx......xx....xx....xx......xxxxxx......xxxx....xxxx........",  // 29
    "....xxxxxx..xxxx..............xx......xx....xx....xx....xx....xx",  // 30
    "....xx..xxxx..xx..........xx..xx........xxxx..xx....xx....xx..xx",  // 31
    "xx..xx....xx....xxxxxxxxxxxxxx..x...x...x...xxxx..xx..xx..xx....",  // 32
    "......xx..xx..x.xxxxxx........xx......xx..xx..xx..............xx",  // 33
    "xxxxxx..xxxx....xx..x.....x.....xxxxxx..xxxxxx..xx..x.....xx....",  // 34
    "x.....x...xx......xxxxxx..xxxxx.x.....x...xx......xxxx....xxxxxx",  // 35
    "....xx....xx........xxxxxxxx....xxxxxxxxxxxxxx......xxxx........",  // 36
    "xxxx....x.....x.....x.....x.....xxxx........x.....x.....x...x...",  // 37
    "xxxx........xx......xxxx........xxxx..xxxx........xxxx......xx..",  // 38
    "....xxxx....xxxx....xxxx..x...x.....xxxxxx..xxxx......x...x.....",  // 39
    "xx..xx....xx..xx..xx....xx....x.x...xx....xx..xx..xx....xx..xx..",  // 40
    "..x.........x.......x...............xxxxxxxxxxxx........xxxxx.x.",  // 41
    "....xxxx..xxxx..xxxx....xxxx........xxxx........xxxx....xxxx....",  // 42
    "....xx....xx....xx....xx....xx......xx................xxxx....xx",  // 43
    "....xxxxxxx.....xxxxxxx.....xxxxxxx.....xxxxxxx.........xxxxxxx.",  // 44
    "x...x...x.....x.....xxx.x...x...x...x.....x.....x.....x.....x...",  // 45
    "....xx....x.......xxx.xx..xx..xx....x.....x...........xx..xx..xx",  // 46
    "xx....xx....xx....xxx.xx....................xx....xxx.xx..xx....",  // 47
    "......xx..............xx..xx..xx......xx............x.x...xx..xx",  // 48
    "xx........xxxx........xxxx..xxxx........xxxx....xx..........xxxx",  // 49
};

constexpr bool wellFormed() {
  for (std::string_view row : kPatternTable) {
    if (row.size() != TSlicer::kSteps) return false;
    for (char c : row) {
      if (c != 'x' && c != '.') return false;
    }
  }
  return true;
}
static_assert(wellFormed());

}  // namespace

TSlicer::TSlicer(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kSlicer, flags),
      gainBuffer_(std::make_unique<float[]>(2 * kMaxChunk)) {
  smoother_.setFormat(1, static_cast<int>(sampleRate()));
  parametersChanged();
  // A new slicer starts like a reset one, at the beginning of the first step.
  stepRemaining_ = stepLength_;
}

void TSlicer::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  smoother_.setFormat(1, sampleRate);
  markAllChanged();
  updateStep();
  parametersChanged();
}

void TSlicer::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  smoother_.reset();
  step_ = 0;
  stepRemaining_ = stepLength_;
}

void TSlicer::updateStep() {
  // A step is an eighth of a beat. At least one sample, so that the step counter always moves.
  const double samples = std::floor(static_cast<double>(samplesPerBeat()) / 8.0);
  stepLength_ = static_cast<int32_t>(std::clamp(samples, 1.0, 1.0e9));
}

uint32_t TSlicer::setParameter(uint32_t controller, float value) {
  if (controller == kTriggerController) {
    // Restart at the first step but keep the step grid: the current step's remaining length
    // stays as it is.
    std::lock_guard<std::mutex> guard(effectLock());
    step_ = 0;
  }
  return TAutomatedEffect::setParameter(controller, value);
}

void TSlicer::parametersChanged() {
  if (changed(kPattern)) {
    pattern_ = std::min(static_cast<int32_t>(128.0f * value(kPattern)), kPatterns - 1);
  }
  if (changed(kDepth)) {
    const float p = value(kDepth);
    // Controller value 127 closes the gaps completely.
    floorGain_ = p < 0.9914063f ? std::pow(10.0f, -2.0f * p) : 0.0f;
  }
  if (changed(kEnvelope)) {
    smoother_.setLowpass(5000.0f * std::pow(2.0f, -7.0f * value(kEnvelope)));
  }
  if (changed(parameterCount())) updateStep();
}

int TSlicer::processBlock(float* out, const float* in, int frames) {
  float* gains = gainBuffer_.get();
  float* smoothed = gains + kMaxChunk;
  const std::string_view row = kPatternTable[pattern_];
  for (int pos = 0; pos < frames;) {
    const int count = std::min(frames - pos, stepRemaining_);
    const float gain = row[step_] == 'x' ? 1.0f : floorGain_;
    std::fill(gains + pos, gains + pos + count, gain);
    pos += count;
    stepRemaining_ -= count;
    if (stepRemaining_ <= 0) {
      step_ = (step_ + 1) % kSteps;
      stepRemaining_ = stepLength_;
    }
  }
  smoother_.processBlock(smoothed, gains, frames);

  const int inCh = inputChannels();
  const int outCh = outputChannels();
  for (int i = 0; i < frames; ++i) {
    const float g = smoothed[i];
    for (int c = 0; c < outCh; ++c)
      out[i * outCh + c] = in[i * inCh + std::min(c, inCh - 1)] * g;
  }
  return frames;
}

}  // namespace dsp
