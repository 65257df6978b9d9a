#pragma once

#include <cstdint>
#include <string>

namespace ui {

// The naming of a program on the front panel: the program the name will be stored into and the
// name being typed, in upper case with a `_` cursor at its end. Programs 1-32 are never a
// target: an edit begun on one of them stores into the program 32 places on, and stepping
// skips them.
class ProgramNameEdit {
 public:
  static constexpr int32_t kProgramCount = 128;
  static constexpr int32_t kProtectedPrograms = 32;
  // The longest name taken from the program at the start; typing stops when the text, cursor
  // included, is this long.
  static constexpr size_t kMaxLength = 20;

  enum class Typed { kIgnored, kChanged, kCommit };

  void begin(int32_t program, const char* name);
  void end() { editing_ = false; }
  bool editing() const { return editing_; }

  int32_t target() const { return target_; }
  // The target by -1, 0 or +1 round the programs that may be targets.
  void step(int32_t step);

  // A typed key: 8 Backspace, 13 Enter (commit), a printable character.
  Typed type(int32_t key);
  // The name with its cursor, as the LCD shows it.
  const std::string& text() const { return text_; }
  // The name to store: the text without its cursor.
  std::string name() const;

  // The program number's blink phase, turned over; true when the number shows.
  bool blink() { return blinkOn_ = !blinkOn_; }

 private:
  void dropCursor();

  bool editing_ = false;
  bool blinkOn_ = true;
  int32_t target_ = 0;
  std::string text_;
};

}  // namespace ui
