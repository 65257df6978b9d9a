#pragma once

#include <cairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/resource_file.h"
#include "gui/epi_alpha_control.h"
#include "gui/panel_resource.h"
#include "gui/picture_cache.h"
#include "gui/rect.h"
#include "gui/timer_clock.h"
#include "platform/native_window.h"

namespace gui {

// A skinned panel: numbered controls built from a panel resource and the skin's pictures,
// drawn in the resource's order (the background first). Pointer input goes to the control
// under the pointer; the panel reports presses and value changes to its listener and decides
// nothing itself. Only an active panel draws, takes input and glides; values set on an
// inactive one are taken at once. Coordinates are the panel's own (0, 0 is its top-left).
//
// Used on the user-interface thread only.
class epiAlphaPanel {
 public:
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void controlPressed(epiAlphaPanel& panel, int32_t number) = 0;
    virtual void valueChanged(epiAlphaPanel& panel, int32_t number) = 0;
  };

  // `clock` (milliseconds) times the glides; it must outlive the panel.
  explicit epiAlphaPanel(const TimerClock& clock = systemMillisecondClock());
  virtual ~epiAlphaPanel();
  epiAlphaPanel(const epiAlphaPanel&) = delete;
  epiAlphaPanel& operator=(const epiAlphaPanel&) = delete;

  // Replaces the controls. False, leaving the panel empty, when a picture the resource names
  // is missing or too small for the control's frames. The cache must outlive the panel.
  bool build(const PanelResource& resource, PictureCache& pictures);
  // Panel resource `id` of the file (kPanelType); false when it is missing or malformed too.
  bool load(const framework::ResourceFile& file, uint32_t id, PictureCache& pictures);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  void setListener(Listener* listener) { listener_ = listener; }

  bool active() const { return active_; }
  void setActive(bool active);

  // Calls on control `number`; false when there is no such control or it has no use for the
  // call. A value set on an active panel glides (fast: the short glide).
  bool setValue(int32_t number, int16_t value, bool fastGlide = false);
  int16_t getValue(int32_t number) const;  // 0 for no such control
  bool show(int32_t number) { return setVisible(number, true); }
  bool hide(int32_t number) { return setVisible(number, false); }
  bool setVisible(int32_t number, bool visible);
  bool setEnabled(int32_t number, bool enabled);
  bool setText(int32_t number, const std::string& text);
  // `value` printed with a one-number printf format ("%03d") into a text control.
  bool formatText(int32_t number, const std::string& format, int32_t value);
  bool setProperty(int32_t number, uint32_t code, int32_t a, int32_t b = 0);
  bool listCommand(int32_t number, int32_t command, int32_t argument);
  epiAlphaControl* control(int32_t number) const;

  // Draws the whole panel (nothing while inactive) and clears the changed area.
  void draw(cairo_t* cr);
  // The area whose look changed since the last drawing.
  Rect changedArea();
  // Redraws only the changed area; returns it (empty when nothing changed or inactive).
  Rect drawChanged(cairo_t* cr);
  // Routes mouse input to the controls; true when a control took it.
  bool handleEvent(const platform::InputEvent& event);
  // Advances the glides to the clock's present.
  void tick();

 protected:
  // Called for every press and value change a control reports; they tell the listener.
  virtual void controlPressed(int32_t number);
  virtual void valueChanged(int32_t number);

 private:
  void report(epiAlphaControl& control, const ControlReport& what);
  epiAlphaControl* controlAt(int32_t x, int32_t y) const;
  void drawControls(cairo_t* cr, const Rect& area);

  const TimerClock& clock_;
  Listener* listener_ = nullptr;
  int32_t width_ = 0, height_ = 0;
  bool active_ = true;
  std::vector<std::unique_ptr<epiAlphaControl>> controls_;  // in drawing order
  std::map<int32_t, epiAlphaControl*> byNumber_;
  epiAlphaControl* captured_ = nullptr;  // the control the pointer pressed
  Rect changed_;
};

}  // namespace gui
