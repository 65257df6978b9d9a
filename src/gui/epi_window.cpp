#include "gui/epi_window.h"

#include <utility>

#include "gui/epi_engine_class.h"
#include "gui/epi_widget_look.h"

namespace gui {

namespace {

using platform::InputEvent;
using Type = InputEvent::Type;

// X keysyms of the keys that type a control character.
constexpr uint32_t kKeyBackSpace = 0xff08, kKeyTab = 0xff09, kKeyReturn = 0xff0d;
constexpr uint32_t kKeyEscape = 0xff1b, kKeyEnter = 0xff8d, kKeyDelete = 0xffff;

// The key as keyTyped() gets it; 0 for a key that types nothing (Shift, Ctrl+letter, ...).
int32_t keyCode(const InputEvent& event) {
  switch (event.keysym) {
    case kKeyBackSpace:
      return 8;
    case kKeyTab:
      return 9;
    case kKeyReturn:
    case kKeyEnter:
      return 13;
    case kKeyEscape:
      return 27;
    case kKeyDelete:
      return 127;
    default:
      break;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(event.text);
  if (bytes[0] < 0x80) return bytes[0];
  const int length = bytes[0] >= 0xf0 ? 4 : bytes[0] >= 0xe0 ? 3 : 2;
  int32_t code = bytes[0] & (0x3f >> (length - 1));
  for (int i = 1; i < length; ++i)
    code = (code << 6) | (bytes[i] & 0x3f);
  return code;
}

bool isPointer(Type type) {
  return type == Type::kButtonPress || type == Type::kButtonRelease || type == Type::kMotion ||
         type == Type::kWheel;
}

}  // namespace

epiWindow::epiWindow(epiEngineClass& engine, uint32_t identifier)
    : engine_(engine), identifier_(identifier) {}

epiWindow::~epiWindow() {
  close();
}

bool epiWindow::openTopLevel(int32_t width, int32_t height, const std::string& title) {
  platform::NativeDisplay* display = engine_.display();
  if (isOpen() || !display) return false;
  topLevel_ = true;
  if (!adopt(display->createTopLevel(width, height + contentTop(), title))) return false;
  native_->show();
  return true;
}

bool epiWindow::openInside(uint64_t parent, int32_t x, int32_t y, int32_t width, int32_t height) {
  platform::NativeDisplay* display = engine_.display();
  if (isOpen() || !display) return false;
  topLevel_ = false;
  return adopt(display->createChild(parent, x, y, width, height));
}

bool epiWindow::adopt(std::unique_ptr<platform::NativeWindow> window) {
  if (!window) return false;
  native_ = std::move(window);
  native_->onEvent = [this](const InputEvent& event) { handleEvent(event); };
  engine_.enrol(*this);
  redrawAll_ = true;
  refresh();
  return true;
}

void epiWindow::close() {
  if (!native_ || closing_) return;
  closing_ = true;
  closeWindow();
  closeMenus();
  native_.reset();
  engine_.withdraw(*this);
  closing_ = false;
}

uint64_t epiWindow::nativeHandle() const {
  return native_ ? native_->id() : foreignHandle_;
}

int32_t epiWindow::width() const {
  return native_ ? native_->width() : 0;
}

int32_t epiWindow::height() const {
  return native_ ? native_->height() : 0;
}

void epiWindow::setTitle(const std::string& title) {
  if (native_) native_->setTitle(title);
}

epiAlphaPanel& epiWindow::addPanel(std::unique_ptr<epiAlphaPanel> panel) {
  panel->setListener(this);
  panel->setActive(panels_.empty());
  panels_.push_back(std::move(panel));
  invalidate();
  return *panels_.back();
}

epiAlphaPanel* epiWindow::panel(int32_t index) const {
  if (index < 0 || index >= panelCount()) return nullptr;
  return panels_[static_cast<size_t>(index)].get();
}

int32_t epiWindow::panelIndex(const epiAlphaPanel& panel) const {
  for (int32_t i = 0; i < panelCount(); ++i) {
    if (panels_[static_cast<size_t>(i)].get() == &panel) return i;
  }
  return -1;
}

epiAlphaPanel* epiWindow::activePanel() const {
  for (const auto& candidate : panels_) {
    if (candidate->active()) return candidate.get();
  }
  return nullptr;
}

void epiWindow::showPanel(int32_t index) {
  // The outgoing panel first, so that a gesture in progress ends before the other begins.
  for (int32_t i = 0; i < panelCount(); ++i) {
    if (i != index) panels_[static_cast<size_t>(i)]->setActive(false);
  }
  if (epiAlphaPanel* shown = panel(index)) shown->setActive(true);
  invalidate();
}

bool epiWindow::setControlValue(int32_t panel, int32_t control, int16_t value) {
  epiAlphaPanel* target = this->panel(panel);
  return target && target->setValue(control, value);
}

int16_t epiWindow::getControlValue(int32_t panel, int32_t control) const {
  const epiAlphaPanel* target = this->panel(panel);
  return target ? target->getValue(control) : 0;
}

bool epiWindow::sendControlCommand(int32_t panel, int32_t control, int32_t command, int32_t value) {
  epiAlphaPanel* target = this->panel(panel);
  return target && target->listCommand(control, command, value);
}

bool epiWindow::setItemText(int32_t panel, int32_t item, const std::string& text) {
  epiAlphaPanel* target = this->panel(panel);
  return target && target->setText(item, text);
}

bool epiWindow::formatItemText(int32_t panel, int32_t item, const std::string& format,
                               int32_t value) {
  epiAlphaPanel* target = this->panel(panel);
  return target && target->formatText(item, format, value);
}

bool epiWindow::showControl(int32_t panel, int32_t control, bool shown) {
  epiAlphaPanel* target = this->panel(panel);
  return target && target->setVisible(control, shown);
}

bool epiWindow::hasBar() const {
  return topLevel_ && !menuBar_.empty();
}

int32_t epiWindow::contentTop() const {
  return hasBar() ? epiMenuBar::kHeight : 0;
}

bool epiWindow::checkMenuItem(int32_t group, int32_t item, bool on) {
  epiMenu* menu = menuBar_.menu(group);
  if (!menu || !menu->check(item, on)) return false;
  menusChanged();
  return true;
}

bool epiWindow::renameMenuItem(int32_t group, int32_t item, const std::string& text) {
  epiMenu* menu = menuBar_.menu(group);
  if (!menu || !menu->rename(item, text)) return false;
  menusChanged();
  return true;
}

bool epiWindow::enableMenuItem(int32_t group, int32_t item, bool on) {
  epiMenu* menu = menuBar_.menu(group);
  if (!menu || !menu->enable(item, on)) return false;
  menusChanged();
  return true;
}

void epiWindow::enableMenus(bool on) {
  menuBar_.setEnabled(on);
  menusChanged();
}

void epiWindow::closeMenus() {
  menuBar_.close();
  menusChanged();
}

// Open menus show their items' new state at once.
void epiWindow::menusChanged() {
  menuBar_.relayout();
  syncPopups();
}

void epiWindow::syncPopups() {
  const auto& open = menuBar_.popups();
  size_t same = 0;
  while (same < popups_.size() && same < open.size() && popupAreas_[same] == open[same].area)
    ++same;
  popups_.resize(same);
  popupAreas_.resize(same);
  platform::NativeDisplay* display = engine_.display();
  for (size_t level = same; level < open.size() && native_ && display; ++level) {
    const Rect& area = open[level].area;
    auto popup = display->createChild(native_->id(), area.x, area.y, area.width, area.height);
    if (!popup) break;
    popup->onEvent = [this, level](const InputEvent& event) { handlePopupEvent(level, event); };
    popups_.push_back(std::move(popup));
    popupAreas_.push_back(area);
  }
  for (size_t level = 0; level < popups_.size(); ++level) {
    platform::NativeWindow& popup = *popups_[level];
    cairo_t* cr = cairo_create(popup.backBuffer());
    menuBar_.drawPopup(cr, open[level]);
    cairo_destroy(cr);
    popup.presentAll();
  }
  if (menuBar_.tracking())
    engine_.setMenuWindow(this);
  else if (engine_.menuWindow() == this)
    engine_.setMenuWindow(nullptr);
}

void epiWindow::handleEvent(const InputEvent& event) {
  switch (event.type) {
    case Type::kResize:
      closeMenus();
      invalidate();
      return;
    case Type::kClose:
      closeRequested();
      return;
    case Type::kDestroyed:
      close();
      return;
    case Type::kKeyPress:
      handleKey(event);
      return;
    default:
      if (isPointer(event.type)) handlePointer(event);
      return;
  }
}

void epiWindow::handleKey(const InputEvent& event) {
  const auto& hook = engine_.keyboardHook();
  if (hook && hook(*this, event)) return;
  epiWindow* modal = engine_.modalWindow();
  epiWindow& target = modal ? *modal : *this;
  const int32_t key = keyCode(event);
  if (epiWindow* menus = engine_.menuWindow()) {
    if (key == 27) menus->closeMenus();
    return;
  }
  if (key != 0) target.keyTyped(key);
}

// The popup's own coordinates become the window's; the menus then see one pointer whichever
// window X reports it in (while a button is held, X reports to the window pressed).
void epiWindow::handlePopupEvent(size_t level, InputEvent event) {
  if (!isPointer(event.type) || level >= popupAreas_.size()) return;
  event.x += popupAreas_[level].x;
  event.y += popupAreas_[level].y;
  handlePointer(event);
}

void epiWindow::handlePointer(const InputEvent& event) {
  epiWindow* modal = engine_.modalWindow();
  if (modal && modal != this) return;
  epiWindow* menus = engine_.menuWindow();
  if (menus && menus != this) {
    if (event.type == Type::kButtonPress) menus->closeMenus();
    return;
  }
  if (hasBar()) {
    const auto outcome = menuBar_.handle(event, width(), height());
    syncPopups();
    if (outcome.command != 0) handleCommand(outcome.command);
    if (outcome.taken) return;
  }
  pointerInput(event);
}

bool epiWindow::pointerInput(const InputEvent& event) {
  epiAlphaPanel* target = activePanel();
  if (!target) return false;
  InputEvent inPanel = event;
  inPanel.y -= contentTop();
  return target->handleEvent(inPanel);
}

void epiWindow::tick() {
  for (auto& each : panels_)
    each->tick();
}

void epiWindow::drawContent(cairo_t* cr) {
  for (auto& each : panels_) {
    cairo_save(cr);
    cairo_translate(cr, 0, contentTop());
    cairo_rectangle(cr, 0, 0, each->width(), each->height());
    cairo_clip(cr);
    each->draw(cr);
    cairo_restore(cr);
  }
}

Rect epiWindow::drawChangedContent(cairo_t* cr) {
  Rect drawn;
  for (auto& each : panels_) {
    cairo_save(cr);
    cairo_translate(cr, 0, contentTop());
    cairo_rectangle(cr, 0, 0, each->width(), each->height());
    cairo_clip(cr);
    Rect area = each->drawChanged(cr);
    cairo_restore(cr);
    area.y += contentTop();
    drawn = drawn.united(area);
  }
  return drawn;
}

void epiWindow::drawAll(cairo_t* cr) {
  look::fill(cr, {0, 0, width(), height()}, look::kWindow);
  if (hasBar()) menuBar_.draw(cr, width());
  drawContent(cr);
}

void epiWindow::refresh() {
  if (!native_) return;
  tick();
  cairo_t* cr = cairo_create(native_->backBuffer());
  Rect shown;
  const bool barChanged = menuBar_.takeChanged();
  if (redrawAll_) {
    drawAll(cr);
    shown = {0, 0, width(), height()};
    redrawAll_ = false;
  } else {
    if (barChanged && hasBar()) {
      menuBar_.draw(cr, width());
      shown = {0, 0, width(), epiMenuBar::kHeight};
    }
    shown = shown.united(drawChangedContent(cr));
  }
  cairo_destroy(cr);
  if (!shown.empty()) native_->present(shown.x, shown.y, shown.width, shown.height);
}

bool epiWindow::writePng(const std::string& path) {
  if (!native_) return false;
  invalidate();
  refresh();
  return native_->writePng(path);
}

bool epiWindow::handleMessage(const epiMessage& message) {
  if (message.code != kMessageWindowHandle) return false;
  foreignHandle_ = message.handle;
  return true;
}

void epiWindow::controlPressed(epiAlphaPanel& panel, int32_t number) {
  controlClicked(panelIndex(panel), number);
}

void epiWindow::valueChanged(epiAlphaPanel& panel, int32_t number) {
  controlChanged(panelIndex(panel), number);
}

}  // namespace gui
