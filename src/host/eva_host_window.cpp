#include "host/eva_host_window.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "gui/epi_engine_class.h"
#include "gui/epi_menu.h"
#include "gui/epi_message.h"
#include "gui/epi_text_dialog.h"
#include "host/eva_audio_settings_panel.h"
#include "plugin/aeff_editor.h"
#include "plugin/eva_processor.h"

namespace host {
namespace {

using gui::epiMenu;

// Without an editor (or one that gives no size) the window still carries its menus.
constexpr int32_t kBareWidth = 480, kBareHeight = 240;

const char* const kBankTitles[evaHostWindow::kBanks] = {"1..32", "33..64", "65..96", "97..128"};

int32_t programCommand(int32_t program) {
  return epiMenu::commandId(evaHostWindow::kFirstBank + program / evaHostWindow::kProgramsPerBank,
                            program % evaHostWindow::kProgramsPerBank + 1);
}

// The program a command selects; -1 for any other command.
int32_t programOf(int32_t command) {
  const int32_t bank = epiMenu::groupOf(command) - evaHostWindow::kFirstBank;
  const int32_t item = epiMenu::itemOf(command);
  if (command < epiMenu::kFirstCommand || bank < 0 || bank >= evaHostWindow::kBanks || item < 1 ||
      item > evaHostWindow::kProgramsPerBank)
    return -1;
  return bank * evaHostWindow::kProgramsPerBank + item - 1;
}

}  // namespace

evaHostWindow::evaHostWindow(gui::epiEngineClass& engine, plugin::evaProcessor& processor,
                             std::string settingsFolder)
    : epiWindow(engine, kIdentifier),
      processor_(processor),
      settingsFolder_(std::move(settingsFolder)) {}

evaHostWindow::~evaHostWindow() {
  close();
  stopAudio();
}

bool evaHostWindow::create() {
  if (isOpen()) return false;
  plugin::AEffEditor* editor = processor_.getEditor();
  plugin::ERect* rect = nullptr;
  if (editor) editor->getRect(&rect);
  const int32_t width = rect ? rect->right - rect->left : 0;
  const int32_t height = rect ? rect->bottom - rect->top : 0;
  const bool sized = width > 0 && height > 0;

  buildMenus();
  if (!openTopLevel(sized ? width : kBareWidth, sized ? height : kBareHeight, kTitle)) return false;
  if (editor && sized) {
    editorFrame_ = engine().display()->createChild(nativeHandle(), 0, contentTop(), width, height);
    if (editorFrame_) {
      editor->open(reinterpret_cast<void*>(editorFrame_->id()));
      editorOpen_ = true;
    }
  }
  markProgram(processor_.getProgram());

  startAudio();
  enableMenus(true);
  if (!hostAudio_->audio() || hostAudio_->audio()->technology() < 0) openAudioSettings();
  return true;
}

void evaHostWindow::buildMenus() {
  gui::epiMenuBar& bar = menuBar();
  if (!bar.empty()) return;
  bar.addMenu(kFileMenu, "File")->addItem("Quit");
  epiMenu* programs = bar.addMenu(kProgramsMenu, "Programs");
  for (int32_t bank = 0; bank < kBanks; ++bank) {
    epiMenu* submenu = programs->addSubmenu(kFirstBank + bank, kBankTitles[bank]);
    for (int32_t i = 0; i < kProgramsPerBank; ++i)
      submenu->addItem(processor_.programName(bank * kProgramsPerBank + i));
  }
  epiMenu* settings = bar.addMenu(kSettingsMenu, "Settings");
  settings->addItem("Audio setup...");
  settings->addItem("Tuner setup...");
  settings->addSeparator();
  for (const char* learn : {"Learn Preset Up CC/PC...", "Learn Preset Down CC/PC...",
                            "Learn Volume CC...", "Learn Wah CC..."})
    settings->addItem(learn);
  bar.addMenu(kHelpMenu, "Help")->addItem("About Valvorama Live...");
}

void evaHostWindow::renamePrograms() {
  for (int32_t p = 0; p < kBanks * kProgramsPerBank; ++p)
    renameMenuItem(kFirstBank + p / kProgramsPerBank, p % kProgramsPerBank + 1,
                   processor_.programName(p));
}

// The main window moves the mark when it selects a program; without one this does.
void evaHostWindow::markProgram(int32_t program) {
  for (int32_t p = 0; p < kBanks * kProgramsPerBank; ++p)
    checkMenuItem(kFirstBank + p / kProgramsPerBank, p % kProgramsPerBank + 1, p == program);
}

gui::epiWindow* evaHostWindow::mainWindow() const {
  return engine().findWindow(kMainWindow);
}

void evaHostWindow::startAudio() {
  if (hostAudio_) return;
  hostAudio_ = std::make_unique<evaHostAudio>(processor_, settingsFolder_);
  // A missing file leaves no technology: nothing plays until the user chooses.
  hostAudio_->settings().read();
  hostAudio_->create();
  if (midiHandlerSource_) hostAudio_->setMidiHandler(midiHandlerSource_());
  hostAudio_->start();
}

void evaHostWindow::stopAudio() {
  // The dialog works on the audio object: it goes first.
  if (gui::epiWindow* dialog = engine().findWindow(evaAudioSettingsPanel::kIdentifier))
    dialog->close();
  if (!hostAudio_) return;
  hostAudio_->stop();
  hostAudio_.reset();
}

void evaHostWindow::openAudioSettings() {
  if (!isOpen() || engine().findWindow(evaAudioSettingsPanel::kIdentifier)) return;
  if (!hostAudio_) {
    hostAudio_ = std::make_unique<evaHostAudio>(processor_, settingsFolder_);
    hostAudio_->settings().read();
    if (midiHandlerSource_) hostAudio_->setMidiHandler(midiHandlerSource_());
  }
  evaAudioSettingsPanel::open(engine(), *hostAudio_);
}

void evaHostWindow::openProgramNameDialog() {
  if (!isOpen() || engine().findWindow(kNameDialog)) return;
  gui::epiTextDialog::open(engine(), "Program name",
                           processor_.programName(processor_.getProgram()), kNameDialog,
                           kIdentifier);
}

void evaHostWindow::selectProgram(int32_t program) {
  if (program < 0 || program >= std::min(processor_.numPrograms(), kBanks * kProgramsPerBank))
    return;
  handleCommand(programCommand(program));
}

void evaHostWindow::controlEvent(int32_t control) {
  const int32_t current = processor_.getProgram();
  switch (control) {
    case kStopAudio:
      stopAudio();
      break;
    case kStartAudio:
      startAudio();
      break;
    case kSelectProgram:
      selectProgram(current);
      break;
    case kPreviousProgram:
      selectProgram(std::max(current - 1, 0));
      break;
    case kNextProgram:
      selectProgram(processor_.numPrograms() > 0 ? (current + 1) % processor_.numPrograms() : 0);
      break;
    default:
      // kMainWindowFlag: the main window has no flag of that kind.
      break;
  }
}

bool evaHostWindow::handleMessage(const gui::epiMessage& message) {
  if (message.code == kMessageSelectProgram) {
    selectProgram(message.value);
    return true;
  }
  if (message.code == gui::kMessageModalReply && message.source == kNameDialog) {
    if (message.value != 0) {
      processor_.setProgramName(message.text.c_str());
      renamePrograms();
      // The LCD shows the new name. Choosing the program again would also recall its stored
      // values and lose what the player has changed on the panel since.
      if (gui::epiWindow* main = mainWindow()) {
        std::string shown = message.text;
        for (char& c : shown)
          c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        main->handleMessage({.target = main->identifier(),
                             .code = kMessageShowText,
                             .value = 1,
                             .source = identifier(),
                             .text = shown});
      }
    }
    return true;
  }
  return epiWindow::handleMessage(message);
}

void evaHostWindow::handleCommand(int32_t command) {
  if (command == kQuitCommand) {
    engine().quit();
    return;
  }
  if (command == kAudioSetupCommand) {
    openAudioSettings();
    return;
  }
  if (gui::epiWindow* main = mainWindow()) {
    main->handleCommand(command);
    return;
  }
  const int32_t program = programOf(command);
  if (program < 0 || program >= processor_.numPrograms()) return;
  processor_.setProgram(program);
  markProgram(program);
}

// A driver whose block size or rate changed asked to be opened again.
void evaHostWindow::idle() {
  if (hostAudio_ && !engine().findWindow(evaAudioSettingsPanel::kIdentifier))
    hostAudio_->serviceReset();
}

void evaHostWindow::keyTyped(int32_t key) {
  if (gui::epiWindow* main = mainWindow()) main->keyTyped(key);
}

void evaHostWindow::closeRequested() {
  engine().quit();
}

// The editor's window writes its files as it closes, before its parent goes.
void evaHostWindow::closeWindow() {
  if (editorOpen_) {
    if (plugin::AEffEditor* editor = processor_.getEditor()) editor->close();
    editorOpen_ = false;
  }
  editorFrame_.reset();
}

}  // namespace host
