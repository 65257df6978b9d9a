// The streaming render against the whole-file render it replaced.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "render.h"
#include "support/every_stage.h"
#include "support/signals.h"

namespace {

constexpr long kFrames = 9999, kLatency = 64;

void engageEveryStage(ProcessorSession& session) {
  session.start(44100, 0);
  for (auto [row, value] : testsupport::kEveryStageSettings)
    session.setPlain(row, float(value));
}

// All input and tail in memory, processed in 1024-frame calls from the first frame, the
// latency cut from the front of the whole output.
std::vector<float> wholeFileRender(std::vector<float> left, std::vector<float> right, long tail,
                                   bool keepLatency) {
  ProcessorSession session;
  engageEveryStage(session);
  const long skip = keepLatency ? 0 : kLatency, total = kFrames + tail + skip;
  left.resize(size_t(total));
  right.resize(size_t(total));
  std::vector<float> outL(left.size()), outR(left.size()), out;
  for (long pos = 0; pos < total; pos += 1024) {
    const int n = int(std::min(1024L, total - pos));
    session.process(&left[pos], &right[pos], &outL[pos], &outR[pos], n);
  }
  for (long o = skip; o < total; ++o) {
    out.push_back(std::clamp(outL[o], -1.0f, 1.0f));
    out.push_back(std::clamp(outR[o], -1.0f, 1.0f));
  }
  return out;
}

TEST(RenderStream, GivesTheWholeFileResultWhateverTheReadSizes) {
  // A note on the left, loud noise on the right: the processor folds both.
  auto note = testsupport::pluckedNote(110.0, 1.0, 0.8f);
  note.resize(kFrames);
  const auto noise = testsupport::whiteNoise(int(kFrames), 0.3f);
  for (bool keepLatency : {false, true}) {
    for (long tail : {0L, 3001L}) {
      const std::vector<float> reference = wholeFileRender(note, noise, tail, keepLatency);
      for (long readSize : {1L, 333L, 1023L, 1024L, 1025L, 4097L, 20000L}) {
        ProcessorSession session;
        engageEveryStage(session);
        RenderInput input;
        input.channels = 2;
        input.read = [&, at = 0L](float* into, long wanted) mutable {
          const long n = std::min({wanted, readSize, kFrames - at});
          for (long i = 0; i < n; ++i, ++at) {
            *into++ = note[size_t(at)];
            *into++ = noise[size_t(at)];
          }
          return n;
        };
        std::vector<float> streamed;
        const RenderResult result = render(
            session, input, tail, keepLatency,
            [&](const float* out, long n) { streamed.insert(streamed.end(), out, out + 2 * n); },
            false);
        EXPECT_EQ(result.frames, kFrames + tail);
        EXPECT_TRUE(streamed == reference)
            << "read " << readSize << ", tail " << tail << ", keep latency " << keepLatency;
      }
    }
  }
}

}  // namespace
