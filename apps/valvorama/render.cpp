#include "render.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kChunk = 1024;
constexpr int kRackLatency = 64;

void drawProgress(double fraction) {
  const int width = 40;
  const int filled = static_cast<int>(fraction * width);
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
               width - filled, "", static_cast<int>(fraction * 100));
  std::fflush(stderr);
}

}  // namespace

Rendered render(ProcessorSession& session, const Audio& input, double tailSeconds, bool keepLatency,
                bool progress) {
  progress = progress && ::isatty(STDERR_FILENO);
  const long inFrames = input.frames();
  const long skip = keepLatency ? 0 : kRackLatency;
  const long outFrames = inFrames + static_cast<long>(tailSeconds * input.sampleRate);
  const long total = outFrames + skip;

  Rendered result;
  result.left.resize(outFrames);
  result.right.resize(outFrames);
  std::vector<float> inL(kChunk), inR(kChunk), outL(kChunk), outR(kChunk);
  const bool stereo = input.channels >= 2;
  const auto started = std::chrono::steady_clock::now();
  int lastPercent = -1;
  for (long pos = 0; pos < total; pos += kChunk) {
    const int n = static_cast<int>(std::min<long>(kChunk, total - pos));
    for (int i = 0; i < n; ++i) {
      const long f = pos + i;
      const bool inside = f < inFrames;
      inL[i] = inside ? input.samples[f * input.channels] : 0.0f;
      inR[i] = inside && stereo ? input.samples[f * input.channels + 1] : 0.0f;
    }
    session.process(inL.data(), stereo ? inR.data() : nullptr, outL.data(), outR.data(), n);
    for (int i = 0; i < n; ++i) {
      const long o = pos + i - skip;
      if (o < 0 || o >= outFrames) continue;
      result.left[o] = std::clamp(outL[i], -1.0f, 1.0f);
      result.right[o] = std::clamp(outR[i], -1.0f, 1.0f);
    }
    const int percent = static_cast<int>(100 * (pos + n) / total);
    if (progress && percent != lastPercent) {
      drawProgress(double(pos + n) / double(total));
      lastPercent = percent;
    }
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (progress) std::fputs("\r\033[K", stderr);
  return result;
}

void writeStereo(SoundFileWriter& writer, const Rendered& rendered) {
  std::vector<float> interleaved(rendered.left.size() * 2);
  for (size_t i = 0; i < rendered.left.size(); ++i) {
    interleaved[2 * i] = rendered.left[i];
    interleaved[2 * i + 1] = rendered.right[i];
  }
  writer.write(interleaved.data(), static_cast<long>(rendered.left.size()));
  writer.commit();
}

Levels measure(const std::vector<float>& samples) {
  double peak = 0.0, sum = 0.0;
  for (float x : samples) {
    peak = std::max(peak, std::fabs(double(x)));
    sum += double(x) * x;
  }
  const double rms = samples.empty() ? 0.0 : std::sqrt(sum / samples.size());
  return {20.0 * std::log10(peak), 20.0 * std::log10(rms)};
}
