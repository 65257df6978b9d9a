#pragma once

#include <string>

#include "gui/epi_widget.h"
#include "gui/epi_widget_look.h"

namespace gui {

// One line of text; takes no input.
class epiLabel : public epiWidget {
 public:
  epiLabel(int32_t number, const Rect& bounds, std::string text,
           look::Align align = look::Align::kLeft);

  const std::string& text() const { return text_; }
  void setText(std::string text);

  void draw(cairo_t* cr) const override;

 private:
  std::string text_;
  look::Align align_;
};

}  // namespace gui
