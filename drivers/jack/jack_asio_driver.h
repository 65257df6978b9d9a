#pragma once

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/asio_driver.h"

namespace jackdriver {

// The "Asio" driver on a JACK server (jackd, or PipeWire's JACK interface): one JACK client
// named "Valvorama Live" whose device channels are the server's physical ports. Buffers are the
// server's period long; the host's buffer switch runs inside the JACK process callback.
//
// Threads: the host calls every operation from one thread. The process callback runs on the
// JACK real-time thread between start and stop only (the client is active just then), so the
// channel table it reads never changes under it. Buffer-size, sample-rate and shutdown
// notifications arrive on JACK's notification thread at any time while the client exists.
class JackAsioDriver final : public platform::AsioDriver {
 public:
  struct PhysicalPort {
    std::string fullName;     // "system:capture_1"
    std::string channelName;  // what the host shows
  };

  JackAsioDriver() = default;
  JackAsioDriver(const JackAsioDriver&) = delete;
  JackAsioDriver& operator=(const JackAsioDriver&) = delete;

  void release() override;
  bool init(void* sysHandle) override;
  void getDriverName(char* name) override;
  int32_t getDriverVersion() override;
  void getErrorMessage(char* text) override;
  platform::AsioResult start() override;
  platform::AsioResult stop() override;
  platform::AsioResult getChannels(int32_t* inputs, int32_t* outputs) override;
  platform::AsioResult getLatencies(int32_t* input, int32_t* output) override;
  platform::AsioResult getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                     int32_t* granularity) override;
  platform::AsioResult canSampleRate(double rate) override;
  platform::AsioResult getSampleRate(double* rate) override;
  platform::AsioResult setSampleRate(double rate) override;
  platform::AsioResult getChannelInfo(platform::AsioChannelInfo* info) override;
  platform::AsioResult createBuffers(platform::AsioBufferInfo* infos, int32_t count,
                                     int32_t bufferSize,
                                     const platform::AsioCallbacks* callbacks) override;
  platform::AsioResult disposeBuffers() override;
  // The period and rate belong to the server (qjackctl, pw-metadata), so there is no panel.
  platform::AsioResult controlPanel() override;
  platform::AsioResult outputReady() override;

 private:
  using MessageCallback = int32_t (*)(int32_t, int32_t, void*, double*);
  using RateCallback = void (*)(double);

  // One created channel: its JACK port and its two halves, `frames_` floats each, back to back.
  struct Channel {
    bool isInput = false;
    int32_t number = 0;
    jack_port_t* port = nullptr;
    std::unique_ptr<float[]> halves;
  };

  ~JackAsioDriver();

  // Thread: JACK real-time thread. No allocation, no locks, no I/O.
  static int onProcess(jack_nframes_t frames, void* self);
  // Thread: JACK notification thread.
  static int onBufferSize(jack_nframes_t frames, void* self);
  static int onSampleRate(jack_nframes_t rate, void* self);
  // Thread: any JACK thread, like a signal handler: only flags.
  static void onShutdown(jack_status_t code, const char* reason, void* self);

  // Thread: JACK real-time thread. Inputs into the current half, the host's switch, the half
  // out to the output ports.
  void runSwitch(jack_nframes_t frames);
  void silenceOutputs(jack_nframes_t frames);
  // Asks the host once per set of buffers to stop, close and reopen the driver.
  void requestReset();
  // kAsioOk while the client exists and its server runs; otherwise the failure, with its text.
  platform::AsioResult checkServer();
  platform::AsioResult fail(platform::AsioResult code, const char* text);
  const std::vector<PhysicalPort>& physicalPorts(bool isInput) const;
  void unregisterPorts();

  jack_client_t* client_ = nullptr;
  std::vector<PhysicalPort> capturePorts_;   // the server's physical sources: device inputs
  std::vector<PhysicalPort> playbackPorts_;  // the server's physical sinks: device outputs
  std::vector<Channel> channels_;
  int32_t frames_ = 0;  // frames per half; 0 while no buffers exist
  platform::AsioCallbacks callbacks_{};
  int32_t half_ = 0;  // the half the next switch fills; real-time thread only while active
  bool running_ = false;
  char error_[124] = "No error";

  // What the notification thread reads.
  std::atomic<MessageCallback> message_{nullptr};
  std::atomic<RateCallback> rateChanged_{nullptr};
  std::atomic<int32_t> createdFrames_{0};
  std::atomic<uint32_t> createdRate_{0};
  std::atomic<bool> resetRequested_{false};
  std::atomic<bool> serverGone_{false};

  // Between the real-time thread and stop(), for a server that can no longer be deactivated.
  std::atomic<bool> switchesOpen_{false};
  std::atomic<bool> inCycle_{false};
};

}  // namespace jackdriver
