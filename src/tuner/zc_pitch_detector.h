#pragma once

#include "tuner/owned.h"

namespace pseudoutils {

// Period from upward zero crossings, averaged over the last 20 periods. Until 20 crossings have
// been seen after a reset the missing periods count as zero, so early estimates read high.
class IZCPitchDetector {
 public:
  virtual void release() = 0;
  virtual void setSampleRate(float rate) = 0;
  virtual void setReference(float hz) = 0;
  virtual void reset() = 0;
  // found: the block held at least one upward crossing; frequency: from the average at the
  // block's last crossing (written only when found).
  virtual void detect(const float* samples, int count, bool* found, float* frequency) = 0;
  // The longest of the 20 stored periods minus the shortest, in samples (a period not yet seen
  // counts as zero).
  virtual int periodSpread() const = 0;

 protected:
  virtual ~IZCPitchDetector() = default;
};

Owned<IZCPitchDetector> createZCPitchDetector();

}  // namespace pseudoutils
