#pragma once

#include <cstdint>
#include <string>

#include "gui/epi_dialog.h"

namespace gui {

// The modal text-entry dialog: a prompt, a field holding the initial text, OK and Cancel.
// Closing it posts kMessageModalReply to the window `replyTo` with source = the dialog id,
// value = 1 when confirmed (OK, Enter) and 0 when cancelled (Cancel, Escape, the close button),
// and the field's text.
class epiTextDialog : public epiDialog {
 public:
  enum Widget : int32_t { kPrompt = 1, kField = 2, kOk = 3, kCancel = 4 };
  static constexpr int32_t kWidth = 320, kHeight = 116;

  // Opens the dialog, owned by the engine until it closes; its window identifier is the
  // dialog id. Null when it cannot open (no display).
  static epiTextDialog* open(epiEngineClass& engine, const std::string& prompt,
                             const std::string& text, uint32_t dialogId, uint32_t replyTo);

  epiTextDialog(epiEngineClass& engine, const std::string& prompt, const std::string& text,
                uint32_t dialogId, uint32_t replyTo);

  const std::string& text() const;

  void closeRequested() override { finish(false); }

 protected:
  void widgetPressed(int32_t number) override;

 private:
  void finish(bool confirmed);

  uint32_t replyTo_;
};

}  // namespace gui
