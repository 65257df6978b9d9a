#pragma once

#include <cstdint>
#include <memory>

#include "framework/four_cc.h"
#include "gui/epi_window.h"
#include "plugin/midi_handler.h"
#include "ui/window_clocks.h"

namespace plugin {
class evaProcessor;
}

namespace ui {

class evaEditor;
class evaEngine;
class evaPanel;

// The editor's main window, product-independent: it is made for its engine's editor and
// processor, creates its panels when it opens, and keeps the panel controls in step with the
// processor's parameters: each idle refresh moves the control of every parameter another
// source (MIDI, a host, a program change) changed, never the one the user is dragging.
//
// User-interface thread only; the parameters it reads are written from any thread.
class evaWindow : public gui::epiWindow {
 public:
  static constexpr uint32_t kIdentifier = framework::fourCC("main");
  static constexpr int32_t kMaxPanels = 16;

  explicit evaWindow(evaEngine& engine, const WindowClocks& clocks = {});
  ~evaWindow() override;

  evaEngine& application() const { return application_; }
  evaEditor* editor() const { return editor_; }
  plugin::evaProcessor& processor() const { return processor_; }
  const WindowClocks& clocks() const { return clocks_; }

  // Start-up once the native window is open: panels 0, 1, ... until createPanel gives none.
  virtual void openWindow();
  virtual std::unique_ptr<evaPanel> createPanel(int32_t number);
  // Shows the current program again.
  virtual void refreshDisplay() {}
  virtual void updateControlForParameter(int32_t index, float plain);
  // A value the user set on the panel: the processor stores it without a change flag.
  virtual void setParameterFromPanel(int32_t index, float plain);
  // Moves the controls of the parameters whose change flag is set, or of all of them.
  void updateChangedParameters(bool force);
  // Where MIDI input goes while this window is open; null when it takes none.
  virtual plugin::MidiHandler* midiHandler() { return nullptr; }

  // The framework's idle work: the refresh of changed parameters.
  void idle() override;

  // The panels record the control last pressed or changed before the window hears of it.
  void noteControl(int32_t panel, int32_t control);
  int32_t lastPanel() const { return lastPanel_; }
  int32_t lastControl() const { return lastControl_; }
  // True while the pointer holds `control` of `panel` (a drag in progress).
  bool held(int32_t panel, int32_t control) const;

 protected:
  bool pointerInput(const platform::InputEvent& event) override;

 private:
  evaEngine& application_;
  evaEditor* editor_;
  plugin::evaProcessor& processor_;
  const WindowClocks clocks_;
  int32_t lastPanel_ = -1, lastControl_ = -1;
  bool pointerHeld_ = false;
  int32_t heldPanel_ = -1, pressX_ = 0, pressY_ = 0;
};

}  // namespace ui
