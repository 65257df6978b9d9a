#include "demo_jack_client.h"

#include <algorithm>
#include <cstring>

DemoJackClient::DemoJackClient(const std::string& name, int outputs, int inputs,
                               size_t recordFrames)
    : recordings_(size_t(inputs), std::vector<float>(recordFrames)) {
  jack_status_t status{};
  client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (client_ == nullptr) {
    error_ = "cannot join the JACK server (status 0x" + std::to_string(unsigned(status)) + ")";
    return;
  }
  for (int i = 0; i < outputs; ++i) {
    const std::string port = "out_" + std::to_string(i + 1);
    outputs_.push_back(
        jack_port_register(client_, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
  }
  for (int i = 0; i < inputs; ++i) {
    const std::string port = "in_" + std::to_string(i + 1);
    inputs_.push_back(
        jack_port_register(client_, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
  }
  const bool portsMade = std::count(outputs_.begin(), outputs_.end(), nullptr) == 0 &&
                         std::count(inputs_.begin(), inputs_.end(), nullptr) == 0;
  if (!portsMade || jack_set_process_callback(client_, &DemoJackClient::onProcess, this) != 0 ||
      jack_set_xrun_callback(client_, &DemoJackClient::onXrun, this) != 0 ||
      jack_activate(client_) != 0) {
    error_ = "cannot register and activate the ports of " + name;
    jack_client_close(client_);
    client_ = nullptr;
  }
}

DemoJackClient::~DemoJackClient() {
  if (client_ != nullptr) jack_client_close(client_);
}

std::string DemoJackClient::outputName(int index) const {
  return jack_port_name(outputs_[size_t(index)]);
}

std::string DemoJackClient::inputName(int index) const {
  return jack_port_name(inputs_[size_t(index)]);
}

void DemoJackClient::play(const std::vector<float>& signal) {
  signal_ = &signal;
  playing_.store(true, std::memory_order_release);
}

void DemoJackClient::record() {
  recording_.store(true, std::memory_order_release);
}

void DemoJackClient::stopRecording() {
  recording_.store(false, std::memory_order_release);
}

int DemoJackClient::onProcess(jack_nframes_t frames, void* self) {
  auto& c = *static_cast<DemoJackClient*>(self);
  const auto now = int64_t(jack_last_frame_time(c.client_));
  const bool playing = c.playing_.load(std::memory_order_acquire);
  if (playing && c.played_ == 0) c.startFrame_.store(now, std::memory_order_release);
  const size_t length = playing ? c.signal_->size() : 0;
  const size_t from = std::min(c.played_, length);
  const size_t count = std::min<size_t>(frames, length - from);
  for (jack_port_t* port : c.outputs_) {
    auto* out = static_cast<float*>(jack_port_get_buffer(port, frames));
    std::memset(out, 0, sizeof(float) * frames);
    if (count > 0) std::memcpy(out, c.signal_->data() + from, sizeof(float) * count);
  }
  if (playing) {
    c.played_ += frames;
    if (c.played_ >= length) c.playedAll_.store(true, std::memory_order_release);
  }

  if (c.recording_.load(std::memory_order_acquire) && !c.recordings_.empty()) {
    const size_t done = c.recordedCount_.load(std::memory_order_relaxed);
    if (done == 0) c.startFrame_.store(now, std::memory_order_release);
    const size_t take = std::min<size_t>(frames, c.recordings_[0].size() - done);
    for (size_t i = 0; i < c.inputs_.size(); ++i) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(c.inputs_[i], frames));
      std::memcpy(c.recordings_[i].data() + done, in, sizeof(float) * take);
    }
    c.recordedCount_.store(done + take, std::memory_order_release);
  }
  return 0;
}

int DemoJackClient::onXrun(void* self) {
  auto& c = *static_cast<DemoJackClient*>(self);
  if (c.recording_.load(std::memory_order_relaxed) || c.playing_.load(std::memory_order_relaxed))
    c.xruns_.fetch_add(1, std::memory_order_relaxed);
  return 0;
}
