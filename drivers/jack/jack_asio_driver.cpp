#include "jack_asio_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

namespace jackdriver {

using platform::AsioResult;

namespace {

constexpr const char* kClientName = "Valvorama Live";
constexpr const char* kDriverName = "JACK";
constexpr int32_t kDriverVersion = 1;
// Longer than any block the host runs; only a host stuck in its block would meet it.
constexpr auto kCycleLimit = std::chrono::seconds(2);

void copyText(char* destination, size_t size, const char* text) {
  std::snprintf(destination, size, "%s", text);
}

// Why jack_client_open gave no client, from the status bits it set.
const char* openFailureText(jack_status_t status) {
  if (status & JackServerFailed) return "No JACK server is running (start jackd or PipeWire)";
  if (status & JackVersionError) return "The JACK server speaks another protocol version";
  if (status & JackShmFailure) return "Cannot reach the JACK server's shared memory";
  if (status & JackServerError) return "The JACK server refused the connection";
  if (status & JackNameNotUnique) return "The JACK client name \"Valvorama Live\" is taken";
  if (status & JackInitFailure) return "The JACK client could not be initialised";
  return "Cannot open a JACK client";
}

// The server's physical audio ports with the given flag, in server order. A channel is named
// after its port without the client ("capture_1"), unless another client has a port of the
// same name (jackd's loopback ports, a second card under PipeWire): then with it.
std::vector<JackAsioDriver::PhysicalPort> listPhysicalPorts(jack_client_t* client,
                                                            unsigned long flag) {
  std::vector<JackAsioDriver::PhysicalPort> list;
  const char** ports =
      jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | flag);
  if (ports == nullptr) return list;
  for (const char** port = ports; *port != nullptr; ++port) {
    const std::string fullName = *port;
    const size_t colon = fullName.find(':');
    list.push_back({fullName, colon == std::string::npos ? fullName : fullName.substr(colon + 1)});
  }
  jack_free(ports);
  std::vector<std::string> shortNames;
  for (const auto& port : list)
    shortNames.push_back(port.channelName);
  for (auto& port : list) {
    if (std::count(shortNames.begin(), shortNames.end(), port.channelName) > 1) {
      port.channelName = port.fullName;
    }
  }
  return list;
}

}  // namespace

JackAsioDriver::~JackAsioDriver() {
  if (client_ == nullptr) return;
  if (frames_ != 0) disposeBuffers();
  // A client whose server has gone belongs to libjack: the next client opened anywhere in the
  // process closes and deletes it, so closing it here as well could free it twice.
  if (!serverGone_.load(std::memory_order_relaxed)) jack_client_close(client_);
}

void JackAsioDriver::release() {
  delete this;
}

bool JackAsioDriver::init(void* /*sysHandle*/) {
  if (client_ != nullptr) return true;
  jack_status_t status{};
  jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
  if (client == nullptr) {
    fail(platform::kAsioNotPresent, openFailureText(status));
    return false;
  }
  try {
    capturePorts_ = listPhysicalPorts(client, JackPortIsOutput);
    playbackPorts_ = listPhysicalPorts(client, JackPortIsInput);
  } catch (const std::bad_alloc&) {
    jack_client_close(client);
    fail(platform::kAsioNoMemory, "Out of memory while listing the JACK ports");
    return false;
  }
  // Callbacks can only be set while the client is inactive, so all of them go in now.
  if (jack_set_process_callback(client, &JackAsioDriver::onProcess, this) != 0 ||
      jack_set_buffer_size_callback(client, &JackAsioDriver::onBufferSize, this) != 0 ||
      jack_set_sample_rate_callback(client, &JackAsioDriver::onSampleRate, this) != 0) {
    jack_client_close(client);
    fail(platform::kAsioHardwareMalfunction, "The JACK server refused the client's callbacks");
    return false;
  }
  jack_on_info_shutdown(client, &JackAsioDriver::onShutdown, this);
  client_ = client;
  copyText(error_, sizeof error_, "No error");
  return true;
}

void JackAsioDriver::getDriverName(char* name) {
  copyText(name, 32, kDriverName);
}

int32_t JackAsioDriver::getDriverVersion() {
  return kDriverVersion;
}

void JackAsioDriver::getErrorMessage(char* text) {
  copyText(text, sizeof error_, error_);
}

AsioResult JackAsioDriver::start() {
  if (AsioResult result = checkServer(); result != platform::kAsioOk) return result;
  if (frames_ == 0) return fail(platform::kAsioInvalidMode, "No buffers have been created");
  if (running_) return platform::kAsioOk;
  half_ = 0;
  switchesOpen_.store(true);
  if (jack_activate(client_) != 0) {
    switchesOpen_.store(false);
    return fail(platform::kAsioHardwareMalfunction, "The JACK server refused to activate");
  }
  running_ = true;
  // A physical port that has gone since init stays unconnected; the player can patch by hand.
  for (const Channel& channel : channels_) {
    const std::string& physical = physicalPorts(channel.isInput)[channel.number].fullName;
    const char* own = jack_port_name(channel.port);
    if (channel.isInput) {
      jack_connect(client_, physical.c_str(), own);
    } else {
      jack_connect(client_, own, physical.c_str());
    }
  }
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::stop() {
  if (client_ == nullptr) return platform::kAsioNotPresent;
  if (!running_) return platform::kAsioOk;
  // Deactivation returns once the current process cycle is over: no switch follows it. The
  // client of a server that has gone may already be deleted by libjack (see the destructor),
  // so the switches are closed here and a cycle still in the host's block is waited for.
  switchesOpen_.store(false);
  if (!serverGone_.load(std::memory_order_relaxed)) {
    jack_deactivate(client_);
  } else {
    const auto end = std::chrono::steady_clock::now() + kCycleLimit;
    while (inCycle_.load() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  running_ = false;
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::getChannels(int32_t* inputs, int32_t* outputs) {
  if (client_ == nullptr) return platform::kAsioNotPresent;
  if (inputs != nullptr) *inputs = static_cast<int32_t>(capturePorts_.size());
  if (outputs != nullptr) *outputs = static_cast<int32_t>(playbackPorts_.size());
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::getLatencies(int32_t* input, int32_t* output) {
  if (AsioResult result = checkServer(); result != platform::kAsioOk) return result;
  // The physical ports carry the server's capture and playback latencies; the worst channel
  // of each direction is the one the host must plan for.
  auto worst = [this](const std::vector<PhysicalPort>& ports, jack_latency_callback_mode_t mode) {
    jack_nframes_t latency = 0;
    for (const PhysicalPort& physical : ports) {
      jack_port_t* port = jack_port_by_name(client_, physical.fullName.c_str());
      if (port == nullptr) continue;
      jack_latency_range_t range{};
      jack_port_get_latency_range(port, mode, &range);
      latency = std::max(latency, range.max);
    }
    return static_cast<int32_t>(latency);
  };
  if (input != nullptr) *input = worst(capturePorts_, JackCaptureLatency);
  if (output != nullptr) *output = worst(playbackPorts_, JackPlaybackLatency);
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                         int32_t* granularity) {
  if (AsioResult result = checkServer(); result != platform::kAsioOk) return result;
  const auto period = static_cast<int32_t>(jack_get_buffer_size(client_));
  if (minimum != nullptr) *minimum = period;
  if (maximum != nullptr) *maximum = period;
  if (preferred != nullptr) *preferred = period;
  if (granularity != nullptr) *granularity = 0;
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::canSampleRate(double rate) {
  if (AsioResult result = checkServer(); result != platform::kAsioOk) return result;
  return rate == static_cast<double>(jack_get_sample_rate(client_)) ? platform::kAsioOk
                                                                    : platform::kAsioNoClock;
}

AsioResult JackAsioDriver::getSampleRate(double* rate) {
  if (AsioResult result = checkServer(); result != platform::kAsioOk) return result;
  if (rate == nullptr) return platform::kAsioInvalidParameter;
  *rate = static_cast<double>(jack_get_sample_rate(client_));
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::setSampleRate(double rate) {
  if (AsioResult result = checkServer(); result != platform::kAsioOk) return result;
  if (canSampleRate(rate) == platform::kAsioOk) return platform::kAsioOk;
  char text[sizeof error_];
  std::snprintf(text, sizeof text, "The JACK server runs at %u Hz, not %.0f Hz",
                static_cast<unsigned>(jack_get_sample_rate(client_)), rate);
  return fail(platform::kAsioNoClock, text);
}

AsioResult JackAsioDriver::getChannelInfo(platform::AsioChannelInfo* info) {
  if (client_ == nullptr) return platform::kAsioNotPresent;
  if (info == nullptr) return platform::kAsioInvalidParameter;
  const std::vector<PhysicalPort>& ports = physicalPorts(info->isInput != 0);
  if (info->channel < 0 || info->channel >= static_cast<int32_t>(ports.size())) {
    return platform::kAsioInvalidParameter;
  }
  copyText(info->name, sizeof info->name, ports[info->channel].channelName.c_str());
  info->isActive = std::any_of(channels_.begin(), channels_.end(), [info](const Channel& c) {
    return c.isInput == (info->isInput != 0) && c.number == info->channel;
  });
  info->channelGroup = 0;
  info->type = platform::kFloat32Lsb;
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::createBuffers(platform::AsioBufferInfo* infos, int32_t count,
                                         int32_t bufferSize,
                                         const platform::AsioCallbacks* callbacks) {
  if (AsioResult result = checkServer(); result != platform::kAsioOk) return result;
  if (frames_ != 0) return fail(platform::kAsioInvalidMode, "The buffers already exist");
  if (infos == nullptr || count <= 0 || callbacks == nullptr ||
      callbacks->bufferSwitch == nullptr) {
    return fail(platform::kAsioInvalidParameter, "No channels or no buffer switch given");
  }
  const auto period = static_cast<int32_t>(jack_get_buffer_size(client_));
  if (bufferSize != period) {
    char text[sizeof error_];
    std::snprintf(text, sizeof text, "The buffer size must be the JACK period, %d frames",
                  static_cast<int>(period));
    return fail(platform::kAsioInvalidMode, text);
  }
  for (int32_t i = 0; i < count; ++i) {
    const bool isInput = infos[i].isInput != 0;
    const int32_t number = infos[i].channelNumber;
    const bool twice = std::any_of(infos, infos + i, [&](const platform::AsioBufferInfo& other) {
      return (other.isInput != 0) == isInput && other.channelNumber == number;
    });
    if (number < 0 || number >= static_cast<int32_t>(physicalPorts(isInput).size()) || twice) {
      return fail(platform::kAsioInvalidParameter, "A channel is out of range or given twice");
    }
  }

  try {
    channels_.reserve(count);
    for (int32_t i = 0; i < count; ++i) {
      Channel channel;
      channel.isInput = infos[i].isInput != 0;
      channel.number = infos[i].channelNumber;
      channel.halves.reset(new float[2 * static_cast<size_t>(bufferSize)]());
      char portName[32];
      std::snprintf(portName, sizeof portName, "%s_%d", channel.isInput ? "in" : "out",
                    static_cast<int>(channel.number + 1));
      channel.port = jack_port_register(client_, portName, JACK_DEFAULT_AUDIO_TYPE,
                                        channel.isInput ? JackPortIsInput : JackPortIsOutput, 0);
      if (channel.port == nullptr) {
        unregisterPorts();
        return fail(platform::kAsioHardwareMalfunction, "The JACK server refused a port");
      }
      channels_.push_back(std::move(channel));
    }
  } catch (const std::bad_alloc&) {
    unregisterPorts();
    return fail(platform::kAsioNoMemory, "Out of memory for the channel buffers");
  }

  for (int32_t i = 0; i < count; ++i) {
    float* halves = channels_[i].halves.get();
    infos[i].buffers[0] = halves;
    infos[i].buffers[1] = halves + bufferSize;
  }
  frames_ = bufferSize;
  callbacks_ = *callbacks;
  message_.store(callbacks->message, std::memory_order_relaxed);
  rateChanged_.store(callbacks->sampleRateDidChange, std::memory_order_relaxed);
  createdRate_.store(jack_get_sample_rate(client_), std::memory_order_relaxed);
  resetRequested_.store(false, std::memory_order_relaxed);
  createdFrames_.store(bufferSize, std::memory_order_release);
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::disposeBuffers() {
  if (client_ == nullptr) return platform::kAsioNotPresent;
  if (frames_ == 0) return fail(platform::kAsioInvalidMode, "No buffers to dispose");
  stop();
  createdFrames_.store(0, std::memory_order_relaxed);
  message_.store(nullptr, std::memory_order_relaxed);
  rateChanged_.store(nullptr, std::memory_order_relaxed);
  frames_ = 0;
  callbacks_ = {};
  unregisterPorts();
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::controlPanel() {
  return fail(platform::kAsioNotPresent,
              "JACK has no control panel here; set the period and rate on the server");
}

AsioResult JackAsioDriver::outputReady() {
  return platform::kAsioNotPresent;
}

int JackAsioDriver::onProcess(jack_nframes_t frames, void* self) {
  auto& driver = *static_cast<JackAsioDriver*>(self);
  // Sequentially consistent with stop(): either stop sees this cycle, or this cycle sees the
  // switches closed.
  driver.inCycle_.store(true);
  if (driver.switchesOpen_.load()) {
    if (static_cast<int32_t>(frames) == driver.frames_) {
      driver.runSwitch(frames);
    } else {
      // After a period change the halves no longer fit; silence until the host reopens.
      driver.silenceOutputs(frames);
    }
  }
  driver.inCycle_.store(false, std::memory_order_release);
  return 0;
}

void JackAsioDriver::runSwitch(jack_nframes_t frames) {
  const size_t bytes = sizeof(float) * frames;
  const size_t offset = static_cast<size_t>(half_) * frames;
  for (const Channel& channel : channels_) {
    if (channel.isInput) {
      std::memcpy(channel.halves.get() + offset, jack_port_get_buffer(channel.port, frames), bytes);
    }
  }
  callbacks_.bufferSwitch(half_, 1);
  for (const Channel& channel : channels_) {
    if (!channel.isInput) {
      std::memcpy(jack_port_get_buffer(channel.port, frames), channel.halves.get() + offset, bytes);
    }
  }
  half_ ^= 1;
}

int JackAsioDriver::onBufferSize(jack_nframes_t frames, void* self) {
  auto& driver = *static_cast<JackAsioDriver*>(self);
  const int32_t created = driver.createdFrames_.load(std::memory_order_acquire);
  if (created != 0 && static_cast<int32_t>(frames) != created) driver.requestReset();
  return 0;
}

int JackAsioDriver::onSampleRate(jack_nframes_t rate, void* self) {
  auto& driver = *static_cast<JackAsioDriver*>(self);
  if (driver.createdFrames_.load(std::memory_order_acquire) == 0) return 0;
  if (rate == driver.createdRate_.load(std::memory_order_relaxed)) return 0;
  if (RateCallback rateChanged = driver.rateChanged_.load(std::memory_order_relaxed)) {
    rateChanged(static_cast<double>(rate));
  }
  driver.requestReset();
  return 0;
}

void JackAsioDriver::onShutdown(jack_status_t /*code*/, const char* /*reason*/, void* self) {
  static_cast<JackAsioDriver*>(self)->serverGone_.store(true, std::memory_order_relaxed);
}

void JackAsioDriver::silenceOutputs(jack_nframes_t frames) {
  for (const Channel& channel : channels_) {
    if (!channel.isInput) {
      std::memset(jack_port_get_buffer(channel.port, frames), 0, sizeof(float) * frames);
    }
  }
}

void JackAsioDriver::requestReset() {
  if (resetRequested_.exchange(true, std::memory_order_relaxed)) return;
  MessageCallback message = message_.load(std::memory_order_relaxed);
  if (message == nullptr) return;
  if (message(platform::kSelectorSupported, platform::kResetRequest, nullptr, nullptr) == 1) {
    message(platform::kResetRequest, 0, nullptr, nullptr);
  }
}

AsioResult JackAsioDriver::checkServer() {
  if (client_ == nullptr) return fail(platform::kAsioNotPresent, "The driver is not initialised");
  if (serverGone_.load(std::memory_order_relaxed)) {
    return fail(platform::kAsioHardwareMalfunction, "The JACK server has shut down");
  }
  return platform::kAsioOk;
}

AsioResult JackAsioDriver::fail(AsioResult code, const char* text) {
  copyText(error_, sizeof error_, text);
  return code;
}

const std::vector<JackAsioDriver::PhysicalPort>& JackAsioDriver::physicalPorts(bool isInput) const {
  return isInput ? capturePorts_ : playbackPorts_;
}

void JackAsioDriver::unregisterPorts() {
  // A server that has shut down has taken the ports with it.
  const bool serverUp = !serverGone_.load(std::memory_order_relaxed);
  for (const Channel& channel : channels_) {
    if (serverUp) jack_port_unregister(client_, channel.port);
  }
  channels_.clear();
}

}  // namespace jackdriver
