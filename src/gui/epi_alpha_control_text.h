#pragma once

#include <optional>
#include <string>

#include "gui/epi_alpha_control.h"

namespace gui {

// A line of text (the LCD lines, labels) in a bold monospaced face of `fontSize` pixels and
// `textColour`, aligned in the control's frame, over frame 0 of its picture when it has one.
class epiAlphaControl_text : public epiAlphaControl {
 public:
  epiAlphaControl_text(const ControlResource& resource, cairo_surface_t* picture);
  bool setText(const std::string& text) override;
  const std::string& text() const { return text_; }
  void draw(cairo_t* cr) const override;

 private:
  std::string text_;
};

// `value` printed by a printf format holding exactly one integer conversion (flags, width and
// precision allowed) and any text with "%%"; null for any other format, so a format can never
// read arguments that are not there.
std::optional<std::string> formatNumber(const std::string& format, int32_t value);

// Lets go of cairo's and fontconfig's font caches, which live until the process ends, so a leak
// checker sees a clean heap. Only after the last drawing of the program.
void releaseFontCaches();

}  // namespace gui
