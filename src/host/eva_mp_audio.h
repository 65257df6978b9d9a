#pragma once

#include <cstdint>

#include "host/mp_audio.h"

namespace host {

class evaHostAudio;

// The host's audio object: an MPAudio that hands every block to the host that holds it.
class evaMPAudio : public MPAudio {
 public:
  explicit evaMPAudio(evaHostAudio* host = nullptr) : host_(host) {}

  void setHost(evaHostAudio* host) { host_ = host; }
  evaHostAudio* host() const { return host_; }

  // Two inputs and two outputs whatever the device opened: a single channel stands in for
  // both, a missing one is null.
  void process(float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
               int32_t frames) override;

 private:
  evaHostAudio* host_;
};

}  // namespace host
