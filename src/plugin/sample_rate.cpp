#include "plugin/sample_rate.h"

#include <atomic>

namespace plugin {
namespace {

std::atomic<float> gSampleRate{44100.0f};

}  // namespace

float processSampleRate() {
  return gSampleRate.load(std::memory_order_relaxed);
}

void setProcessSampleRate(float rate) {
  gSampleRate.store(rate, std::memory_order_relaxed);
}

}  // namespace plugin
