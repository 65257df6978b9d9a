#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace jacktest {

// A client of the test on the fixture's server: plays a signal out of its output ports and
// records its input ports, both from the cycle after it is told to. Everything the process
// callback touches is allocated before the client is activated. What it hears from a client it
// also feeds was played in the cycle before: JACK runs the feeding side of a loop first.
class JackProbeClient {
 public:
  JackProbeClient(const std::string& name, int outputs, int inputs, size_t recordFrames);
  ~JackProbeClient();

  bool ok() const { return client_ != nullptr; }
  jack_client_t* client() const { return client_; }
  std::string portName(bool output, int index) const;

  // `signal` out of every output from the next cycle on, then silence, recorded from the same
  // cycle. `atStart` runs on the JACK thread in that cycle; its answer is kept as startMark().
  void play(const std::vector<float>& signal, std::function<int64_t()> atStart = {});
  bool waitRecorded(std::chrono::milliseconds limit) const;

  const std::vector<float>& recording(int input) const { return recordings_[size_t(input)]; }
  int64_t startMark() const { return startMark_.load(std::memory_order_acquire); }

 private:
  static int onProcess(jack_nframes_t frames, void* self);

  jack_client_t* client_ = nullptr;
  std::vector<jack_port_t*> outputs_, inputs_;
  std::vector<float> signal_;
  std::function<int64_t()> atStart_;
  std::vector<std::vector<float>> recordings_;
  size_t played_ = 0, recorded_ = 0;  // JACK thread
  std::atomic<bool> playing_{false}, recordedAll_{false};
  std::atomic<int64_t> startMark_{-1};
};

}  // namespace jacktest
