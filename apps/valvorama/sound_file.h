#pragma once

#include <memory>
#include <string>
#include <vector>

// A sound file in any format libsndfile reads, read a block at a time as interleaved 32-bit
// float frames. Problems throw CliError naming the file and the reason.
class SoundFileReader {
 public:
  // The sample rates the amp is built for; files at other rates are refused.
  static constexpr int kMinSampleRate = 8000;
  static constexpr int kMaxSampleRate = 384000;

  explicit SoundFileReader(const std::string& path);
  ~SoundFileReader();
  SoundFileReader(const SoundFileReader&) = delete;
  SoundFileReader& operator=(const SoundFileReader&) = delete;

  int sampleRate() const { return sampleRate_; }
  int channels() const { return channels_; }
  // As the file's header gives it.
  long frames() const { return frames_; }
  // Up to `frames` frames; fewer only at the end of the file.
  long read(float* interleaved, long frames);

 private:
  struct Handle;
  std::string path_;
  std::unique_ptr<Handle> handle_;
  int sampleRate_ = 0;
  int channels_ = 0;
  long frames_ = 0;
  // The file is read in large pieces: a system call per small block costs more than the amp.
  std::vector<float> buffer_;
  long buffered_ = 0;  // frames in buffer_
  long taken_ = 0;     // of which handed out
};

// Writes a sound file without ever leaving a half-written OUTPUT: the frames go to a new
// version beside it (framework::ReplacementFile), which commit() puts in place; a writer dropped
// uncommitted leaves nothing behind. A device node or FIFO is written in place. The format
// follows the extension as libsndfile offers it (24-bit where the format has it; Vorbis for
// .ogg); a name without one is WAV, an extension of no format we write is refused.
class SoundFileWriter {
 public:
  SoundFileWriter(const std::string& path, int sampleRate, int channels);
  ~SoundFileWriter();
  SoundFileWriter(const SoundFileWriter&) = delete;
  SoundFileWriter& operator=(const SoundFileWriter&) = delete;

  void write(const float* interleaved, long frames);
  void commit();

 private:
  void flush();

  struct Handle;
  std::string path_;
  std::unique_ptr<Handle> handle_;
  int channels_;
  std::vector<float> buffer_;  // written in large pieces, as the reader reads
  long buffered_ = 0;          // frames
};
