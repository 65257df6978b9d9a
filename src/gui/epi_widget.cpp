#include "gui/epi_widget.h"

#include <utility>

namespace gui {

void epiWidget::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled) closeOverlay();
  markDirty();
}

void epiWidget::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (!visible) closeOverlay();
  markDirty();
}

void epiWidget::setFocused(bool focused) {
  if (focused == focused_) return;
  focused_ = focused;
  markDirty();
}

bool epiWidget::takeDirty() {
  return std::exchange(dirty_, false);
}

}  // namespace gui
