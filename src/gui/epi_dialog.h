#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/epi_widget.h"
#include "gui/epi_window.h"

namespace gui {

// A modal dialog window of numbered widgets. While it is open the other windows take no input
// (their keys come here), but the event loop goes on: the dialog lives inside the same passes
// and tells its results by message or by its widgetPressed/widgetChanged, never by a nested
// loop that would hold up a plug-in host.
//
// Enter presses the default button, Escape the cancel button, Tab moves the focus between the
// widgets that take keys; other keys go to the focused widget.
class epiDialog : public epiWindow {
 public:
  static constexpr int32_t kNoButton = -1;

  epiDialog(epiEngineClass& engine, uint32_t identifier);

  // Opens as a modal top-level window of width × height; false when it cannot.
  bool openModal(int32_t width, int32_t height, const std::string& title);

  template <typename Widget>
  Widget& add(std::unique_ptr<Widget> widget) {
    Widget& added = *widget;
    addWidget(std::move(widget));
    return added;
  }
  // Null when there is no widget of that number (or not of that kind).
  epiWidget* widget(int32_t number) const;
  template <typename Widget>
  Widget* widgetAs(int32_t number) const {
    return dynamic_cast<Widget*>(widget(number));
  }

  void setDefaultButton(int32_t number);
  void setCancelButton(int32_t number) { cancelButton_ = number; }

  void keyTyped(int32_t key) override;

 protected:
  // A button was clicked; a widget's value changed by the user's hand.
  virtual void widgetPressed(int32_t /*number*/) {}
  virtual void widgetChanged(int32_t /*number*/) {}

  void drawContent(cairo_t* cr) override;
  Rect drawChangedContent(cairo_t* cr) override;
  bool pointerInput(const platform::InputEvent& event) override;
  void tick() override {}

 private:
  void addWidget(std::unique_ptr<epiWidget> widget);
  void report(epiWidget& widget, const WidgetReport& what);
  epiWidget* widgetAt(int32_t x, int32_t y) const;
  epiWidget* openOverlay() const;
  void focus(epiWidget* widget);
  void focusNext();
  void pressButton(int32_t number);

  std::vector<std::unique_ptr<epiWidget>> widgets_;
  epiWidget* captured_ = nullptr;  // the widget the pointer pressed
  epiWidget* focused_ = nullptr;
  int32_t defaultButton_ = kNoButton;
  int32_t cancelButton_ = kNoButton;
};

}  // namespace gui
