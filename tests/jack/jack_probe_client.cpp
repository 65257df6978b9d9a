#include "jack_probe_client.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "support/eventually.h"

namespace jacktest {

JackProbeClient::JackProbeClient(const std::string& name, int outputs, int inputs,
                                 size_t recordFrames)
    : recordings_(static_cast<size_t>(inputs), std::vector<float>(recordFrames)) {
  client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
  if (client_ == nullptr) return;
  bool portsMade = true;
  for (auto [ports, count, prefix, flag] :
       {std::tuple{&outputs_, outputs, "out_", JackPortIsOutput},
        {&inputs_, inputs, "in_", JackPortIsInput}}) {
    for (int i = 0; i < count; ++i) {
      const std::string port = prefix + std::to_string(i + 1);
      ports->push_back(jack_port_register(client_, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, flag, 0));
      portsMade = portsMade && ports->back() != nullptr;
    }
  }
  if (!portsMade || jack_set_process_callback(client_, &JackProbeClient::onProcess, this) != 0 ||
      jack_activate(client_) != 0) {
    jack_client_close(client_);
    client_ = nullptr;
  }
}

JackProbeClient::~JackProbeClient() {
  if (client_ != nullptr) jack_client_close(client_);
}

std::string JackProbeClient::portName(bool output, int index) const {
  return jack_port_name((output ? outputs_ : inputs_)[static_cast<size_t>(index)]);
}

void JackProbeClient::play(const std::vector<float>& signal, std::function<int64_t()> atStart) {
  signal_ = signal;
  atStart_ = std::move(atStart);
  playing_.store(true, std::memory_order_release);
}

bool JackProbeClient::waitRecorded(std::chrono::milliseconds limit) const {
  return testsupport::eventually([this] { return recordedAll_.load(std::memory_order_acquire); },
                                 limit);
}

int JackProbeClient::onProcess(jack_nframes_t frames, void* self) {
  auto& probe = *static_cast<JackProbeClient*>(self);
  const bool playing = probe.playing_.load(std::memory_order_acquire);
  if (playing && probe.played_ == 0 && probe.atStart_) {
    probe.startMark_.store(probe.atStart_(), std::memory_order_release);
  }
  const size_t from = playing ? std::min(probe.played_, probe.signal_.size()) : 0;
  const size_t count = playing ? std::min<size_t>(frames, probe.signal_.size() - from) : 0;
  for (jack_port_t* port : probe.outputs_) {
    auto* out = static_cast<float*>(jack_port_get_buffer(port, frames));
    std::memset(out, 0, sizeof(float) * frames);
    if (count > 0) std::memcpy(out, probe.signal_.data() + from, sizeof(float) * count);
  }
  if (!playing) return 0;
  probe.played_ += frames;
  if (!probe.recordings_.empty()) {
    const size_t total = probe.recordings_[0].size();
    const size_t take = std::min<size_t>(frames, total - probe.recorded_);
    for (size_t i = 0; i < probe.inputs_.size(); ++i) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(probe.inputs_[i], frames));
      std::memcpy(probe.recordings_[i].data() + probe.recorded_, in, sizeof(float) * take);
    }
    probe.recorded_ += take;
    if (probe.recorded_ == total) probe.recordedAll_.store(true, std::memory_order_release);
  }
  return 0;
}

}  // namespace jacktest
