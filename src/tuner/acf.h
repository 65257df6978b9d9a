#pragma once

#include "tuner/owned.h"

namespace pseudoutils {

// Windowed autocorrelation computed incrementally over consecutive frames of N samples. Each
// frame is weighted by a raised-cosine window; lags that reach back before the frame read the
// previous frame's windowed samples, so every lag sums over a whole frame.
class IACF {
 public:
  virtual void release() = 0;
  virtual void reset() = 0;
  // Allocates; not for the audio thread.
  virtual void setLength(int n) = 0;
  virtual void setMinLag(int lag) = 0;
  // Only every step-th sample of a fed piece contributes to the sums.
  virtual void setStep(int step) = 0;
  // Any count is accepted; returns the number of frames completed, and result() then holds the
  // last of them.
  virtual int feed(const float* samples, int count, bool* ready) = 0;
  // The last completed frame's sums, N values indexed by lag (lags from N/2 on stay zero).
  virtual const float* result() const = 0;
  // Per lag, the factor that undoes the window's taper of the sums (1 at lag 0, about 3 at
  // N/2): the window's own zero-lag correlation divided by its correlation at that lag.
  virtual const float* lagWeights() const = 0;
  // How alike the last completed frame is to itself shifted by lag (0 < lag < N): the
  // correlation of its samples, window taken out, with those lag earlier within the frame,
  // divided by the root of both parts' energies. 1 for any strictly periodic signal with that
  // period whatever its phase in the frame; 0 for silence.
  virtual float periodicity(int lag) const = 0;

 protected:
  virtual ~IACF() = default;
};

// Null when n is below 2.
Owned<IACF> createACF(int n);

}  // namespace pseudoutils
