#pragma once

#include "plugin/aeffect.h"

namespace framework {
class ResourceFile;
}

namespace plugin {

// What the processor needs from the application engine that creates it: the application's
// name (file names, titles), its resource file (default parameter values) and the host
// callback. The engine outlives the processor's use of it.
class ProcessorEngine {
 public:
  virtual ~ProcessorEngine() = default;
  virtual const char* name() const = 0;
  // Null when the engine has no resource file open.
  virtual const framework::ResourceFile* resourceFile() const = 0;
  virtual audioMasterCallback hostCallback() const { return nullptr; }
  // Asked once by the processor's destructor. The application engine belongs to its processor:
  // it releases its resources and answers true, and the processor deletes it. An engine owned
  // elsewhere answers false.
  virtual bool releaseForProcessor() { return false; }
};

}  // namespace plugin
