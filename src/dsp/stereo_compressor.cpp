#include "dsp/stereo_compressor.h"

#include <cmath>
#include <mutex>

#include "dsp/effect_descriptors.h"

namespace dsp {
namespace {

std::unique_ptr<float[]> chunkBuffer() {
  return std::make_unique<float[]>(TAutomatedEffect::kMaxChunk);
}

}  // namespace

StereoCompressor::StereoCompressor(EffectObserver* owner, uint32_t flags)
    : TAutomatedEffect(owner, &descriptors::kStereoCompressor, flags),
      midIn_(chunkBuffer()),
      sideIn_(chunkBuffer()),
      midOut_(chunkBuffer()),
      sideOut_(chunkBuffer()) {
  parametersChanged();
  publishMeters();
}

void StereoCompressor::setFormat(int channels, int sampleRate) {
  TAutomatedEffect::setFormat(channels, sampleRate);
  mid_.setFormat(sampleRate);
  side_.setFormat(sampleRate);
  markAllChanged();
  parametersChanged();
}

void StereoCompressor::reset() {
  std::lock_guard<std::mutex> guard(effectLock());
  mid_.reset();
  side_.reset();
  publishMeters();
}

float StereoCompressor::getMeter(int index) const {
  return meters_[index == 0 ? 0 : 1].load(std::memory_order_relaxed);
}

void StereoCompressor::publishMeters() {
  meters_[0].store(mid_.gainReading(), std::memory_order_relaxed);
  meters_[1].store(side_.gainReading(), std::memory_order_relaxed);
}

void StereoCompressor::setSideThreshold() {
  side_.setThreshold(drive_ + 6.0f + enhance_ * 0.2f);
}

void StereoCompressor::parametersChanged() {
  if (changed(kAttack)) {
    const double seconds = 128.0f * value(kAttack) / 1800.0f + 0.012f;
    mid_.setAttack(seconds);
    side_.setAttack(seconds);
  }
  if (changed(kRelease)) {
    const double seconds = 128.0f * value(kRelease) / 9.0f + 0.3f;
    mid_.setRelease(seconds);
    side_.setRelease(seconds);
  }
  if (changed(kDrive)) {
    drive_ = 30.0f * value(kDrive) - 15.0f;
    mid_.setThreshold(drive_);
    setSideThreshold();
  }
  if (changed(kFeedBack)) {
    const double f = 128.0f * value(kFeedBack) / 40.0f + 1.0f;
    mid_.setFeedback(f);
    side_.setFeedback(f);
  }
  if (changed(kStereoEhn)) {
    enhance_ = 128.0f * value(kStereoEhn) / 12.8f - 5.0f;
    width_ = std::pow(10.0f, (enhance_ * 0.8f - 6.0f) / 20.0f);
    setSideThreshold();
  }
  if (changed(kSidechain)) {
    const double x = -16.0f * value(kSidechain);
    mid_.setSidechain(x);
    side_.setSidechain(x);
  }
}

int StereoCompressor::processBlock(float* out, const float* in, int frames) {
  const int inCh = inputChannels();
  const int outCh = outputChannels();
  if (outCh == 1) {
    if (inCh == 1) {
      mid_.process(out, in, frames);
    } else {
      for (int i = 0; i < frames; ++i)
        midIn_[i] = in[i * inCh];
      mid_.process(out, midIn_.get(), frames);
    }
    publishMeters();
    return frames;
  }

  for (int i = 0; i < frames; ++i) {
    const float left = in[i * inCh];
    const float right = inCh > 1 ? in[i * inCh + 1] : left;
    midIn_[i] = left + right;
    sideIn_[i] = left - right;
  }
  mid_.process(midOut_.get(), midIn_.get(), frames);
  side_.process(sideOut_.get(), sideIn_.get(), frames);
  for (int i = 0; i < frames; ++i) {
    const float side = width_ * sideOut_[i];
    out[i * outCh] = midOut_[i] + side;
    out[i * outCh + 1] = midOut_[i] - side;
    // Channels beyond the pair are not compressed.
    for (int c = 2; c < outCh; ++c)
      out[i * outCh + c] = c < inCh ? in[i * inCh + c] : 0.0f;
  }
  publishMeters();
  return frames;
}

}  // namespace dsp
