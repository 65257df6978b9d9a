#pragma once

#include "tuner/owned.h"

namespace pseudoutils {

// Two-stage pitch detector: the autocorrelation's coarse pitch sets the cutoff of an 8th-order
// low-pass (when it has moved more than 3 semitones from it), and the filtered signal's zero
// crossings give the fine frequency.
class IPitchDetector {
 public:
  virtual void release() = 0;
  virtual void setSampleRate(float rate) = 0;
  // Frequencies outside the range give no reading; an unusable range is ignored.
  virtual void setRange(float minHz, float maxHz) = 0;
  virtual void setThreshold(float threshold) = 0;
  virtual void reset() = 0;
  // found: a zero-crossing estimate inside the range, from 20 periods within 5% of one another,
  // was made in this block (frequency is written only then); voiced: the last completed
  // autocorrelation frame had a period.
  // Any count is accepted.
  virtual void detect(const float* samples, int count, bool* found, bool* voiced,
                      float* frequency) = 0;

 protected:
  virtual ~IPitchDetector() = default;
};

// Null for an unusable rate.
Owned<IPitchDetector> createPitchDetector(float sampleRate);

}  // namespace pseudoutils
