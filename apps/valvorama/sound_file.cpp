#include "sound_file.h"

#include <sndfile.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "cli_error.h"

namespace {

// Longer inputs than this are refused rather than exhausting memory (an hour of 8 channels
// at 192 kHz).
constexpr sf_count_t kMaxSamples = sf_count_t(192000) * 3600 * 8;

bool endsWith(const std::string& s, const char* suffix) {
  const std::string tail(suffix);
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

Audio readSoundFile(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) throw CliError("cannot read '" + path + "': " + sf_strerror(nullptr));
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0 ||
      info.frames * info.channels > kMaxSamples) {
    sf_close(file);
    throw CliError("cannot read '" + path + "': unsupported or oversized sound file");
  }
  Audio audio;
  audio.sampleRate = info.samplerate;
  audio.channels = info.channels;
  audio.samples.resize(size_t(info.frames) * info.channels);
  const sf_count_t read = sf_readf_float(file, audio.samples.data(), info.frames);
  sf_close(file);
  if (read < 0) throw CliError("cannot read '" + path + "': read error");
  audio.samples.resize(size_t(read) * info.channels);
  return audio;
}

struct SoundFileWriter::Handle {
  SNDFILE* file = nullptr;
};

SoundFileWriter::SoundFileWriter(const std::string& path, int sampleRate, int channels)
    : path_(path), handle_(std::make_unique<Handle>()) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = endsWith(path, ".flac") ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_24)
                                        : (SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  // The temporary keeps OUTPUT's folder so the final rename stays on one file system.
  temporary_ = path + ".part" + std::to_string(::getpid());
  handle_->file = sf_open(temporary_.c_str(), SFM_WRITE, &info);
  if (!handle_->file) {
    throw CliError("cannot write '" + path + "': " + sf_strerror(nullptr));
  }
  // Beyond full scale the integer formats would wrap around; clip like a converter does.
  sf_command(handle_->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

SoundFileWriter::~SoundFileWriter() {
  if (handle_->file) {
    sf_close(handle_->file);
    std::remove(temporary_.c_str());
  }
}

void SoundFileWriter::write(const float* interleaved, long frames) {
  if (sf_writef_float(handle_->file, interleaved, frames) != frames) {
    throw CliError("cannot write '" + path_ + "': " + sf_strerror(handle_->file));
  }
}

void SoundFileWriter::commit() {
  const int closed = sf_close(handle_->file);
  handle_->file = nullptr;
  if (closed != 0 || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    std::remove(temporary_.c_str());
    throw CliError("cannot write '" + path_ + "'");
  }
}
