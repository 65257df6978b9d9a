#pragma once

#include <cstdint>

#include "gui/epi_alpha_panel.h"

namespace ui {

class evaWindow;

// A panel of the main window: it knows its window and its own number there (0 the front panel,
// 1 the about panel), and records in the window which control was pressed or changed last before
// the window hears of it.
class evaPanel : public gui::epiAlphaPanel {
 public:
  evaPanel(evaWindow& window, int32_t number, const gui::TimerClock& clock);

  evaWindow& window() const { return window_; }
  int32_t number() const { return number_; }

 protected:
  void controlPressed(int32_t control) override;
  void valueChanged(int32_t control) override;

 private:
  evaWindow& window_;
  const int32_t number_;
};

}  // namespace ui
