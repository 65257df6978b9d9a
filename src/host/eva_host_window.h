#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/four_cc.h"
#include "gui/epi_window.h"
#include "host/eva_host_audio.h"

namespace plugin {
class evaProcessor;
class MidiHandler;
}  // namespace plugin

namespace host {

// The stand-alone program's top-level window: the menus, the processor's editor in a child
// window below the menu bar, and the live audio and MIDI objects.
//
// It handles "Quit" and "Audio setup..." itself and hands every other command to the main
// window (the editor's, identifier "main"); without one, a program command just selects the
// program. Closing it from the window manager only ends the loop: the host main tears down.
//
// User-interface thread only.
class evaHostWindow : public gui::epiWindow {
 public:
  static constexpr uint32_t kIdentifier = framework::fourCC("hosw");
  static constexpr uint32_t kMainWindow = framework::fourCC("main");
  static constexpr uint32_t kNameDialog = framework::fourCC("name");
  // Selects the program in the message's value (0-based) as its menu item would.
  static constexpr uint32_t kMessageSelectProgram = framework::fourCC("sepr");
  // The main window's message that shows a text on its LCD (a non-zero value shows it).
  static constexpr uint32_t kMessageShowText = framework::fourCC("save");
  static constexpr const char* kTitle = "Valvorama Live";

  // Menu groups; the program submenus are kFirstBank .. kFirstBank + kBanks - 1.
  enum Group : int32_t {
    kHelpMenu = 0,
    kFileMenu = 1,
    kProgramsMenu = 2,
    kSettingsMenu = 3,
    kFirstBank = 4,
  };
  static constexpr int32_t kBanks = 4;
  static constexpr int32_t kProgramsPerBank = 32;
  static constexpr int32_t kAboutCommand = 40001;
  static constexpr int32_t kQuitCommand = 40101;
  static constexpr int32_t kAudioSetupCommand = 40301;

  // Controls 0..5 a window layout may offer.
  enum Control : int32_t {
    kStopAudio = 0,
    kStartAudio = 1,
    kMainWindowFlag = 2,
    kSelectProgram = 3,
    kPreviousProgram = 4,
    kNextProgram = 5,
  };

  // The processor (with its editor) outlives the window. The hardware settings are read from
  // and written to `settingsFolder`.
  evaHostWindow(gui::epiEngineClass& engine, plugin::evaProcessor& processor,
                std::string settingsFolder);
  ~evaHostWindow() override;

  // Where the MIDI input goes once audio starts: asked each time the audio objects are made,
  // since the handler belongs to the editor's window.
  void setMidiHandlerSource(std::function<plugin::MidiHandler*()> source) {
    midiHandlerSource_ = std::move(source);
  }

  // Opens the window with its menus and the editor, then creates and starts audio from the
  // hardware settings; with no technology chosen yet, the audio settings dialog follows. False
  // when the window cannot open (no display).
  bool create();
  // Stops audio and MIDI and deletes the host audio object (the dialog editing it closes).
  void stopAudio();
  // Creates and starts the host audio object from the settings file when there is none.
  void startAudio();
  // Null while audio is stopped.
  evaHostAudio* hostAudio() const { return hostAudio_.get(); }

  // The dialog that renames the current program; its reply comes back as kMessageModalReply.
  void openProgramNameDialog();
  // "Audio setup...": the audio hardware settings dialog on this window's audio object.
  void openAudioSettings();
  // Selects a program (0-based) through its menu command.
  void selectProgram(int32_t program);
  void controlEvent(int32_t control);

  bool handleMessage(const gui::epiMessage& message) override;
  void handleCommand(int32_t command) override;
  void idle() override;
  // Keys typed while the host window has the focus are the main window's (program naming).
  void keyTyped(int32_t key) override;
  void closeRequested() override;
  void closeWindow() override;

 private:
  void buildMenus();
  void renamePrograms();
  void markProgram(int32_t program);
  gui::epiWindow* mainWindow() const;

  plugin::evaProcessor& processor_;
  std::string settingsFolder_;
  std::function<plugin::MidiHandler*()> midiHandlerSource_;
  std::unique_ptr<evaHostAudio> hostAudio_;
  // The editor's parent: a plain child window below the menu bar.
  std::unique_ptr<platform::NativeWindow> editorFrame_;
  bool editorOpen_ = false;
};

}  // namespace host
