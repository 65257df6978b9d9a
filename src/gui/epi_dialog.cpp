#include "gui/epi_dialog.h"

#include <algorithm>

#include "gui/epi_list_control.h"
#include "gui/epi_push_button.h"
#include "gui/epi_widget_look.h"

namespace gui {

namespace {

using platform::InputEvent;
using Type = InputEvent::Type;

bool usable(const epiWidget& widget) {
  return widget.visible() && widget.enabled();
}

}  // namespace

epiDialog::epiDialog(epiEngineClass& engine, uint32_t identifier) : epiWindow(engine, identifier) {
  setModal(true);
}

bool epiDialog::openModal(int32_t width, int32_t height, const std::string& title) {
  for (auto& each : widgets_) {
    if (auto* list = dynamic_cast<epiListControl*>(each.get())) list->setRoom(height);
  }
  return openTopLevel(width, height, title);
}

void epiDialog::addWidget(std::unique_ptr<epiWidget> widget) {
  if (auto* list = dynamic_cast<epiListControl*>(widget.get())) list->setRoom(height());
  widgets_.push_back(std::move(widget));
  if (!focused_ && widgets_.back()->takesKeys()) focus(widgets_.back().get());
  invalidate();
}

epiWidget* epiDialog::widget(int32_t number) const {
  for (const auto& each : widgets_) {
    if (each->number() == number) return each.get();
  }
  return nullptr;
}

void epiDialog::setDefaultButton(int32_t number) {
  if (auto* old = widgetAs<epiPushButton>(defaultButton_)) old->setDefault(false);
  defaultButton_ = number;
  if (auto* button = widgetAs<epiPushButton>(number)) button->setDefault(true);
}

void epiDialog::focus(epiWidget* widget) {
  if (widget == focused_) return;
  if (focused_) focused_->setFocused(false);
  focused_ = widget;
  if (focused_) focused_->setFocused(true);
}

void epiDialog::focusNext() {
  const auto start = std::find_if(widgets_.begin(), widgets_.end(),
                                  [&](const auto& each) { return each.get() == focused_; });
  const size_t from = start == widgets_.end() ? 0 : size_t(start - widgets_.begin()) + 1;
  for (size_t step = 0; step < widgets_.size(); ++step) {
    epiWidget& candidate = *widgets_[(from + step) % widgets_.size()];
    if (candidate.takesKeys() && usable(candidate)) {
      focus(&candidate);
      return;
    }
  }
}

void epiDialog::pressButton(int32_t number) {
  epiWidget* button = widget(number);
  if (button && usable(*button)) report(*button, {.pressed = true});
}

void epiDialog::keyTyped(int32_t key) {
  if (epiWidget* open = openOverlay()) {
    if (key == 27) open->closeOverlay();
    return;
  }
  if (key == 13) return pressButton(defaultButton_);
  if (key == 27) return pressButton(cancelButton_);
  if (key == 9) return focusNext();
  if (focused_ && usable(*focused_)) report(*focused_, focused_->key(key));
}

epiWidget* epiDialog::widgetAt(int32_t x, int32_t y) const {
  for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it) {
    if (usable(**it) && (*it)->bounds().contains(x, y)) return it->get();
  }
  return nullptr;
}

epiWidget* epiDialog::openOverlay() const {
  for (const auto& each : widgets_) {
    if (!each->overlay().empty()) return each.get();
  }
  return nullptr;
}

bool epiDialog::pointerInput(const InputEvent& event) {
  epiWidget* open = openOverlay();
  switch (event.type) {
    case Type::kButtonPress: {
      if (event.button != 1) return false;
      epiWidget* target = open ? open : widgetAt(event.x, event.y);
      if (open && !open->overlay().contains(event.x, event.y) &&
          !open->bounds().contains(event.x, event.y)) {
        // A click beside an open list only closes it.
        open->closeOverlay();
        return true;
      }
      if (!target) return false;
      captured_ = target;
      if (target->takesKeys()) focus(target);
      report(*target, target->press(event.x, event.y));
      return true;
    }
    case Type::kMotion: {
      epiWidget* target = captured_ ? captured_ : open;
      if (target) report(*target, target->move(event.x, event.y));
      return target != nullptr;
    }
    case Type::kButtonRelease: {
      if (!captured_ || event.button != 1) return false;
      epiWidget* target = captured_;
      captured_ = nullptr;
      report(*target, target->release(event.x, event.y));
      return true;
    }
    case Type::kWheel:
      if (open) report(*open, open->wheel(event.wheel));
      return open != nullptr;
    default:
      return false;
  }
}

void epiDialog::report(epiWidget& widget, const WidgetReport& what) {
  const int32_t number = widget.number();
  if (what.changed) widgetChanged(number);
  if (what.pressed) widgetPressed(number);
}

void epiDialog::drawContent(cairo_t* cr) {
  look::fill(cr, {0, 0, width(), height()}, look::kFace);
  epiWidget* open = nullptr;
  for (const auto& each : widgets_) {
    each->takeDirty();
    if (each->visible()) each->draw(cr);
    if (!each->overlay().empty()) open = each.get();
  }
  if (open) open->drawOverlay(cr);
}

// Dialogs are small: any change draws them whole.
Rect epiDialog::drawChangedContent(cairo_t* cr) {
  const bool changed = std::count_if(widgets_.begin(), widgets_.end(),
                                     [](const auto& each) { return each->takeDirty(); }) > 0;
  if (!changed) return {};
  drawContent(cr);
  return {0, 0, width(), height()};
}

}  // namespace gui
