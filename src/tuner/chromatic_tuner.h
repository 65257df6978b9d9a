#pragma once

#include "tuner/owned.h"

namespace pseudoutils {

// Turns the detected pitch into the nearest equal-tempered note relative to a reference A and
// the deviation from it in cents.
class IChromaticTuner {
 public:
  virtual void release() = 0;
  virtual void reset() = 0;
  // found, voiced and frequency as the pitch detector reports them; note (0 = A .. 11 = G sharp)
  // and cents (truncated toward zero, -50..+50) are written only when found and voiced.
  virtual void analyze(const float* samples, int count, bool* found, bool* voiced, float* frequency,
                       int* note, int* cents) = 0;
  // A reference that is not a positive number keeps the previous one.
  virtual void setReference(float hz) = 0;
  virtual void setSampleRate(int rate) = 0;

 protected:
  virtual ~IChromaticTuner() = default;
};

struct NoteDeviation {
  int note;   // semitones from A, 0..11
  int cents;  // truncated toward zero, -50..+50
};

// The equal-tempered note nearest to a frequency, relative to the reference A; {0, 0} for
// frequencies that are not positive.
NoteDeviation nearestNote(float hz, float referenceHz);

// Null for a rate the detector cannot use (not positive, or a 40 Hz period above 65536
// samples).
Owned<IChromaticTuner> createChromaticTuner(int sampleRate);

}  // namespace pseudoutils
