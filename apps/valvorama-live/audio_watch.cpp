#include "audio_watch.h"

#include <algorithm>

#include "host/eva_host_audio.h"

namespace {

// At least this long without a block before the device counts as gone: a loaded machine may
// hold a streaming thread back for a while.
constexpr std::chrono::seconds kShortestStall{2};
constexpr int kBlocksBeforeStall = 4;

}  // namespace

AudioWatch::AudioWatch(const host::evaHostAudio& audio)
    : audio_(audio), lastProgress_(std::chrono::steady_clock::now()) {
  const host::evaHostAudio::Status status = audio.status();
  const double blockSeconds =
      status.sampleRate > 0.0f ? status.blockSize / static_cast<double>(status.sampleRate) : 0.0;
  stallLimit_ = std::max<std::chrono::steady_clock::duration>(
      kShortestStall, std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(kBlocksBeforeStall * blockSeconds)));
}

AudioWatch::Event AudioWatch::check(std::chrono::steady_clock::time_point now) {
  const host::evaMPAudio* device = audio_.audio();
  if (stalled_ || !device || !device->isRunning()) return Event::kNone;
  const int64_t position = device->getSamplePosition();
  if (position != lastPosition_) {
    lastPosition_ = position;
    lastProgress_ = now;
    if (!flowing_) {
      flowing_ = true;
      return Event::kFlowing;
    }
    return Event::kNone;
  }
  if (now - lastProgress_ > stallLimit_) {
    stalled_ = true;
    return Event::kStalled;
  }
  return Event::kNone;
}
