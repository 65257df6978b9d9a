#pragma once

#include "tuner/owned.h"

namespace pseudoutils {

// Coarse pitch: the period as a whole number of samples, once per autocorrelation frame (two
// of the longest accepted periods), and whether the frame is voiced at all.
class IACFPitchDetector {
 public:
  virtual void release() = 0;
  virtual void setSampleRate(float rate) = 0;
  // A range that reaches lower than any before re-creates the autocorrelation (allocates).
  virtual void setRange(float minHz, float maxHz) = 0;
  // The share of the zero-lag sum a peak must exceed to count as voiced.
  virtual void setThreshold(float threshold) = 0;
  virtual void reset() = 0;
  // found: a frame completed in this block; voiced and frequency are written only then, and
  // frequency only when voiced.
  virtual void detect(const float* samples, int count, bool* found, bool* voiced,
                      float* frequency) = 0;

 protected:
  virtual ~IACFPitchDetector() = default;
};

// Rates and ranges the detectors accept: positive and finite, minHz below maxHz, and the
// longest period no more than 65536 samples (the frame is allocated from it).
bool isUsableRate(float rate);
bool isUsableRange(float rate, float minHz, float maxHz);

// Null for an unusable rate.
Owned<IACFPitchDetector> createACFPitchDetector(float sampleRate);

}  // namespace pseudoutils
