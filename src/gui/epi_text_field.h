#pragma once

#include <cstddef>
#include <string>

#include "gui/epi_widget.h"

namespace gui {

// One line of editable UTF-8 text: typed characters go to its end, Backspace takes the last
// character off. Reports a change for every edit.
class epiTextField : public epiWidget {
 public:
  epiTextField(int32_t number, const Rect& bounds, size_t maxCharacters = 255);

  const std::string& text() const { return text_; }
  void setText(std::string text);

  bool takesKeys() const override { return true; }
  void draw(cairo_t* cr) const override;
  WidgetReport key(int32_t key) override;

 private:
  size_t characters() const;

  std::string text_;
  size_t maxCharacters_;
};

}  // namespace gui
