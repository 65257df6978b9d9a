// Reads arbitrary bytes as a program bank file. A bank that is read leaves every name
// NUL-terminated; any other outcome leaves the programs exactly as they were.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "plugin/program_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plugin::evaProcessorPrograms programs;
  programs.setCount(128);
  for (int i = 0; i < programs.count(); ++i) {
    std::snprintf(programs[i].name, sizeof programs[i].name, "Program %d", i + 1);
    programs[i].values[0] = float(i);
  }
  const plugin::evaProcessorPrograms before = programs;
  const plugin::BankRead result =
      plugin::readProgramBank(std::vector<uint8_t>(data, data + size), programs);
  FUZZ_CHECK(programs.count() == before.count());
  for (int i = 0; i < programs.count(); ++i) {
    if (result == plugin::BankRead::kRead) {
      FUZZ_CHECK(std::memchr(programs[i].name, 0, sizeof programs[i].name) != nullptr);
    } else {
      FUZZ_CHECK(std::memcmp(&programs[i], &before[i], sizeof programs[i]) == 0);
    }
  }
  return 0;
}
