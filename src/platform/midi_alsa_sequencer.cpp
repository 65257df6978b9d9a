#include "platform/midi_alsa_sequencer.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/alsa_errors.h"
#include "platform/midi_parser.h"

namespace platform {
namespace {

// How long the reader sleeps between looks at its stop flag.
constexpr int kPollMs = 50;
// Decoded events larger than this are system-exclusive, which no input delivers.
constexpr long kDecodeBytes = 256;
// The largest piece of a system-exclusive message sent as one event.
constexpr size_t kEncodeBytes = 1024;
// The kernel's loop-back client, present on every machine with a sequencer. It comes last, so
// that a name not in the list ("Default") opens a controller when one is plugged in.
constexpr const char* kThroughClientName = "Midi Through";

struct SequencerCloser {
  void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
struct CoderFree {
  void operator()(snd_midi_event_t* coder) const { snd_midi_event_free(coder); }
};
using Sequencer = std::unique_ptr<snd_seq_t, SequencerCloser>;
using MidiCoder = std::unique_ptr<snd_midi_event_t, CoderFree>;

// Non-blocking, so no call waits on a full queue.
Sequencer openSequencer(int streams) {
  silenceAlsaErrors();
  snd_seq_t* seq = nullptr;
  if (snd_seq_open(&seq, "default", streams, SND_SEQ_NONBLOCK) < 0) return nullptr;
  return Sequencer(seq);
}

struct Connection {
  Sequencer seq;
  int port = -1;
};

// Our client with one port, connected from the port at `address` for an input and to it for an
// output.
Connection connect(const std::string& address, bool isInput) {
  Connection connection{openSequencer(isInput ? SND_SEQ_OPEN_INPUT : SND_SEQ_OPEN_OUTPUT)};
  snd_seq_t* seq = connection.seq.get();
  snd_seq_addr_t other{};
  if (seq == nullptr || snd_seq_parse_address(seq, &other, address.c_str()) < 0) return {};
  snd_seq_set_client_name(seq, MidiAlsaSequencer::kClientName);
  const unsigned caps = isInput ? SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE
                                : SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
  const int port =
      snd_seq_create_simple_port(seq, isInput ? "midi_in" : "midi_out", caps,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) return {};
  const int connected = isInput ? snd_seq_connect_from(seq, port, other.client, other.port)
                                : snd_seq_connect_to(seq, port, other.client, other.port);
  if (connected < 0) return {};
  connection.port = port;
  return connection;
}

MidiCoder newCoder(size_t bytes) {
  snd_midi_event_t* coder = nullptr;
  if (snd_midi_event_new(bytes, &coder) < 0) return nullptr;
  return MidiCoder(coder);
}

// A reader thread polls the client with a time-out, so closing never waits on the sequencer.
class AlsaMidiInput final : public MidiInput {
 public:
  AlsaMidiInput(MidiInputCallback callback, void* instance)
      : callback_(callback), instance_(instance) {}
  ~AlsaMidiInput() override {
    quit_.store(true, std::memory_order_relaxed);
    if (reader_.joinable()) reader_.join();
  }

  bool open(const std::string& address) {
    connection_ = connect(address, true);
    decoder_ = newCoder(kDecodeBytes);
    if (!connection_.seq || !decoder_) return false;
    // Every decoded message carries its status byte.
    snd_midi_event_no_status(decoder_.get(), 1);
    try {
      reader_ = std::thread(&AlsaMidiInput::read, this);
    } catch (const std::system_error&) {
      return false;  // no thread to be had: no MIDI, the amp plays on
    }
    return true;
  }

  bool start() override {
    started_.store(true, std::memory_order_relaxed);
    return true;
  }
  void stop() override { started_.store(false, std::memory_order_relaxed); }

 private:
  void read() {
    snd_seq_t* seq = connection_.seq.get();
    std::vector<pollfd> fds(snd_seq_poll_descriptors_count(seq, POLLIN));
    snd_seq_poll_descriptors(seq, fds.data(), fds.size(), POLLIN);
    while (!quit_.load(std::memory_order_relaxed)) {
      const int ready = poll(fds.data(), fds.size(), kPollMs);
      if (ready < 0 && errno != EINTR) return;
      for (const pollfd& fd : fds) {
        if (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) return;
      }
      if (ready <= 0) continue;
      snd_seq_event_t* event = nullptr;
      int result = 0;
      // -ENOSPC reports input lost to an overrun; what follows is still there.
      while ((result = snd_seq_event_input(seq, &event)) >= 0 || result == -ENOSPC) {
        if (result >= 0 && event != nullptr) deliver(*event);
      }
    }
  }

  void deliver(const snd_seq_event_t& event) {
    unsigned char bytes[kDecodeBytes];
    const long count = snd_midi_event_decode(decoder_.get(), bytes, kDecodeBytes, &event);
    const bool started = started_.load(std::memory_order_relaxed);
    for (long b = 0; b < count; ++b) {
      uint32_t message = 0;
      if (parser_.feed(bytes[b], message) && started) callback_(instance_, message);
    }
  }

  MidiInputCallback callback_;
  void* instance_;
  Connection connection_;
  MidiCoder decoder_;
  MidiParser parser_;  // reader thread
  std::atomic<bool> started_{false};
  std::atomic<bool> quit_{false};
  std::thread reader_;
};

class AlsaMidiOutput final : public MidiOutput {
 public:
  bool open(const std::string& address) {
    connection_ = connect(address, false);
    encoder_ = newCoder(kEncodeBytes);
    return connection_.seq && encoder_;
  }

  bool sendShort(uint32_t shortMessage) override {
    const uint8_t bytes[3] = {static_cast<uint8_t>(shortMessage),
                              static_cast<uint8_t>(shortMessage >> 8),
                              static_cast<uint8_t>(shortMessage >> 16)};
    const int length = MidiParser::dataLength(bytes[0]);
    return length >= 0 && sendLong(bytes, static_cast<size_t>(length) + 1);
  }

  bool sendLong(const uint8_t* bytes, size_t count) override {
    snd_midi_event_reset_encode(encoder_.get());
    bool sent = count > 0;
    for (size_t b = 0; b < count; ++b) {
      snd_seq_event_t event;
      snd_seq_ev_clear(&event);
      const int complete = snd_midi_event_encode_byte(encoder_.get(), bytes[b], &event);
      if (complete < 0) sent = false;
      if (complete != 1) continue;
      snd_seq_ev_set_source(&event, connection_.port);
      snd_seq_ev_set_subs(&event);
      snd_seq_ev_set_direct(&event);
      if (snd_seq_event_output_direct(connection_.seq.get(), &event) < 0) sent = false;
    }
    return sent;
  }

 private:
  Connection connection_;
  MidiCoder encoder_;
};

}  // namespace

std::vector<MidiPortInfo> MidiAlsaSequencer::listPorts(bool isInput) {
  const Sequencer seq = openSequencer(SND_SEQ_OPEN_DUPLEX);
  if (!seq) return {};
  const unsigned wanted = isInput ? SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                  : SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
  snd_seq_client_info_t* client = nullptr;
  snd_seq_port_info_t* port = nullptr;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  std::vector<MidiPortInfo> ports;
  std::vector<MidiPortInfo> through;
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq.get(), client) >= 0) {
    const int id = snd_seq_client_info_get_client(client);
    if (id == SND_SEQ_CLIENT_SYSTEM || snd_seq_client_info_get_pid(client) == getpid()) continue;
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq.get(), port) >= 0) {
      const unsigned caps = snd_seq_port_info_get_capability(port);
      if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) continue;
      const std::string clientName = snd_seq_client_info_get_name(client);
      (clientName == kThroughClientName ? through : ports)
          .push_back({clientName + ":" + snd_seq_port_info_get_name(port),
                      std::to_string(id) + ":" + std::to_string(snd_seq_port_info_get_port(port))});
    }
  }
  ports.insert(ports.end(), through.begin(), through.end());
  return ports;
}

std::unique_ptr<MidiInput> MidiAlsaSequencer::openInput(const std::string& id,
                                                        MidiInputCallback callback,
                                                        void* instance) {
  auto input = std::make_unique<AlsaMidiInput>(callback, instance);
  if (!input->open(id)) return nullptr;
  return input;
}

std::unique_ptr<MidiOutput> MidiAlsaSequencer::openOutput(const std::string& id) {
  auto output = std::make_unique<AlsaMidiOutput>();
  if (!output->open(id)) return nullptr;
  return output;
}

}  // namespace platform
