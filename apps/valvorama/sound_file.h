#pragma once

#include <memory>
#include <string>
#include <vector>

// A whole sound file in memory: interleaved 32-bit float frames.
struct Audio {
  int sampleRate = 44100;
  int channels = 1;
  std::vector<float> samples;

  long frames() const { return channels > 0 ? long(samples.size()) / channels : 0; }
};

// Reads any format libsndfile reads; throws CliError naming the file and the reason.
Audio readSoundFile(const std::string& path);

// Writes a sound file without ever leaving a half-written OUTPUT: the frames go to a temporary
// file beside it, which commit() renames into place. Dropping an uncommitted writer removes the
// temporary. WAV (24-bit) unless the name ends in .flac (24-bit FLAC).
class SoundFileWriter {
 public:
  SoundFileWriter(const std::string& path, int sampleRate, int channels);
  ~SoundFileWriter();
  SoundFileWriter(const SoundFileWriter&) = delete;
  SoundFileWriter& operator=(const SoundFileWriter&) = delete;

  void write(const float* interleaved, long frames);
  void commit();

 private:
  struct Handle;
  std::string path_;
  std::string temporary_;
  std::unique_ptr<Handle> handle_;
};
