#include "gui/epi_message_box.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

#include "gui/epi_engine_class.h"
#include "gui/epi_label.h"
#include "gui/epi_push_button.h"
#include "gui/epi_widget_look.h"

namespace gui {

namespace {

constexpr int32_t kMargin = 16;
constexpr int32_t kSign = 32;  // the exclamation sign's side
constexpr int32_t kLineHeight = 20;
constexpr int32_t kButtonWidth = 78, kButtonHeight = 28;
constexpr int32_t kMinimumWidth = 240;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  if (lines.empty()) lines.emplace_back();
  return lines;
}

void drawSign(cairo_t* cr, double x, double y) {
  cairo_move_to(cr, x + kSign / 2.0, y);
  cairo_line_to(cr, x + kSign, y + kSign);
  cairo_line_to(cr, x, y + kSign);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.96, 0.76, 0.1);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  cairo_rectangle(cr, x + kSign / 2.0 - 1.5, y + 10, 3, 12);
  cairo_rectangle(cr, x + kSign / 2.0 - 1.5, y + 25, 3, 3);
  cairo_fill(cr);
}

}  // namespace

epiMessageBox* epiMessageBox::show(epiEngineClass& engine, const std::string& text) {
  auto box = std::make_unique<epiMessageBox>(engine, text);
  if (!box->openModal(box->width_, box->height_, kCaption)) {
    std::fprintf(stderr, "%s: %s\n", kCaption, text.c_str());
    return nullptr;
  }
  return &static_cast<epiMessageBox&>(engine.adopt(std::move(box)));
}

epiMessageBox::epiMessageBox(epiEngineClass& engine, const std::string& text)
    : epiDialog(engine, kIdentifier), text_(text) {
  if (epiWindow* first = engine.firstOpenWindow()) owner_ = first->identifier();
  const auto lines = linesOf(text);
  double widest = 0;
  for (const auto& line : lines)
    widest = std::max(widest, look::textWidth(line));
  const int32_t textLeft = kMargin + kSign + kMargin;
  width_ = std::max(kMinimumWidth, textLeft + static_cast<int32_t>(std::ceil(widest)) + kMargin);
  const auto textHeight = static_cast<int32_t>(lines.size()) * kLineHeight;
  const int32_t buttonTop = kMargin + std::max(kSign, textHeight) + kMargin;
  height_ = buttonTop + kButtonHeight + kMargin;
  for (size_t i = 0; i < lines.size(); ++i) {
    const int32_t top = kMargin + std::max(0, (kSign - textHeight) / 2);
    add(std::make_unique<epiLabel>(kFirstLine + static_cast<int32_t>(i),
                                   Rect{textLeft, top + static_cast<int32_t>(i) * kLineHeight,
                                        width_ - textLeft - kMargin, kLineHeight},
                                   lines[i]));
  }
  add(std::make_unique<epiPushButton>(
      kOk, Rect{(width_ - kButtonWidth) / 2, buttonTop, kButtonWidth, kButtonHeight}, "OK"));
  setDefaultButton(kOk);
  setCancelButton(kOk);
}

void epiMessageBox::widgetPressed(int32_t number) {
  if (number == kOk) close();
}

void epiMessageBox::drawContent(cairo_t* cr) {
  epiDialog::drawContent(cr);
  drawSign(cr, kMargin, kMargin);
}

}  // namespace gui
