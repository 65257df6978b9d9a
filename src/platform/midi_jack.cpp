#include "platform/midi_jack.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/jack_messages.h"
#include "platform/midi_parser.h"

namespace platform {
namespace {

// What a send may queue between two process cycles.
constexpr size_t kOutputQueueBytes = 65536;

jack_client_t* openClient(const char* name) {
  silenceJackMessages();
  jack_status_t status{};
  return jack_client_open(name, JackNoStartServer, &status);
}

// A client with one MIDI port, active from open() to its destruction, whose process callback
// hands the port's buffer to its owner. The ports connected to it when it closes are connected
// again when the next one opens, so closing and opening the device (a driver reset, the settings
// confirmed) keeps the controller the user patched in.
class JackMidiClient {
 public:
  using Process = void (*)(void* owner, void* portBuffer);

  JackMidiClient() = default;
  JackMidiClient(const JackMidiClient&) = delete;
  JackMidiClient& operator=(const JackMidiClient&) = delete;
  ~JackMidiClient() {
    // A client whose server has gone belongs to libjack: the next client opened anywhere in the
    // process (ours, the audio driver's, ALSA's jack device) closes and deletes it, so closing
    // it here as well could free it twice. That server runs no more callbacks.
    if (client_ == nullptr || serverGone()) return;
    rememberPeers();
    // Deactivating returns after the current cycle, so no callback outlives the client.
    jack_deactivate(client_);
    jack_client_close(client_);
  }

  bool open(const char* clientName, const char* portName, JackPortFlags flags, Process process,
            void* owner, std::shared_ptr<MidiJack::Peers> peers) {
    process_ = process;
    owner_ = owner;
    peers_ = std::move(peers);
    client_ = openClient(clientName);
    if (client_ == nullptr) return false;
    port_ = jack_port_register(client_, portName, JACK_DEFAULT_MIDI_TYPE, flags, 0);
    if (port_ == nullptr || jack_set_process_callback(client_, &onProcess, this) != 0) return false;
    jack_on_info_shutdown(client_, &onShutdown, this);
    // Only an active client's port can be connected.
    if (jack_activate(client_) != 0) return false;
    const char* own = jack_port_name(port_);
    for (const std::string& peer : *peers_) {
      if (flags & JackPortIsInput) {
        jack_connect(client_, peer.c_str(), own);
      } else {
        jack_connect(client_, own, peer.c_str());
      }
    }
    return true;
  }

  bool serverGone() const { return serverGone_.load(std::memory_order_relaxed); }

 private:
  void rememberPeers() {
    if (port_ == nullptr) return;
    peers_->clear();
    const char** ports = jack_port_get_connections(port_);
    for (const char** port = ports; port != nullptr && *port != nullptr; ++port)
      peers_->emplace_back(*port);
    jack_free(ports);
  }

  // Thread: JACK real-time thread.
  static int onProcess(jack_nframes_t frames, void* self) {
    auto* client = static_cast<JackMidiClient*>(self);
    client->process_(client->owner_, jack_port_get_buffer(client->port_, frames));
    return 0;
  }
  // Thread: any JACK thread, like a signal handler: only atomic words.
  static void onShutdown(jack_status_t, const char*, void* self) {
    static_cast<JackMidiClient*>(self)->serverGone_.store(true, std::memory_order_relaxed);
  }

  Process process_ = nullptr;
  void* owner_ = nullptr;
  std::shared_ptr<MidiJack::Peers> peers_;
  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  std::atomic<bool> serverGone_{false};
};

class JackMidiInput final : public MidiInput {
 public:
  JackMidiInput(MidiInputCallback callback, void* instance)
      : callback_(callback), instance_(instance) {}

  bool open(std::shared_ptr<MidiJack::Peers> peers) {
    return client_.open(MidiJack::kInputClientName, MidiJack::kInputPortName, JackPortIsInput,
                        &process, this, std::move(peers));
  }

  bool start() override {
    if (client_.serverGone()) return false;
    started_.store(true, std::memory_order_relaxed);
    return true;
  }
  void stop() override { started_.store(false, std::memory_order_relaxed); }

 private:
  // Every event goes through the parser, started or not, so running status stays in step.
  static void process(void* self, void* buffer) {
    auto* input = static_cast<JackMidiInput*>(self);
    const bool started = input->started_.load(std::memory_order_relaxed);
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t e = 0; e < count; ++e) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, e) != 0) continue;
      for (size_t b = 0; b < event.size; ++b) {
        uint32_t message = 0;
        if (input->parser_.feed(event.buffer[b], message) && started)
          input->callback_(input->instance_, message);
      }
    }
  }

  MidiInputCallback callback_;
  void* instance_;
  MidiParser parser_;  // real-time thread
  std::atomic<bool> started_{false};
  JackMidiClient client_;  // last: it goes first, and its callback uses the rest
};

struct RingDeleter {
  void operator()(jack_ringbuffer_t* ring) const { jack_ringbuffer_free(ring); }
};

// Sends go through a single-writer ring, each record a 32-bit length and the bytes; the process
// callback moves whole records into the port buffer.
class JackMidiOutput final : public MidiOutput {
 public:
  JackMidiOutput() : queue_(jack_ringbuffer_create(kOutputQueueBytes)) {}

  bool open(std::shared_ptr<MidiJack::Peers> peers) {
    return queue_ && client_.open(MidiJack::kOutputClientName, MidiJack::kOutputPortName,
                                  JackPortIsOutput, &process, this, std::move(peers));
  }

  bool sendShort(uint32_t shortMessage) override {
    const uint8_t bytes[3] = {static_cast<uint8_t>(shortMessage),
                              static_cast<uint8_t>(shortMessage >> 8),
                              static_cast<uint8_t>(shortMessage >> 16)};
    const int length = MidiParser::dataLength(bytes[0]);
    return length >= 0 && sendLong(bytes, static_cast<size_t>(length) + 1);
  }

  bool sendLong(const uint8_t* bytes, size_t count) override {
    const auto length = static_cast<uint32_t>(count);
    if (count == 0 || client_.serverGone() ||
        jack_ringbuffer_write_space(queue_.get()) < sizeof length + count) {
      return false;
    }
    jack_ringbuffer_write(queue_.get(), reinterpret_cast<const char*>(&length), sizeof length);
    jack_ringbuffer_write(queue_.get(), reinterpret_cast<const char*>(bytes), count);
    return true;
  }

 private:
  static void process(void* self, void* buffer) {
    jack_ringbuffer_t* queue = static_cast<JackMidiOutput*>(self)->queue_.get();
    jack_midi_clear_buffer(buffer);
    bool wroteAny = false;
    uint32_t length = 0;
    while (jack_ringbuffer_peek(queue, reinterpret_cast<char*>(&length), sizeof length) ==
               sizeof length &&
           jack_ringbuffer_read_space(queue) >= sizeof length + length) {
      jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, length);
      // Full: the rest waits a cycle. A record that does not fit an empty buffer never will.
      if (event == nullptr && wroteAny) break;
      jack_ringbuffer_read_advance(queue, sizeof length);
      if (event == nullptr) {
        jack_ringbuffer_read_advance(queue, length);
        continue;
      }
      jack_ringbuffer_read(queue, reinterpret_cast<char*>(event), length);
      wroteAny = true;
    }
  }

  std::unique_ptr<jack_ringbuffer_t, RingDeleter> queue_;
  JackMidiClient client_;  // last: it goes first, and its callback reads the ring
};

}  // namespace

std::vector<MidiPortInfo> MidiJack::listPorts(bool isInput) {
  jack_client_t* probe = openClient(isInput ? kInputClientName : kOutputClientName);
  if (probe == nullptr) return {};
  jack_client_close(probe);
  return {{kDeviceName, isInput ? kInputPortName : kOutputPortName}};
}

std::unique_ptr<MidiInput> MidiJack::openInput(const std::string& /*id*/,
                                               MidiInputCallback callback, void* instance) {
  auto input = std::make_unique<JackMidiInput>(callback, instance);
  if (!input->open(inputPeers_)) return nullptr;
  return input;
}

std::unique_ptr<MidiOutput> MidiJack::openOutput(const std::string& /*id*/) {
  auto output = std::make_unique<JackMidiOutput>();
  if (!output->open(outputPeers_)) return nullptr;
  return output;
}

}  // namespace platform
