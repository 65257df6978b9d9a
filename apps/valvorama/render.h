#pragma once

#include <functional>
#include <vector>

#include "level_meter.h"
#include "processor_session.h"

// A render's input: `channels` interleaved channels (one, or the first two, which the processor
// folds). `read` fills up to `frames` frames and returns how many, 0 at the end;
// `expectedFrames` only scales the progress bar.
struct RenderInput {
  int channels = 1;
  long expectedFrames = 0;
  std::function<long(float* interleaved, long frames)> read;
};

// Reads a mono signal held in memory (which must outlive the render).
RenderInput monoInput(const std::vector<float>& samples);

// Takes the stereo output a block at a time, interleaved and clipped to full scale.
using RenderOutput = std::function<void(const float* interleaved, long frames)>;

struct RenderResult {
  long frames = 0;           // output frames
  double seconds = 0.0;      // the whole render, reading and writing included
  Levels input{}, output{};  // first input channel, left output
};

// Streams `input` through a started session, followed by `tailFrames` of silence, a block at a
// time, so that memory stays the same whatever the length. The rack's 64-frame latency is
// removed unless `keepLatency`. Progress is drawn on stderr when it is a terminal.
RenderResult render(ProcessorSession& session, const RenderInput& input, long tailFrames,
                    bool keepLatency, const RenderOutput& output, bool progress);
