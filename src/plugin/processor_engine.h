#pragma once

#include "plugin/aeffect.h"

namespace framework {
class ResourceFile;
}

namespace plugin {

// What the processor needs from the application engine that creates it: the application's
// name (file names, titles), its resource file (default parameter values) and the host
// callback. The engine outlives the processor's use of it; the processor does not own it.
class ProcessorEngine {
 public:
  virtual ~ProcessorEngine() = default;
  virtual const char* name() const = 0;
  // Null when the engine has no resource file open.
  virtual const framework::ResourceFile* resourceFile() const = 0;
  virtual audioMasterCallback hostCallback() const { return nullptr; }
};

}  // namespace plugin
