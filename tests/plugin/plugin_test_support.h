#pragma once

#include <memory>

#include "framework/resource_file.h"
#include "framework/scratch_folder.h"
#include "plugin/processor_engine.h"
#include "plugin/vlvr_processor.h"

namespace plugintest {

using TempDir = testsupport::ScratchFolder;
using testsupport::readBytes;

// An engine stand-in with an optional resource file.
struct TestEngine : plugin::ProcessorEngine {
  const char* name() const override { return "ValvoramaLive"; }
  const framework::ResourceFile* resourceFile() const override { return resources_; }

  const framework::ResourceFile* resources_ = nullptr;
};

// A processor as the engine leaves it: constructed and initialised; opened on request.
inline std::unique_ptr<plugin::vlvrProcessor> makeProcessor(
    bool open = false, plugin::ProcessorEngine* engine = nullptr) {
  auto p = std::make_unique<plugin::vlvrProcessor>(engine);
  p->initialize();
  if (open) p->open();
  return p;
}

}  // namespace plugintest
