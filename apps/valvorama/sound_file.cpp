#include "sound_file.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli_error.h"
#include "framework/replacement_file.h"

namespace {

// Samples per read or write of the file.
constexpr long kPieceSamples = 1 << 16;

// libsndfile's text for the last error, without its "Error : " and with a real reason where it
// has none to give.
std::string reason(SNDFILE* file) {
  if (file && sf_error(file) == SF_ERR_NO_ERROR) {
    return errno != 0 ? std::strerror(errno) : "the encoder failed";
  }
  std::string text = sf_strerror(file);
  if (text.rfind("Error : ", 0) == 0) text.erase(0, 8);
  while (!text.empty() && (text.back() == '.' || text.back() == '\n'))
    text.pop_back();
  return text;
}

std::string lowercase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Extensions libsndfile does not list for formats it writes.
struct Alias {
  const char* extension;
  int major;
  int subtype;  // 0: the first of kSubtypes the format takes
};
constexpr Alias kAliases[] = {{"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
                              {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
                              {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},
                              {"aif", SF_FORMAT_AIFF, 0},
                              {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III}};
constexpr int kSubtypes[] = {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_FLOAT,
                             SF_FORMAT_VORBIS, SF_FORMAT_PCM_U8, SF_FORMAT_PCM_S8};

// The format for `path`, or a CliError naming the extensions there are.
int outputFormat(const std::string& path, int sampleRate, int channels) {
  const std::string extension = lowercase(std::filesystem::path(path).extension().string());
  int major = extension.empty() ? SF_FORMAT_WAV : 0;
  int subtype = 0;
  std::string known;
  for (const Alias& alias : kAliases) {
    if (major == 0 && extension == std::string(".") + alias.extension) {
      major = alias.major;
      subtype = alias.subtype;
    }
    known += std::string(known.empty() ? "" : ", ") + alias.extension;
  }
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0) continue;
    if (major == 0 && extension == std::string(".") + info.extension) major = info.format;
    if ((", " + known + ", ").find(std::string(", ") + info.extension + ", ") ==
        std::string::npos) {
      known += std::string(", ") + info.extension;
    }
  }
  if (major == 0) {
    throw CliError("cannot write '" + path + "': no sound format has the extension '" + extension +
                   "' (" + known + ")");
  }
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  for (int candidate : kSubtypes) {
    if (subtype != 0) break;
    info.format = major | candidate;
    if (sf_format_check(&info)) subtype = candidate;
  }
  info.format = major | subtype;
  if (subtype == 0 || !sf_format_check(&info)) {
    throw CliError("cannot write '" + path + "': its format cannot hold " +
                   std::to_string(channels) + " channels");
  }
  return info.format;
}

// libsndfile writes in pieces of a few KiB, a system call each; this gathers them into large
// writes to a regular file. Every seek or read (the header, at the end) writes out first.
class GatheredOutput {
 public:
  explicit GatheredOutput(int fd) : fd_(fd) { pending_.reserve(kGather); }

  SF_VIRTUAL_IO* io() {
    static SF_VIRTUAL_IO calls{&GatheredOutput::length, &GatheredOutput::seek,
                               &GatheredOutput::read, &GatheredOutput::write,
                               &GatheredOutput::tell};
    return &calls;
  }

  bool flush() {
    size_t done = 0;
    while (done < pending_.size()) {
      const ssize_t n = ::pwrite(fd_, pending_.data() + done, pending_.size() - done,
                                 static_cast<off_t>(start_ + static_cast<sf_count_t>(done)));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    start_ += static_cast<sf_count_t>(done);
    pending_.clear();
    return true;
  }

 private:
  static constexpr size_t kGather = 1 << 18;

  static GatheredOutput& of(void* self) { return *static_cast<GatheredOutput*>(self); }
  sf_count_t position() const { return start_ + static_cast<sf_count_t>(pending_.size()); }

  static sf_count_t length(void* self) {
    struct stat st {};
    if (::fstat(of(self).fd_, &st) != 0) return -1;
    return std::max<sf_count_t>(st.st_size, of(self).position());
  }
  static sf_count_t seek(sf_count_t offset, int whence, void* self) {
    GatheredOutput& out = of(self);
    const sf_count_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? out.position()
                                                 : length(self);
    if (!out.flush() || base < 0 || base + offset < 0) return -1;
    out.start_ = base + offset;
    return out.start_;
  }
  static sf_count_t read(void* ptr, sf_count_t count, void* self) {
    GatheredOutput& out = of(self);
    if (!out.flush()) return 0;
    const ssize_t n = ::pread(out.fd_, ptr, static_cast<size_t>(count), out.start_);
    if (n <= 0) return 0;
    out.start_ += n;
    return n;
  }
  static sf_count_t write(const void* ptr, sf_count_t count, void* self) {
    GatheredOutput& out = of(self);
    const char* bytes = static_cast<const char*>(ptr);
    out.pending_.insert(out.pending_.end(), bytes, bytes + count);
    if (out.pending_.size() >= kGather && !out.flush()) return 0;
    return count;
  }
  static sf_count_t tell(void* self) { return of(self).position(); }

  int fd_;
  sf_count_t start_ = 0;  // where the pending bytes go in the file
  std::vector<char> pending_;
};

}  // namespace

struct SoundFileReader::Handle {
  SNDFILE* file = nullptr;
  ~Handle() {
    if (file) sf_close(file);
  }
};

SoundFileReader::SoundFileReader(const std::string& path)
    : path_(path), handle_(std::make_unique<Handle>()) {
  SF_INFO info{};
  handle_->file = sf_open(path.c_str(), SFM_READ, &info);
  std::error_code ec;
  if (!handle_->file && std::filesystem::is_directory(path, ec)) {
    throw CliError("cannot read '" + path + "': it is a folder");
  }
  if (!handle_->file) throw CliError("cannot read '" + path + "': " + reason(nullptr));
  if (info.channels < 1 || info.frames < 0) {
    throw CliError("cannot read '" + path + "': not a sound file it can read");
  }
  if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate) {
    throw CliError("cannot read '" + path + "': its sample rate of " +
                   std::to_string(info.samplerate) + " Hz is outside " +
                   std::to_string(kMinSampleRate) + "-" + std::to_string(kMaxSampleRate) + " Hz");
  }
  sampleRate_ = info.samplerate;
  channels_ = info.channels;
  frames_ = static_cast<long>(info.frames);
  buffer_.resize(static_cast<size_t>(std::max(1L, kPieceSamples / channels_) * channels_));
}

SoundFileReader::~SoundFileReader() = default;

long SoundFileReader::read(float* interleaved, long frames) {
  long done = 0;
  while (done < frames) {
    if (taken_ == buffered_) {
      const long piece = static_cast<long>(buffer_.size()) / channels_;
      buffered_ = static_cast<long>(sf_readf_float(handle_->file, buffer_.data(), piece));
      taken_ = 0;
      if (buffered_ < piece && sf_error(handle_->file) != SF_ERR_NO_ERROR) {
        throw CliError("cannot read '" + path_ + "': " + reason(handle_->file));
      }
      if (buffered_ <= 0) break;
    }
    const long n = std::min(frames - done, buffered_ - taken_);
    std::copy_n(&buffer_[static_cast<size_t>(taken_ * channels_)], n * channels_,
                interleaved + done * channels_);
    taken_ += n;
    done += n;
  }
  return done;
}

struct SoundFileWriter::Handle {
  framework::ReplacementFile file;  // dropped after the encoder that writes to it
  std::unique_ptr<GatheredOutput> gathered;  // for a regular file
  SNDFILE* sound = nullptr;
  ~Handle() {
    if (sound) sf_close(sound);
  }
};

SoundFileWriter::SoundFileWriter(const std::string& path, int sampleRate, int channels)
    : path_(path),
      handle_(std::make_unique<Handle>()),
      channels_(channels),
      buffer_(static_cast<size_t>(std::max(1L, kPieceSamples / channels) * channels)) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = outputFormat(path, sampleRate, channels);
  if (!handle_->file.open(path)) {
    throw CliError("cannot write '" + path + "': " + std::strerror(errno));
  }
  errno = 0;
  const int fd = handle_->file.descriptor();
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    handle_->gathered = std::make_unique<GatheredOutput>(fd);
    handle_->sound = sf_open_virtual(handle_->gathered->io(), SFM_WRITE, &info,
                                     handle_->gathered.get());
  } else {
    handle_->sound = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  }
  if (!handle_->sound) throw CliError("cannot write '" + path + "': " + reason(nullptr));
  // Beyond full scale the integer formats would wrap around; clip like a converter does.
  sf_command(handle_->sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

SoundFileWriter::~SoundFileWriter() = default;

void SoundFileWriter::write(const float* interleaved, long frames) {
  const long piece = static_cast<long>(buffer_.size()) / channels_;
  while (frames > 0) {
    const long n = std::min(frames, piece - buffered_);
    std::copy_n(interleaved, n * channels_, &buffer_[static_cast<size_t>(buffered_ * channels_)]);
    buffered_ += n;
    interleaved += n * channels_;
    frames -= n;
    if (buffered_ == piece) flush();
  }
}

void SoundFileWriter::flush() {
  errno = 0;
  if (sf_writef_float(handle_->sound, buffer_.data(), buffered_) != buffered_) {
    throw CliError("cannot write '" + path_ + "': " + reason(handle_->sound));
  }
  buffered_ = 0;
}

void SoundFileWriter::commit() {
  flush();
  errno = 0;
  int closed = sf_close(handle_->sound);
  handle_->sound = nullptr;
  if (handle_->gathered && !handle_->gathered->flush()) closed = -1;
  if (closed != 0 || !handle_->file.commit()) {
    handle_->file.discard();
    throw CliError("cannot write '" + path_ +
                   "': " + (errno != 0 ? std::strerror(errno) : "the encoder failed"));
  }
}
