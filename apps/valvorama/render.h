#pragma once

#include <string>
#include <vector>

#include "processor_session.h"
#include "sound_file.h"

// Stereo output of a render and what it cost.
struct Rendered {
  std::vector<float> left, right;
  double seconds = 0.0;  // processing time
};

// Runs `input` (any channel count: one channel, or the first two folded by the processor)
// through a started session, followed by `tailSeconds` of silence. The rack's 64-frame latency
// is removed unless `keepLatency`. Output samples are clipped to [-1, 1] as a converter would.
// `progress` is drawn on stderr when it is a terminal.
Rendered render(ProcessorSession& session, const Audio& input, double tailSeconds, bool keepLatency,
                bool progress);

// Interleaves the two channels into `writer` and commits the file.
void writeStereo(SoundFileWriter& writer, const Rendered& rendered);

// Peak and RMS in dBFS of one channel; -inf for silence.
struct Levels {
  double peakDb, rmsDb;
};
Levels measure(const std::vector<float>& samples);
// "-12.3" or "-inf".
std::string dbText(double db);
