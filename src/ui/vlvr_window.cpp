#include "ui/vlvr_window.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "framework/safe_file.h"
#include "framework/settings_folder.h"
#include "gui/epi_alpha_control_knob.h"
#include "gui/epi_menu.h"
#include "gui/epi_text_dialog.h"
#include "plugin/parameter_descriptor.h"
#include "plugin/vlvr_processor.h"
#include "ui/choice_lists.h"
#include "ui/control_conversion.h"
#include "ui/eva_engine.h"
#include "ui/tuner_readout.h"
#include "ui/tuner_reference.h"
#include "ui/vlvr_about_panel.h"
#include "ui/vlvr_panel.h"

namespace ui {
namespace {

using framework::SettingsFolder;
using gui::epiMenu;

constexpr int32_t kFirstProgramMenu = 4;
constexpr int32_t kProgramsPerMenu = 32;
constexpr int32_t kAboutCommand = epiMenu::commandId(0, 1);
constexpr int32_t kTunerSetupCommand = epiMenu::commandId(3, 2);
constexpr int32_t kFirstLearnCommand = epiMenu::commandId(3, 4);
constexpr int32_t kLearnCount = 4;
constexpr int32_t kSelectorDragPixels = 10;
// Rack ids whose values light the front panel's pilot lamps.
constexpr int32_t kDelayId = 54, kOverdriveId = 9, kSpeakerId = 64, kWahModeId = 65;

int16_t clamp16(int32_t value) {
  return static_cast<int16_t>(std::clamp<int32_t>(value, std::numeric_limits<int16_t>::min(),
                                                  std::numeric_limits<int16_t>::max()));
}

int32_t menuOf(int32_t program) {
  return program / kProgramsPerMenu + kFirstProgramMenu;
}

int32_t itemOf(int32_t program) {
  return program % kProgramsPerMenu + 1;
}

bool samePrograms(const plugin::evaProcessorPrograms& a, const plugin::evaProcessorPrograms& b) {
  if (a.count() != b.count()) return false;
  for (int32_t i = 0; i < a.count(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(plugin::evaProcessorProgram)) != 0) return false;
  }
  return true;
}

}  // namespace

vlvrWindow::vlvrWindow(evaEngine& engine, const WindowClocks& clocks)
    : evaWindow(engine, clocks),
      midi_(processor(), *this, *this),
      about_(*this->clocks().milliseconds),
      meterTimer_(*this->clocks().meter),
      blinkTimer_(*this->clocks().passes),
      product_(dynamic_cast<plugin::vlvrProcessor*>(&processor())) {}

vlvrWindow::~vlvrWindow() {
  close();
}

vlvrPanel* vlvrWindow::front() const {
  return static_cast<vlvrPanel*>(panel(kFrontPanel));
}

rack::VRmore* vlvrWindow::amp() const {
  return product_ ? product_->rack() : nullptr;
}

gui::epiWindow* vlvrWindow::hostWindow() const {
  return engine().findWindow(kHostWindow);
}

std::unique_ptr<evaPanel> vlvrWindow::createPanel(int32_t number) {
  const framework::ResourceFile* file = application().resourceFile();
  gui::PictureCache* pictures = application().pictures();
  const gui::TimerClock& clock = *clocks().milliseconds;
  // A panel the resource file lacks stays empty: the window still works, with nothing to show.
  if (number == kFrontPanel) {
    auto panel = std::make_unique<vlvrPanel>(*this, number, clock);
    if (file && pictures) panel->open(*file, *pictures);
    return panel;
  }
  if (number == kAboutPanel) {
    auto panel = std::make_unique<vlvrAboutPanel>(*this, number, clock);
    if (file && pictures) panel->open(*file, *pictures);
    return panel;
  }
  return nullptr;
}

void vlvrWindow::openWindow() {
  evaWindow::openWindow();
  // Every panel inactive while it is set up, so that values are taken without gliding.
  showPanel(-1);
  setupParameterControls();
  for (int32_t selector : {vlvrPanel::kWahMode, vlvrPanel::kTunerSwitch}) {
    front()->setProperty(selector, gui::kPropertyDragPixels, kSelectorDragPixels);
    front()->setControl(selector, 1);
  }
  formatItemText(kFrontPanel, vlvrPanel::kProgramNumber, "%03d", processor().getProgram() + 1);
  front()->setControl(vlvrPanel::kNote, 0);
  front()->setControl(vlvrPanel::kSharp, 0);
  // The tuner starts off: its needle off the scale too, not lit at the flat end.
  front()->setControl(vlvrPanel::kNeedle, vlvrPanel::kNeedleOff);
  showControl(kFrontPanel, vlvrPanel::kNamingHint, false);
  showControl(kFrontPanel, vlvrPanel::kCancelButton, false);
  showPanel(kFrontPanel);
  meterTimer_.setPeriod(kMeterMs);

  loadFiles();
  aboutShowing_ = false;
  showEditedMark(false);
  setItemText(kFrontPanel, vlvrPanel::kEditedMark, ".");
  // The knobs show the program in force, the wah mode's included.
  updateChangedParameters(true);
}

void vlvrWindow::setupParameterControls() {
  for (int32_t row = 0; row < plugin::kParameterCount; ++row) {
    const plugin::ParameterDescriptor& d = plugin::kParameterDescriptors[row];
    if (const ChoiceList* list = choiceList(d.listNumber)) {
      sendControlCommand(d.panel, d.controlId, gui::kListCount, list->count);
      for (int32_t e = 0; e < list->count; ++e) {
        sendControlCommand(d.panel, d.controlId, gui::kListValue, list->entries[e].value);
        sendControlCommand(d.panel, d.controlId, gui::kListPosition, list->entries[e].position);
      }
    }
    const int16_t value = clamp16(paramToControl(row, processor().parameterValue(row)));
    if (gui::epiAlphaPanel* target = panel(d.panel)) {
      target->setProperty(d.controlId, gui::kPropertyDefault, value);
    }
    setControlValue(d.panel, d.controlId, value);
  }
}

void vlvrWindow::loadFiles() {
  preferences_.load(SettingsFolder::file(vlvrPreferences::kFileName));
  showSkin();
  if (application().inPluginHost()) {
    // The host keeps the sound (its program, its automation): opening the editor shows it.
    preferences_.applyTunerReference(processor());
    showProgram();
    showLampsFromParameters();
  } else {
    preferences_.apply(processor());
    changeProgram(0);
  }
  midi_.loadMappings(SettingsFolder::file(vlvrMidiControl::kMappingsFileName));
  openedPrograms_ = processor().programs();
}

void vlvrWindow::closeWindow() {
  // A window that never read its files writes none: it would replace them with defaults.
  if (!openedPrograms_) return;
  SettingsFolder::create();  // a folder that cannot be made shows as the writes failing
  midi_.saveMappings(SettingsFolder::file(vlvrMidiControl::kMappingsFileName));
  preferences_.save(SettingsFolder::file(vlvrPreferences::kFileName), processor().getProgram());
  saveBank();
}

// Written back only when the programs changed (or there is no bank yet): a bank that could not
// be read, or one imported while the amp played, is not replaced by what the window started with.
void vlvrWindow::saveBank() {
  const std::string path = SettingsFolder::file(processor().bankFileName());
  if (!framework::fileIsMissing(path) && samePrograms(*openedPrograms_, processor().programs())) {
    return;
  }
  processor().saveProgramBankFile(path);
}

bool vlvrWindow::handleMessage(const gui::epiMessage& message) {
  bool understood = false;
  if (message.code == gui::kMessageModalReply && message.source == kTunerDialog) {
    if (message.value != 0) takeTunerReference(message.text);
    understood = true;
  } else if (message.code == kSaveMessage) {
    if (message.value != 0) setItemText(kFrontPanel, vlvrPanel::kMessage, message.text);
    understood = true;
  }
  return evaWindow::handleMessage(message) || understood;
}

void vlvrWindow::handleCommand(int32_t command) {
  if (command == kAboutCommand) {
    showAbout();
  } else if (command == kTunerSetupCommand) {
    tunerSetup();
  } else if (command >= kFirstLearnCommand && command < kFirstLearnCommand + kLearnCount) {
    startLearn(command - kFirstLearnCommand + 1);
  } else if (command > epiMenu::kFirstCommand) {
    const int32_t menu = epiMenu::groupOf(command), item = epiMenu::itemOf(command);
    if (menu < kFirstProgramMenu || item < 1 || item > kProgramsPerMenu) return;
    const int32_t program = (menu - kFirstProgramMenu) * kProgramsPerMenu + item - 1;
    if (program >= kProgramCount) return;
    processor().setProgram(program);
    changeProgram(0);
  }
}

void vlvrWindow::idle() {
  midi_.idle();
  if (aboutShowing_) {
    if (gui::epiAlphaPanel* about = panel(kAboutPanel)) about_.tick(*about);
  }
  if (meterTimer_.fired()) meterTick();
  if (nameEdit_.editing() && blinkTimer_.fired()) {
    if (nameEdit_.blink()) {
      formatItemText(kFrontPanel, vlvrPanel::kProgramNumber, "%03d", nameEdit_.target() + 1);
    } else {
      setItemText(kFrontPanel, vlvrPanel::kProgramNumber, "");
    }
  }
  evaWindow::idle();
}

void vlvrWindow::meterTick() {
  rack::VRmore* rack = amp();
  vlvrPanel* panel = front();
  if (!rack || !panel) return;
  if (const auto step = level_.tick(rack->getMeter(0))) {
    panel->setControl(vlvrPanel::kLevel, static_cast<int16_t>(*step));
  }
  const bool gateClosing = rack->getMeter(1) <= 0.5;
  if (gateClosing != gateLit_) {
    gateLit_ = gateClosing;
    panel->setControl(vlvrPanel::kGateLamp, gateClosing ? 1 : 0);
  }
  if (const auto readout = readTuner(*rack)) {
    panel->setControl(vlvrPanel::kInTuneLamp, readout->inTune);
    panel->setControl(vlvrPanel::kNeedle, readout->needle);
    panel->setControl(vlvrPanel::kNote, readout->note);
    panel->setControl(vlvrPanel::kSharp, readout->sharp);
    if (readout->cents) {
      formatItemText(kFrontPanel, vlvrPanel::kMessage, "TUNER CENTS %-3d", *readout->cents);
    }
  }
}

void vlvrWindow::updateControlForParameter(int32_t index, float plain) {
  if (index < 0 || index >= plugin::kParameterCount) return;
  const plugin::ParameterDescriptor& d = plugin::kParameterDescriptors[index];
  // The user's hand wins over a value arriving meanwhile.
  if (held(d.panel, d.controlId)) return;
  setControlValue(d.panel, d.controlId, clamp16(paramToControl(index, plain)));
}

void vlvrWindow::controlChanged(int32_t panel, int32_t control) {
  bool matched = false;
  for (int32_t row = 0; row < plugin::kParameterCount; ++row) {
    const plugin::ParameterDescriptor& d = plugin::kParameterDescriptors[row];
    if (d.panel != panel || d.controlId != control) continue;
    setParameterFromPanel(row, controlToParam(row, getControlValue(panel, control)));
    matched = true;
  }
  if (matched) {
    if (!editedMark_) showEditedMark(true);
  } else if (panel != kFrontPanel) {
    controlClicked(panel, control);
  }
}

void vlvrWindow::controlClicked(int32_t, int32_t control) {
  if (aboutShowing_) {
    aboutShowing_ = false;
    about_.stop();
    showPanel(kFrontPanel);
    return;
  }
  switch (control) {
    case vlvrPanel::kTunerSwitch:
      setTunerMode(getControlValue(kFrontPanel, vlvrPanel::kTunerSwitch));
      break;
    case vlvrPanel::kNameButton:
      beginOrCommitEdit();
      break;
    case vlvrPanel::kProgramDown:
      changeProgram(-1);
      break;
    case vlvrPanel::kProgramUp:
      changeProgram(1);
      break;
    case vlvrPanel::kSkinButton:
      preferences_.setSkin((preferences_.skin() + 1) % vlvrPreferences::kSkinCount);
      showSkin();
      break;
    case vlvrPanel::kAboutButton:
      showAbout();
      break;
    case vlvrPanel::kCancelButton:
      cancelEdit();
      break;
    default:
      break;
  }
}

void vlvrWindow::keyTyped(int32_t key) {
  if (!nameEdit_.editing()) return;
  switch (nameEdit_.type(key)) {
    case ProgramNameEdit::Typed::kCommit:
      commitEdit();
      break;
    case ProgramNameEdit::Typed::kChanged:
      setItemText(kFrontPanel, vlvrPanel::kMessage, nameEdit_.text());
      break;
    case ProgramNameEdit::Typed::kIgnored:
      break;
  }
}

void vlvrWindow::showText(const std::string& number, const std::string& text) {
  setItemText(kFrontPanel, vlvrPanel::kProgramNumber, number);
  setItemText(kFrontPanel, vlvrPanel::kMessage, text);
}

void vlvrWindow::showProgram() {
  const int32_t program = processor().getProgram();
  LcdDisplay::showProgram(program, processor().programName(program));
}

void vlvrWindow::changeProgram(int step) {
  if (!nameEdit_.editing()) {
    const int32_t program =
        ((processor().getProgram() + step) % kProgramCount + kProgramCount) % kProgramCount;
    processor().setProgram(program);
    showProgram();
    showEditedMark(false);
    checkProgram(program);
    showLampsFromParameters();
  } else {
    nameEdit_.step(step);
    formatItemText(kFrontPanel, vlvrPanel::kProgramNumber, "%03d", nameEdit_.target() + 1);
  }
  midi_.endPresetLearn();
}

void vlvrWindow::selectProgram(int program) {
  if (program < 0 || program >= kProgramCount) return;
  // Through the host window, as its menu item would, so that both windows follow.
  if (hostWindow()) {
    engine().post(
        {.target = kHostWindow, .code = kSelectProgram, .value = program, .source = kIdentifier});
    return;
  }
  processor().setProgram(program);
  changeProgram(0);
}

void vlvrWindow::checkProgram(int32_t program) {
  gui::epiWindow* host = hostWindow();
  if (!host) return;
  if (checkedProgram_ >= 0 && checkedProgram_ != program) {
    host->checkMenuItem(menuOf(checkedProgram_), itemOf(checkedProgram_), false);
  }
  host->checkMenuItem(menuOf(program), itemOf(program), true);
  checkedProgram_ = program;
}

int32_t vlvrWindow::rackValue(int32_t rackParameterId) const {
  for (int32_t row = 0; row < plugin::kParameterCount; ++row) {
    if (plugin::kParameterDescriptors[row].rackParameterId == rackParameterId) {
      return plugin::truncatePlain(processor().parameterValue(row));
    }
  }
  return 0;
}

void vlvrWindow::showLampsFromParameters() {
  if (vlvrPanel* panel = front()) {
    panel->showLamps(rackValue(kWahModeId), rackValue(kDelayId), rackValue(kOverdriveId),
                     rackValue(kSpeakerId));
  }
}

void vlvrWindow::showSkin() {
  const auto skin = static_cast<int16_t>(preferences_.skin());
  setControlValue(kFrontPanel, vlvrPanel::kSkin, skin);
  setControlValue(kAboutPanel, vlvrAboutPanel::kSkin, skin);
  setControlValue(kAboutPanel, vlvrAboutPanel::kFrame, skin);
}

void vlvrWindow::showEditedMark(bool shown) {
  editedMark_ = shown;
  showControl(kFrontPanel, vlvrPanel::kEditedMark, shown);
}

void vlvrWindow::beginOrCommitEdit() {
  if (nameEdit_.editing()) {
    commitEdit();
    return;
  }
  blinkTimer_.setPeriod(kBlinkPasses);
  const int32_t program = processor().getProgram();
  nameEdit_.begin(program, processor().programName(program));
  setItemText(kFrontPanel, vlvrPanel::kMessage, nameEdit_.text());
  showControl(kFrontPanel, vlvrPanel::kNamingHint, true);
  showControl(kFrontPanel, vlvrPanel::kCancelButton, true);
}

void vlvrWindow::commitEdit() {
  blinkTimer_.stop();
  nameEdit_.end();
  showControl(kFrontPanel, vlvrPanel::kNamingHint, false);
  showControl(kFrontPanel, vlvrPanel::kCancelButton, false);
  const std::string name = nameEdit_.name();
  const int32_t target = nameEdit_.target();
  processor().storeProgram(target, name.c_str());
  if (gui::epiWindow* host = hostWindow())
    host->renameMenuItem(menuOf(target), itemOf(target), name);
  changeProgram(0);
}

void vlvrWindow::cancelEdit() {
  showControl(kFrontPanel, vlvrPanel::kNamingHint, false);
  showControl(kFrontPanel, vlvrPanel::kCancelButton, false);
  blinkTimer_.stop();
  nameEdit_.end();
  changeProgram(0);
  showEditedMark(false);
}

void vlvrWindow::setTunerMode(int32_t position) {
  if (rack::VRmore* rack = amp()) rack->setTunerMode(static_cast<uint32_t>(position));
  if (vlvrPanel* panel = front()) {
    panel->setControl(vlvrPanel::kNote, 0);
    panel->setControl(vlvrPanel::kSharp, 0);
    panel->setControl(vlvrPanel::kInTuneLamp, 0);
    panel->setControl(vlvrPanel::kNeedle, vlvrPanel::kNeedleOff);
  }
  if (position != 0) showProgram();
}

void vlvrWindow::tunerSetup() {
  gui::epiTextDialog::open(
      engine(), "Tuner reference: A =", tunerReferenceText(preferences_.tunerReference()),
      kTunerDialog, kIdentifier);
}

void vlvrWindow::takeTunerReference(const std::string& text) {
  // An entry that is no usable pitch keeps the reference in force.
  const std::optional<float> hz = parseTunerReference(text);
  if (!hz) return;
  preferences_.setTunerReference(*hz);
  preferences_.applyTunerReference(processor());
}

void vlvrWindow::showAbout() {
  aboutShowing_ = true;
  about_.start();
  showPanel(kAboutPanel);
}

}  // namespace ui
