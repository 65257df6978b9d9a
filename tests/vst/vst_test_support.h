#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "plugin/vlvr_processor.h"

namespace vsttest {

// A program bank whose programs sound different from each other (the built-in ones are all
// alike): preamp gain, overdrive, amp model and cabinet vary with the program number.
inline bool writeVariedBank(const std::string& path) {
  plugin::vlvrProcessor processor;
  processor.initialize();
  for (int p = 0; p < 128; ++p) {
    processor.setParameterPlain(13, static_cast<float>(20 + 7 * p % 100));  // preamp gain
    processor.setParameterPlain(8, static_cast<float>(p % 2));              // overdrive on
    processor.setParameterPlain(20, static_cast<float>(p % 4));             // amp model
    processor.setParameterPlain(19, static_cast<float>(p / 4 % 4));         // cabinet
    processor.storeProgram(p, ("Varied " + std::to_string(p + 1)).c_str());
  }
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return processor.saveProgramBankFile(path);
}

// A private settings folder for the plug-ins a test loads: XDG_CONFIG_HOME names a fresh folder
// while the object lives; the folder goes, and the variable comes back, with it.
class PrivateSettings {
 public:
  PrivateSettings() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "valvo-vst-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data()) ? pattern : "";
    ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  ~PrivateSettings() {
    if (saved_) {
      ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  PrivateSettings(const PrivateSettings&) = delete;
  PrivateSettings& operator=(const PrivateSettings&) = delete;

  bool ready() const { return !root_.empty(); }
  // The settings folder the plug-in uses, and a file in it.
  std::string folder() const { return root_ + "/ValvoramaLive"; }
  std::string file(const std::string& name) const { return folder() + "/" + name; }
  std::string bank() const { return file("ValvoramaLive settings.dat"); }

 private:
  std::string root_;
  std::optional<std::string> saved_;
};

}  // namespace vsttest
