#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "framework/resource_file.h"
#include "gui/epi_engine_class.h"
#include "gui/picture_cache.h"
#include "plugin/aeffect.h"
#include "plugin/eva_processor.h"
#include "plugin/midi_handler.h"
#include "plugin/processor_engine.h"

namespace ui {

class evaEditor;
class evaWindow;

// The application object: the owner of the processor and of the editor that carries the main
// window, the keeper of the application's resource file, and the framework's application (its
// display, windows, posted messages and event loop). evaEngine is product-independent; a
// product's engine overrides the factory operations.
//
// One engine per stand-alone process; a plug-in host may load several, each with its own display
// connection, so nothing but the current-engine pointer is shared between them. In a plug-in host
// the user interface runs on the host's thread or the editor's own timer: whoever touches the
// windows or the display holds userInterfaceMutex().
//
// Ownership: until init() succeeds the engine owns what it created. From then on the processor
// owns the engine: deleting the processor releases the engine's resources and deletes it.
class evaEngine : public plugin::ProcessorEngine, public gui::epiEngineClass {
 public:
  static constexpr const char* kUpdateFileName = "ValvoramaUpdate.xrs";

  evaEngine();
  ~evaEngine() override;
  evaEngine(const evaEngine&) = delete;
  evaEngine& operator=(const evaEngine&) = delete;

  // What the processor asks of its engine.
  const char* name() const override { return applicationName_.c_str(); }
  const framework::ResourceFile* resourceFile() const override;
  plugin::audioMasterCallback hostCallback() const override { return hostCallback_; }
  bool releaseForProcessor() override;

  // The engine's operations, in slot order. The window is the editor's main window, made for
  // this engine's editor and processor.
  virtual std::unique_ptr<evaWindow> createWindow();
  virtual evaEditor* createEditor();
  virtual plugin::evaProcessor* createProcessor();
  virtual int mainPictureId() const { return 10; }
  // The application's resource file: the name with ".xrs" in the program's folder, or in the
  // share folder of an installed layout (bin/../share/valvorama-live/) when it is there.
  virtual std::string resourceFilePath() const;
  // The running program's file; false when the system does not say.
  virtual bool applicationFilePath(std::string& path) const;
  virtual void setApplicationName();
  // Creates and links the processor and the editor, opens the resource file and initialises
  // the processor. False after deleting whatever it created.
  virtual bool init();
  // The editor's size: the main picture's, once the skin brings one.
  virtual plugin::ERect editorSize() const;
  virtual void attachToHost(void* parent);
  virtual void detachFromHost();
  // One pass of the framework's event processing is the framework's processEvents(0).

  // Where MIDI input goes: the open main window's MIDI handling; null while no window is open.
  // Asked on the user-interface side (it may wait for the editor's timer to finish a pass).
  plugin::MidiHandler* midiHandler() const;

  // The host main's settings, made before init().
  void setHostCallback(plugin::audioMasterCallback callback) { hostCallback_ = callback; }
  void setStandAlone(bool standAlone) { standAlone_ = standAlone; }
  bool standAlone() const { return standAlone_; }
  // Inside a plug-in host: the host keeps the processor's state and drives the editor through its
  // callback and idle calls (the stand-alone clears the callback).
  bool inPluginHost() const { return hostCallback_ != nullptr && !standAlone_; }
  std::recursive_mutex& userInterfaceMutex() { return userInterfaceMutex_; }

  plugin::evaProcessor* processor() const { return processor_; }
  evaEditor* editor() const { return editor_; }
  const std::string& applicationPath() const { return applicationPath_; }
  // The files init() opened or tried to open (for the host's message when it failed).
  const std::string& resourcePath() const { return resourcePath_; }
  const std::string& updatePath() const { return updatePath_; }
  // The skin's pictures from the resource file, decoded once for every window of this engine;
  // null while no resource file is open.
  gui::PictureCache* pictures();
  bool attachedToHost() const { return hostParent_ != nullptr; }
  void setHasWindow(bool hasWindow) { hasWindow_ = hasWindow; }
  bool hasWindow() const { return hasWindow_; }

  // The process's current engine: the last one created or made current.
  static evaEngine* current();
  void makeCurrent();

 protected:
  std::string applicationName_ = "Unknown";

 private:
  bool openResources();
  void releaseResources();
  void deleteEditor();

  evaEditor* editor_ = nullptr;
  plugin::evaProcessor* processor_ = nullptr;
  framework::ResourceFile resources_;
  std::unique_ptr<gui::PictureCache> pictures_;
  bool resourcesInUse_ = false;
  bool ownedByProcessor_ = false;
  bool standAlone_ = false;
  bool hasWindow_ = false;
  plugin::audioMasterCallback hostCallback_ = nullptr;
  mutable std::recursive_mutex userInterfaceMutex_;
  void* hostParent_ = nullptr;
  std::string applicationPath_;
  std::string resourcePath_;
  std::string updatePath_;
};

}  // namespace ui
