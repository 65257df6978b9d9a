#include "render.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "full_scale.h"

namespace {

// The processor is called with blocks of this size from the first frame on, however the input
// arrives, so a render gives the same samples whatever its source.
constexpr long kChunk = 1024;
constexpr long kRackLatency = 64;

void drawProgress(double fraction) {
  const int width = 40;
  const int filled = static_cast<int>(fraction * width);
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
               width - filled, "", static_cast<int>(fraction * 100));
  std::fflush(stderr);
}

}  // namespace

RenderInput monoInput(const std::vector<float>& samples) {
  RenderInput input;
  input.expectedFrames = static_cast<long>(samples.size());
  input.read = [&samples, at = size_t(0)](float* into, long frames) mutable {
    const size_t n = std::min(samples.size() - at, static_cast<size_t>(frames));
    std::copy_n(samples.begin() + static_cast<long>(at), n, into);
    at += n;
    return static_cast<long>(n);
  };
  return input;
}

RenderResult render(ProcessorSession& session, const RenderInput& input, long tailFrames,
                    bool keepLatency, const RenderOutput& output, bool progress) {
  progress = progress && ::isatty(STDERR_FILENO);
  const int channels = std::max(1, input.channels);
  const bool stereo = channels >= 2;
  const long skip = keepLatency ? 0 : kRackLatency;
  std::vector<float> block(static_cast<size_t>(kChunk) * channels);
  std::vector<float> inL(kChunk), inR(kChunk), outL(kChunk), outR(kChunk), out(2 * kChunk);
  LevelMeter inMeter, outMeter;
  RenderResult result;
  long inFrames = 0, pos = 0;
  long total = -1;  // frames to process, known once the input has ended
  int lastPercent = -1;
  const auto started = std::chrono::steady_clock::now();
  for (;;) {
    long got = 0;
    while (total < 0 && got < kChunk) {
      const long n = input.read(block.data() + got * channels, kChunk - got);
      if (n <= 0) total = inFrames + got + tailFrames + skip;
      got += std::max(n, 0L);
    }
    inFrames += got;
    const long n = total < 0 ? kChunk : std::min(kChunk, total - pos);
    if (n <= 0) break;
    for (long i = 0; i < got; ++i) {
      inL[i] = block[i * channels];
      inR[i] = stereo ? block[i * channels + 1] : 0.0f;
    }
    std::fill(inL.begin() + got, inL.begin() + n, 0.0f);
    std::fill(inR.begin() + got, inR.begin() + n, 0.0f);
    inMeter.add(inL.data(), got);
    session.process(inL.data(), stereo ? inR.data() : nullptr, outL.data(), outR.data(),
                    static_cast<int>(n));

    const long first = std::clamp(skip - pos, 0L, n);
    for (long i = first; i < n; ++i) {
      outL[i] = clipToFullScale(outL[i]);
      outR[i] = clipToFullScale(outR[i]);
      out[2 * (i - first)] = outL[i];
      out[2 * (i - first) + 1] = outR[i];
    }
    if (n > first) {
      outMeter.add(&outL[first], n - first);
      output(out.data(), n - first);
      result.frames += n - first;
    }
    pos += n;

    const long expected =
        total >= 0 ? total : std::max(input.expectedFrames + tailFrames + skip, pos);
    const int percent = static_cast<int>(100 * pos / std::max(expected, 1L));
    if (progress && percent != lastPercent) {
      drawProgress(double(pos) / double(std::max(expected, 1L)));
      lastPercent = percent;
    }
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.input = inMeter.levels();
  result.output = outMeter.levels();
  if (progress) std::fputs("\r\033[K", stderr);
  return result;
}
