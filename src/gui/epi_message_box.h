#pragma once

#include <cstdint>
#include <string>

#include "framework/four_cc.h"
#include "gui/epi_dialog.h"

namespace gui {

// The warning box: an exclamation sign, the text and OK, captioned "Attenzione". It is owned
// by the first open window (or by none) and modal; OK, Enter, Escape and the close button close
// it. The caller goes on at once; the box lives in the event loop's passes until it closes.
class epiMessageBox : public epiDialog {
 public:
  static constexpr uint32_t kIdentifier = framework::fourCC("mbox");
  static constexpr const char* kCaption = "Attenzione";
  enum Widget : int32_t { kOk = 1, kFirstLine = 2 };

  // Shows `text` (lines split at '\n'), owned by the engine until it closes. Without a display
  // the text goes to stderr with the caption, and the result is null.
  static epiMessageBox* show(epiEngineClass& engine, const std::string& text);

  epiMessageBox(epiEngineClass& engine, const std::string& text);

  const std::string& text() const { return text_; }
  // The identifier of the window that owns it; 0 for none.
  uint32_t owner() const { return owner_; }

 protected:
  void widgetPressed(int32_t number) override;
  void drawContent(cairo_t* cr) override;

 private:
  std::string text_;
  uint32_t owner_ = 0;
  int32_t width_ = 0, height_ = 0;
};

}  // namespace gui
