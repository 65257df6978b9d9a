#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin/vlvr_processor.h"

// The product processor as the command-line tool drives it: through its plug-in record, the
// way a host would, at a file's sample rate.
class ProcessorSession {
 public:
  ProcessorSession();

  plugin::vlvrProcessor& processor() { return *processor_; }
  plugin::AEffect& effect() { return *processor_->getAeffect(); }

  // An explicit bank must load; without one the bank file of the settings folder is used when
  // it exists, else the built-in programs. Returns the bank file read, empty for none.
  std::string loadBank(const std::string& explicitPath);
  // Opens the processor at `sampleRate` and selects program `program` (0-based).
  void start(int sampleRate, int program);
  // NAME=VALUE with NAME a parameter name (case-insensitive, unambiguous) or index 0..21 and
  // VALUE a plain value in the parameter's range. Throws CliError listing the choices.
  void set(const std::string& assignment);
  // Stores a plain value of parameter `index` and sends it to the rack.
  void setPlain(int index, float plain);
  // Runs `frames` frames; `right` may be null for a mono source.
  void process(const float* left, const float* right, float* outLeft, float* outRight, int frames);

 private:
  int findParameter(const std::string& name) const;
  std::unique_ptr<plugin::vlvrProcessor> processor_;
};
