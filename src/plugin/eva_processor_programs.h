#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plugin {

// One program, laid out byte for byte as a record of the program bank file.
struct evaProcessorProgram {
  static constexpr int kNameSize = 32;
  static constexpr int kValueCount = 128;

  char name[kNameSize];       // NUL-terminated
  float values[kValueCount];  // plain value per parameter index; slots past the count unused
};
static_assert(sizeof(evaProcessorProgram) == 544);

// The processor's programs, touched only by the user-interface side.
class evaProcessorPrograms {
 public:
  static constexpr int kRecordSize = sizeof(evaProcessorProgram);

  // New records start zeroed.
  void setCount(int count) { records_.resize(count > 0 ? static_cast<size_t>(count) : 0, {}); }
  int count() const { return static_cast<int>(records_.size()); }
  bool contains(int program) const { return program >= 0 && program < count(); }
  evaProcessorProgram& operator[](int program) { return records_[program]; }
  const evaProcessorProgram& operator[](int program) const { return records_[program]; }

 private:
  std::vector<evaProcessorProgram> records_;
};

}  // namespace plugin
