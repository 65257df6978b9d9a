#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "framework/resource_file.h"
#include "framework/scratch_folder.h"
#include "plugin/processor_engine.h"
#include "plugin/vlvr_processor.h"
#include "support/file_bytes.h"

namespace plugintest {

// An engine stand-in with an optional resource file and host callback.
class TestEngine : public plugin::ProcessorEngine {
 public:
  const char* name() const override { return "ValvoramaLive"; }
  const framework::ResourceFile* resourceFile() const override { return resources_; }
  plugin::audioMasterCallback hostCallback() const override { return callback_; }

  const framework::ResourceFile* resources_ = nullptr;
  plugin::audioMasterCallback callback_ = nullptr;
};

// A processor as the engine leaves it: constructed and initialised; opened on request.
inline std::unique_ptr<plugin::vlvrProcessor> makeProcessor(
    bool open = false, plugin::ProcessorEngine* engine = nullptr) {
  auto p = std::make_unique<plugin::vlvrProcessor>(engine);
  p->initialize();
  if (open) p->open();
  return p;
}

// A fresh folder under the system's temporary folder, removed with its contents.
using TempDir = testsupport::ScratchFolder;

using testsupport::readBytes;

}  // namespace plugintest
