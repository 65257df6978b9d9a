// The plug-in's entry points, the only symbols the library exports (exports.map).

#include <memory>
#include <new>

#include "plugin/aeffect.h"
#include "vst_engine.h"
#include "vst_processor.h"

namespace {

// Each call makes an independent instance: its own engine (and display connection, once its
// editor opens), processor and MIDI handling. Null when anything fails; nothing may throw into
// the host.
plugin::AEffect* createInstance(plugin::audioMasterCallback host) noexcept {
  if (!host) return nullptr;
  try {
    auto engine = std::make_unique<vstplugin::VstEngine>();
    engine->setHostCallback(host);  // kept: automation and the host queries go through it
    engine->setStandAlone(false);
    if (!engine->init()) return nullptr;
    auto* processor = static_cast<vstplugin::VstProcessor*>(engine->processor());
    processor->readSettings();
    engine.release();  // the processor owns it now
    return processor->getAeffect();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) plugin::AEffect* VSTPluginMain(
    plugin::audioMasterCallback host) {
  return createInstance(host);
}

// The name older hosts look up. C++ keeps `main` for the program's entry, so the function has
// another name here and `main` only in the library's symbol table.
__attribute__((visibility("default"))) plugin::AEffect* legacyMain(
    plugin::audioMasterCallback host) __asm__("main");
plugin::AEffect* legacyMain(plugin::audioMasterCallback host) {
  return createInstance(host);
}
}
