#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/epi_alpha_panel.h"
#include "gui/epi_menu_bar.h"
#include "gui/epi_message.h"
#include "gui/rect.h"
#include "platform/native_window.h"

namespace gui {

class epiEngineClass;

// A framework window: a four-character identifier that messages are addressed to, a native
// window (top-level, or a child inside another window: the host window, or a plug-in host's
// editor parent), the panels it shows and, when top-level, a menu bar drawn across its top.
//
// Everything is drawn into the native window's back buffer; each pass of the event loop ticks
// the panels and shows what changed. Pointer input goes to the menus, then to the active panel;
// keys go to the engine's keyboard hook, then to keyTyped(). While a modal window is up, the
// others take no input: their keys go to the modal window.
//
// The product derives from it and decides what presses, changes, commands and messages mean.
// The base destructor closes a window still open, but a derived window's closeWindow() runs
// only if it closes itself first (in its own destructor at the latest).
class epiWindow : public epiAlphaPanel::Listener {
 public:
  epiWindow(epiEngineClass& engine, uint32_t identifier);
  ~epiWindow() override;
  epiWindow(const epiWindow&) = delete;
  epiWindow& operator=(const epiWindow&) = delete;

  uint32_t identifier() const { return identifier_; }
  epiEngineClass& engine() const { return engine_; }

  // A top-level window with `width` × `height` for its panels (the menu bar comes on top),
  // drawn and shown. False when there is no display or it refuses.
  bool openTopLevel(int32_t width, int32_t height, const std::string& title);
  // A child at (x, y) inside the native window `parent`, drawn and shown; false when the parent
  // is gone or there is no display.
  bool openInside(uint64_t parent, int32_t x, int32_t y, int32_t width, int32_t height);
  // Runs closeWindow(), then the native window goes; nothing happens when not open.
  void close();
  bool isOpen() const { return native_ != nullptr; }
  // The native window, or the foreign one a kMessageWindowHandle message named (a host window
  // link); 0 for neither. Child windows open inside it.
  uint64_t nativeHandle() const;
  platform::NativeWindow* native() const { return native_.get(); }
  int32_t width() const;
  int32_t height() const;
  void setTitle(const std::string& title);
  // A modal window takes all input while it is open.
  bool modal() const { return modal_; }

  // Panels are shown below the menu bar, all at the same place, in the order added; one is
  // active at a time and takes the input. The first added is active.
  epiAlphaPanel& addPanel(std::unique_ptr<epiAlphaPanel> panel);
  int32_t panelCount() const { return static_cast<int32_t>(panels_.size()); }
  epiAlphaPanel* panel(int32_t index) const;
  int32_t panelIndex(const epiAlphaPanel& panel) const;  // -1 for a stranger
  // Makes panel `index` the active one and the others inactive, and lays the window out again.
  void showPanel(int32_t index);

  // Control and item calls by panel index; false when there is no such panel or control.
  bool setControlValue(int32_t panel, int32_t control, int16_t value);
  int16_t getControlValue(int32_t panel, int32_t control) const;
  bool sendControlCommand(int32_t panel, int32_t control, int32_t command, int32_t value);
  bool setItemText(int32_t panel, int32_t item, const std::string& text);
  bool formatItemText(int32_t panel, int32_t item, const std::string& format, int32_t value);
  bool showControl(int32_t panel, int32_t control, bool shown);

  // The menus; a window that adds none has no bar. Add them before opening: the bar takes its
  // height from the window's top.
  epiMenuBar& menuBar() { return menuBar_; }
  bool checkMenuItem(int32_t group, int32_t item, bool on);
  bool renameMenuItem(int32_t group, int32_t item, const std::string& text);
  bool enableMenuItem(int32_t group, int32_t item, bool on);
  void enableMenus(bool on);
  void closeMenus();
  // Where the panels start: below the menu bar of a top-level window.
  int32_t contentTop() const;

  // The whole window is drawn again by the next pass.
  void invalidate() { redrawAll_ = true; }
  // Ticks the panels, draws what changed and shows it (each pass of the loop does).
  void refresh();
  // The window as a PNG file, drawn afresh; false when it is not open or cannot be written.
  bool writePng(const std::string& path);

  // A message addressed to this window; true when it was understood. The base takes
  // kMessageWindowHandle: the window stands for that foreign window from then on.
  virtual bool handleMessage(const epiMessage& message);
  // A menu command (40000 + 100 × group + item).
  virtual void handleCommand(int32_t /*command*/) {}
  // Every pass of the loop, before drawing: timers, periodic displays.
  virtual void idle() {}
  // A typed key: its character (Unicode), or 8 Backspace, 9 Tab, 13 Enter, 27 Escape, 127
  // Delete.
  virtual void keyTyped(int32_t /*key*/) {}
  // A control of panel `panel` was pressed, or its value changed.
  virtual void controlClicked(int32_t /*panel*/, int32_t /*control*/) {}
  virtual void controlChanged(int32_t /*panel*/, int32_t /*control*/) {}
  // The window manager's close button; the base closes the window.
  virtual void closeRequested() { close(); }
  // Last words before the window goes (files to write).
  virtual void closeWindow() {}

  // Panel listener.
  void controlPressed(epiAlphaPanel& panel, int32_t number) override;
  void valueChanged(epiAlphaPanel& panel, int32_t number) override;

 protected:
  // The content below the menu bar, whole, in window coordinates.
  virtual void drawContent(cairo_t* cr);
  // What changed of it; returns the area drawn.
  virtual Rect drawChangedContent(cairo_t* cr);
  // Pointer input in window coordinates the menus did not take; true when used.
  virtual bool pointerInput(const platform::InputEvent& event);
  // Ticks what animates (the base: the active panel's glides).
  virtual void tick();
  void setModal(bool modal) { modal_ = modal; }

 private:
  bool adopt(std::unique_ptr<platform::NativeWindow> window);
  void handleEvent(const platform::InputEvent& event);
  void handleKey(const platform::InputEvent& event);
  void handlePointer(const platform::InputEvent& event);
  void handlePopupEvent(size_t level, platform::InputEvent event);
  void menusChanged();
  void syncPopups();
  void drawAll(cairo_t* cr);
  epiAlphaPanel* activePanel() const;
  bool hasBar() const;

  epiEngineClass& engine_;
  const uint32_t identifier_;
  std::unique_ptr<platform::NativeWindow> native_;
  bool topLevel_ = false;
  bool modal_ = false;
  bool closing_ = false;
  uint64_t foreignHandle_ = 0;
  bool redrawAll_ = true;
  std::vector<std::unique_ptr<epiAlphaPanel>> panels_;
  epiMenuBar menuBar_;
  // Open menus are child windows on top of everything else in this window, the editor
  // included.
  std::vector<std::unique_ptr<platform::NativeWindow>> popups_;
  std::vector<Rect> popupAreas_;
};

}  // namespace gui
