#include "ui/program_name_edit.h"

#include <cctype>

namespace ui {
namespace {

constexpr char kCursor = '_';

std::string upper(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

void ProgramNameEdit::begin(int32_t program, const char* name) {
  editing_ = true;
  blinkOn_ = true;
  target_ = program < kProtectedPrograms ? program + kProtectedPrograms : program;
  text_ = upper(std::string(name ? name : "").substr(0, kMaxLength)) + kCursor;
}

void ProgramNameEdit::step(int32_t step) {
  target_ = (target_ + kProgramCount + step) % kProgramCount;
  if (step > 0 && target_ == 0) target_ = kProtectedPrograms;
  if (step < 0 && target_ == kProtectedPrograms - 1) target_ = kProgramCount - 1;
}

void ProgramNameEdit::dropCursor() {
  if (!text_.empty()) text_.pop_back();
}

ProgramNameEdit::Typed ProgramNameEdit::type(int32_t key) {
  if (key == 13) return Typed::kCommit;
  if (key == 8) {
    dropCursor();
    dropCursor();
    text_ += kCursor;
    return Typed::kChanged;
  }
  // Printable ASCII only: Delete (127) and the codes above would put bytes into the program's
  // name that no display can show.
  if (key < 32 || key > 126 || text_.size() >= kMaxLength) return Typed::kIgnored;
  dropCursor();
  text_ += static_cast<char>(key);
  text_ += kCursor;
  text_ = upper(text_);
  return Typed::kChanged;
}

std::string ProgramNameEdit::name() const {
  return text_.empty() ? text_ : text_.substr(0, text_.size() - 1);
}

}  // namespace ui
