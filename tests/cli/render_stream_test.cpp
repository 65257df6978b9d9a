// The streaming render against the whole-file render it replaced.

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "render.h"
#include "support/every_stage.h"
#include "support/signals.h"

namespace {

constexpr int kRate = 44100;
constexpr long kLatency = 64;

void engageEveryStage(ProcessorSession& session) {
  session.start(kRate, 0);
  for (auto [row, value] : testsupport::kEveryStageSettings)
    session.setPlain(row, float(value));
}

// All input and tail in memory, processed in 1024-frame calls from the first frame, the
// latency cut from the front of the whole output.
std::vector<float> wholeFileRender(const std::vector<float>& stereo, long tail, bool keepLatency) {
  ProcessorSession session;
  engageEveryStage(session);
  const long inFrames = long(stereo.size() / 2), skip = keepLatency ? 0 : kLatency;
  const long outFrames = inFrames + tail, total = outFrames + skip;
  std::vector<float> inL(total, 0.0f), inR(total, 0.0f), outL(total), outR(total);
  for (long i = 0; i < inFrames; ++i) {
    inL[i] = stereo[2 * i];
    inR[i] = stereo[2 * i + 1];
  }
  for (long pos = 0; pos < total; pos += 1024) {
    const int n = int(std::min(1024L, total - pos));
    session.process(&inL[pos], &inR[pos], &outL[pos], &outR[pos], n);
  }
  std::vector<float> out;
  for (long o = 0; o < outFrames; ++o) {
    out.push_back(std::clamp(outL[o + skip], -1.0f, 1.0f));
    out.push_back(std::clamp(outR[o + skip], -1.0f, 1.0f));
  }
  return out;
}

TEST(RenderStream, GivesTheWholeFileResultWhateverTheReadSizes) {
  // A note on the left, loud noise on the right: the processor folds both.
  const long frames = 9999;
  const auto note = testsupport::pluckedNote(110.0, 1.0, 0.8f);
  const auto noise = testsupport::whiteNoise(int(frames), 0.3f);
  std::vector<float> stereo;
  for (long i = 0; i < frames; ++i) {
    stereo.push_back(note[i]);
    stereo.push_back(noise[i]);
  }
  for (bool keepLatency : {false, true}) {
    for (long tail : {0L, 3001L}) {
      const std::vector<float> reference = wholeFileRender(stereo, tail, keepLatency);
      for (long readSize : {1L, 333L, 1023L, 1024L, 1025L, 4097L, 20000L}) {
        ProcessorSession session;
        engageEveryStage(session);
        RenderInput input;
        input.channels = 2;
        input.read = [&, at = 0L](float* into, long wanted) mutable {
          const long n = std::min({wanted, readSize, frames - at});
          std::copy_n(&stereo[2 * at], 2 * n, into);
          at += n;
          return n;
        };
        std::vector<float> streamed;
        const RenderResult result = render(
            session, input, tail, keepLatency,
            [&](const float* out, long n) { streamed.insert(streamed.end(), out, out + 2 * n); },
            false);
        EXPECT_EQ(result.frames, frames + tail);
        EXPECT_TRUE(streamed == reference)
            << "read " << readSize << ", tail " << tail << ", keep latency " << keepLatency;
      }
    }
  }
}

}  // namespace
