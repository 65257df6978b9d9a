#include "gui/epi_text_dialog.h"

#include <memory>

#include "gui/epi_engine_class.h"
#include "gui/epi_label.h"
#include "gui/epi_push_button.h"
#include "gui/epi_text_field.h"

namespace gui {

epiTextDialog* epiTextDialog::open(epiEngineClass& engine, const std::string& prompt,
                                   const std::string& text, uint32_t dialogId, uint32_t replyTo) {
  auto dialog = std::make_unique<epiTextDialog>(engine, prompt, text, dialogId, replyTo);
  if (!dialog->openModal(kWidth, kHeight, prompt)) return nullptr;
  return &static_cast<epiTextDialog&>(engine.adopt(std::move(dialog)));
}

epiTextDialog::epiTextDialog(epiEngineClass& engine, const std::string& prompt,
                             const std::string& text, uint32_t dialogId, uint32_t replyTo)
    : epiDialog(engine, dialogId), replyTo_(replyTo) {
  add(std::make_unique<epiLabel>(kPrompt, Rect{12, 10, kWidth - 24, 20}, prompt));
  add(std::make_unique<epiTextField>(kField, Rect{12, 36, kWidth - 24, 24})).setText(text);
  add(std::make_unique<epiPushButton>(kOk, Rect{kWidth - 180, 76, 78, 28}, "OK"));
  add(std::make_unique<epiPushButton>(kCancel, Rect{kWidth - 90, 76, 78, 28}, "Cancel"));
  setDefaultButton(kOk);
  setCancelButton(kCancel);
}

const std::string& epiTextDialog::text() const {
  return widgetAs<epiTextField>(kField)->text();
}

void epiTextDialog::widgetPressed(int32_t number) {
  if (number == kOk || number == kCancel) finish(number == kOk);
}

void epiTextDialog::finish(bool confirmed) {
  if (!isOpen()) return;
  engine().post({.target = replyTo_,
                 .code = kMessageModalReply,
                 .value = confirmed ? 1 : 0,
                 .source = identifier(),
                 .text = text()});
  close();
}

}  // namespace gui
