#include "ui/eva_panel.h"

#include "ui/eva_window.h"

namespace ui {

evaPanel::evaPanel(evaWindow& window, int32_t number, const gui::TimerClock& clock)
    : epiAlphaPanel(clock), window_(window), number_(number) {}

void evaPanel::controlPressed(int32_t control) {
  window_.noteControl(number_, control);
  epiAlphaPanel::controlPressed(control);
}

void evaPanel::valueChanged(int32_t control) {
  window_.noteControl(number_, control);
  epiAlphaPanel::valueChanged(control);
}

}  // namespace ui
