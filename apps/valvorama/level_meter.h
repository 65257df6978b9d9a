#pragma once

#include <string>
#include <vector>

// Peak and RMS in dBFS; -inf for silence.
struct Levels {
  double peakDb, rmsDb;
};

// Peak and RMS of one channel, fed a block at a time. A non-finite sample counts as silence, as
// the processor takes it.
class LevelMeter {
 public:
  void add(const float* samples, long count);
  Levels levels() const;

 private:
  double peak_ = 0.0;
  double sum_ = 0.0;
  long count_ = 0;
};

Levels measure(const std::vector<float>& samples);
// "-12.3" or "-inf".
std::string dbText(double db);
