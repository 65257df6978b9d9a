#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// One JACK client of the live demo: plays a signal out of its output ports, or records its
// input ports, from the cycle after play() / record() on. It counts the server's xruns from then
// on (joining a server costs some of its own).
// Everything the process callback touches is allocated before the client is activated.
class DemoJackClient {
 public:
  // `recordFrames` is the most the inputs keep.
  DemoJackClient(const std::string& name, int outputs, int inputs, size_t recordFrames);
  ~DemoJackClient();
  DemoJackClient(const DemoJackClient&) = delete;
  DemoJackClient& operator=(const DemoJackClient&) = delete;

  // Connected and active; otherwise error() says why.
  bool ok() const { return client_ != nullptr; }
  const std::string& error() const { return error_; }
  jack_client_t* client() const { return client_; }
  std::string outputName(int index) const;
  std::string inputName(int index) const;

  // `signal` (which must outlive the playing) out of every output, then silence.
  void play(const std::vector<float>& signal);
  void record();
  // Recording ends here; what was kept stays.
  void stopRecording();

  bool playedAll() const { return playedAll_.load(std::memory_order_acquire); }
  // Frames recorded so far; the recordings are complete up to there.
  size_t recorded() const { return recordedCount_.load(std::memory_order_acquire); }
  const std::vector<float>& recording(int input) const { return recordings_[size_t(input)]; }
  // The server's frame time at the start of the first cycle that played / recorded; -1 before.
  int64_t startFrame() const { return startFrame_.load(std::memory_order_acquire); }
  int xruns() const { return xruns_.load(std::memory_order_relaxed); }

 private:
  static int onProcess(jack_nframes_t frames, void* self);
  static int onXrun(void* self);

  jack_client_t* client_ = nullptr;
  std::string error_;
  std::vector<jack_port_t*> outputs_;
  std::vector<jack_port_t*> inputs_;
  const std::vector<float>* signal_ = nullptr;
  std::vector<std::vector<float>> recordings_;
  size_t played_ = 0;  // JACK thread
  std::atomic<bool> playing_{false};
  std::atomic<bool> recording_{false};
  std::atomic<bool> playedAll_{false};
  std::atomic<size_t> recordedCount_{0};
  std::atomic<int64_t> startFrame_{-1};
  std::atomic<int> xruns_{0};
};
