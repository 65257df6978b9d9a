#pragma once

#include "tuner/owned.h"

namespace pseudoutils {

// A cascade of identical second-order low-pass sections.
class IHighOrderFilter {
 public:
  virtual void release() = 0;
  virtual void setFormat(int channels, float sampleRate) = 0;
  virtual void reset() = 0;
  // hz: the corner frequency of every section; q: each section's quality (1 / damping).
  virtual void setCutoff(float hz, float q) = 0;
  // Any number of frames; out may equal in.
  virtual void process(float* out, const float* in, int frames) = 0;

 protected:
  virtual ~IHighOrderFilter() = default;
};

// order / 2 sections; null for an order outside 2..16.
Owned<IHighOrderFilter> createHighOrderFilter(int order);

}  // namespace pseudoutils
