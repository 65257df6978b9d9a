#include "ui/vlvr_engine.h"

#include <new>

#include "plugin/vlvr_processor.h"
#include "ui/vlvr_window.h"

namespace ui {

std::unique_ptr<evaWindow> vlvrEngine::createWindow() {
  return std::make_unique<vlvrWindow>(*this);
}

plugin::evaProcessor* vlvrEngine::createProcessor() {
  try {
    return new plugin::vlvrProcessor(this);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void vlvrEngine::setApplicationName() {
  applicationName_ = "ValvoramaLive";
}

evaEngine* createEngine() {
  try {
    return new vlvrEngine();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace ui
