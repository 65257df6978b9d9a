#pragma once

#include "ui/eva_engine.h"

namespace ui {

// This product's engine: "ValvoramaLive" with the amp's processor and main window.
class vlvrEngine : public evaEngine {
 public:
  std::unique_ptr<evaWindow> createWindow() override;
  plugin::evaProcessor* createProcessor() override;
  void setApplicationName() override;
};

// The host's factory: a new engine, or null when it cannot be allocated.
evaEngine* createEngine();

}  // namespace ui
