#include "gui/epi_alpha_panel.h"

#include <climits>

#include "gui/epi_alpha_control_button.h"
#include "gui/epi_alpha_control_knob.h"
#include "gui/epi_alpha_control_led_meter.h"
#include "gui/epi_alpha_control_picture.h"
#include "gui/epi_alpha_control_rotary.h"
#include "gui/epi_alpha_control_text.h"

namespace gui {

namespace {

std::unique_ptr<epiAlphaControl> makeControl(const ControlResource& resource,
                                             cairo_surface_t* picture) {
  switch (resource.kind) {
    case ControlKind::kImageSelector:
    case ControlKind::kStaticPicture:
      return std::make_unique<epiAlphaControl_picture>(resource, picture);
    case ControlKind::kRotary:
      return std::make_unique<epiAlphaControl_rotary>(resource, picture);
    case ControlKind::kListKnob:
      return std::make_unique<epiAlphaControl_knob>(resource, picture);
    case ControlKind::kLedMeter:
      return std::make_unique<epiAlphaControl_ledMeter>(resource, picture);
    case ControlKind::kSegmentMeter:
      return std::make_unique<epiAlphaControl_segmentMeter>(resource, picture);
    case ControlKind::kMeter:
      return std::make_unique<epiAlphaControl_meter>(resource, picture);
    case ControlKind::kButton:
      return std::make_unique<epiAlphaControl_button>(resource, picture);
    case ControlKind::kCheckButton:
      return std::make_unique<epiAlphaControl_checkButton>(resource, picture);
    case ControlKind::kRadioButton:
      return std::make_unique<epiAlphaControl_radioButton>(resource, picture);
    case ControlKind::kText:
      return std::make_unique<epiAlphaControl_text>(resource, picture);
    case ControlKind::kScrollingText:
      return std::make_unique<epiAlphaControl_scrollingText>(resource, picture);
  }
  return nullptr;
}

// The strip must hold every frame the control may show; a scrolling picture may be any height.
bool pictureFits(cairo_surface_t* picture, const ControlResource& resource) {
  const int64_t rows =
      resource.kind == ControlKind::kScrollingText ? 0 : int64_t(resource.frames) * resource.height;
  return resource.frames >= 1 && cairo_image_surface_get_width(picture) >= resource.width &&
         cairo_image_surface_get_height(picture) >= rows;
}

}  // namespace

epiAlphaPanel::epiAlphaPanel(const TimerClock& clock) : clock_(clock) {}

epiAlphaPanel::~epiAlphaPanel() = default;

bool epiAlphaPanel::build(const PanelResource& resource, PictureCache& pictures) {
  controls_.clear();
  byNumber_.clear();
  captured_ = nullptr;
  width_ = height_ = 0;
  changed_ = {};

  std::vector<std::unique_ptr<epiAlphaControl>> controls;
  std::map<int32_t, epiAlphaControl*> byNumber;
  for (const auto& item : resource.controls) {
    cairo_surface_t* picture = nullptr;
    if (item.picture != 0) {
      picture = pictures.picture(item.picture);
      if (!picture || !pictureFits(picture, item)) return false;
    }
    auto control = makeControl(item, picture);
    if (!control || !byNumber.emplace(item.number, control.get()).second) return false;
    // A property a kind has no use for is the skin's slip, not a reason to refuse the panel.
    for (const auto& property : item.properties)
      control->setProperty(property.code, property.a, property.b);
    controls.push_back(std::move(control));
  }
  controls_ = std::move(controls);
  byNumber_ = std::move(byNumber);
  width_ = resource.width;
  height_ = resource.height;
  changed_ = {0, 0, width_, height_};
  return true;
}

bool epiAlphaPanel::load(const framework::ResourceFile& file, uint32_t id, PictureCache& pictures) {
  const auto bytes = file.read(kPanelType, id);
  const auto resource = bytes ? parsePanel(*bytes) : std::nullopt;
  if (!resource) {
    build(PanelResource{}, pictures);  // no controls left from before
    return false;
  }
  return build(*resource, pictures);
}

void epiAlphaPanel::setActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (active) {
    changed_ = {0, 0, width_, height_};
    return;
  }
  // A gesture in progress ends without a word; glides jump to their targets.
  if (captured_) {
    captured_->release(INT_MIN, INT_MIN);
    captured_ = nullptr;
  }
  for (auto& control : controls_)
    control->finishGlide();
}

epiAlphaControl* epiAlphaPanel::control(int32_t number) const {
  const auto it = byNumber_.find(number);
  return it == byNumber_.end() ? nullptr : it->second;
}

bool epiAlphaPanel::setValue(int32_t number, int16_t value, bool fastGlide) {
  auto* target = control(number);
  if (!target) return false;
  if (active_) {
    target->glideTo(value, clock_.now(), fastGlide);
  } else {
    target->setValue(value);
  }
  return true;
}

int16_t epiAlphaPanel::getValue(int32_t number) const {
  const auto* target = control(number);
  return target ? target->value() : 0;
}

bool epiAlphaPanel::setVisible(int32_t number, bool visible) {
  auto* target = control(number);
  if (!target) return false;
  target->setVisible(visible);
  return true;
}

bool epiAlphaPanel::setEnabled(int32_t number, bool enabled) {
  auto* target = control(number);
  if (!target) return false;
  target->setEnabled(enabled);
  return true;
}

bool epiAlphaPanel::setText(int32_t number, const std::string& text) {
  auto* target = control(number);
  return target && target->setText(text);
}

bool epiAlphaPanel::formatText(int32_t number, const std::string& format, int32_t value) {
  auto* target = control(number);
  const auto text = formatNumber(format, value);
  return target && text && target->setText(*text);
}

bool epiAlphaPanel::setProperty(int32_t number, uint32_t code, int32_t a, int32_t b) {
  auto* target = control(number);
  return target && target->setProperty(code, a, b);
}

bool epiAlphaPanel::listCommand(int32_t number, int32_t command, int32_t argument) {
  auto* target = control(number);
  return target && target->listCommand(command, argument);
}

Rect epiAlphaPanel::changedArea() {
  for (auto& control : controls_) {
    if (control->takeDirty()) changed_ = changed_.united(control->bounds());
  }
  return changed_;
}

void epiAlphaPanel::drawControls(cairo_t* cr, const Rect& area) {
  for (const auto& control : controls_) {
    if (control->visible() && control->bounds().intersects(area)) control->draw(cr);
  }
}

void epiAlphaPanel::draw(cairo_t* cr) {
  if (!active_) return;
  changedArea();
  drawControls(cr, {0, 0, width_, height_});
  changed_ = {};
}

Rect epiAlphaPanel::drawChanged(cairo_t* cr) {
  if (!active_) return {};
  const Rect area = changedArea();
  if (area.empty()) return {};
  cairo_save(cr);
  cairo_rectangle(cr, area.x, area.y, area.width, area.height);
  cairo_clip(cr);
  drawControls(cr, area);
  cairo_restore(cr);
  changed_ = {};
  return area;
}

epiAlphaControl* epiAlphaPanel::controlAt(int32_t x, int32_t y) const {
  // The last drawn is on top.
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    if ((*it)->visible() && (*it)->bounds().contains(x, y)) return it->get();
  }
  return nullptr;
}

bool epiAlphaPanel::handleEvent(const platform::InputEvent& event) {
  using Type = platform::InputEvent::Type;
  if (!active_) return false;
  switch (event.type) {
    case Type::kButtonPress: {
      if (event.button != 1) return false;
      auto* target = controlAt(event.x, event.y);
      if (!target) return false;
      if (!target->enabled()) return true;
      captured_ = target;
      report(*target, target->press(event.x, event.y, event.modifiers));
      return true;
    }
    case Type::kMotion:
      if (!captured_) return false;
      report(*captured_, captured_->move(event.x, event.y, event.modifiers));
      return true;
    case Type::kButtonRelease: {
      if (!captured_ || event.button != 1) return false;
      auto* target = captured_;
      captured_ = nullptr;
      report(*target, target->release(event.x, event.y));
      return true;
    }
    default:
      return false;
  }
}

void epiAlphaPanel::tick() {
  if (!active_) return;
  const uint64_t now = clock_.now();
  for (auto& control : controls_)
    control->tick(now);
}

void epiAlphaPanel::report(epiAlphaControl& control, const ControlReport& what) {
  const int32_t number = control.number();
  if (what.changed) valueChanged(number);
  if (what.pressed) controlPressed(number);
}

void epiAlphaPanel::controlPressed(int32_t number) {
  if (listener_) listener_->controlPressed(*this, number);
}

void epiAlphaPanel::valueChanged(int32_t number) {
  if (listener_) listener_->valueChanged(*this, number);
}

}  // namespace gui
