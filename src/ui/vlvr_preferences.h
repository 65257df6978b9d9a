#pragma once

#include <cstdint>
#include <string>

namespace plugin {
class evaProcessor;
}

namespace ui {

// What the main window remembers between runs: the tuner's reference pitch, the panel skin and
// the last program. The file is an atoms file with the records `tune` (32-bit float, Hz),
// `skin` and `last` (signed 32-bit), read once at start and written once at close.
class vlvrPreferences {
 public:
  static constexpr const char* kFileName = "ValvoramaLive.prf";
  static constexpr float kDefaultReference = 440.0f;
  static constexpr int32_t kSkinCount = 8;
  static constexpr int32_t kProgramCount = 128;

  // Reads the records in order; one that is missing keeps its value, and so does one that
  // could not be used: a reference below 1 Hz or not a number, a skin outside 0..7, a program
  // outside 0..127. False (nothing changed) when the file is missing or not an atoms file.
  bool load(const std::string& path);
  // `program`: the program in force, remembered as the last one. Atomic; false on failure.
  bool save(const std::string& path, int32_t program) const;
  // The rack's tuner gets the reference in whole hertz and the last program becomes the
  // current one; showing it is the caller's (the window's changeProgram(0)).
  void apply(plugin::evaProcessor& processor) const;
  // Only the reference, in whole hertz, to the rack's tuner (when the rack exists).
  void applyTunerReference(plugin::evaProcessor& processor) const;

  float tunerReference() const { return tunerReference_; }
  // A reference the tuner cannot use is ignored.
  void setTunerReference(float hz);
  // The reference as the tuner takes it: truncated to whole hertz.
  int32_t tunerHz() const { return static_cast<int32_t>(tunerReference_); }
  int32_t skin() const { return skin_; }
  void setSkin(int32_t skin);
  int32_t lastProgram() const { return lastProgram_; }

 private:
  float tunerReference_ = kDefaultReference;
  int32_t skin_ = 0;
  int32_t lastProgram_ = 0;
};

}  // namespace ui
