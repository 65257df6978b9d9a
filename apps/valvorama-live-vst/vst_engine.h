#pragma once

#include <string>

#include "ui/vlvr_engine.h"

namespace vstplugin {

// The engine of one plug-in instance: the amp's, making the plug-in's processor, with its
// resource file found from the plug-in library's own path. An installed plug-in sits in
// lib/vst/ and its resource file in share/valvorama-live/; in the build tree the file is copied
// beside the library.
class VstEngine : public ui::vlvrEngine {
 public:
  plugin::evaProcessor* createProcessor() override;
  std::string resourceFilePath() const override;
  bool applicationFilePath(std::string& path) const override;
};

}  // namespace vstplugin
