#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/eva_processor_programs.h"

namespace plugin {

// The program bank file: an atoms file holding `prog` 0, `Ever` 1, `Ecnt` (program count),
// `Ercs` (record size) and `Edta` (the records back to back). 69690 bytes for 128 programs.

// Written beside the old file and renamed over it; false leaves the old file as it was.
bool writeProgramBank(const std::string& path, const evaProcessorPrograms& programs);

enum class BankRead {
  kNotRead,  // missing file, foreign file or no `prog` atom: nothing to take
  kRead,     // the file's programs were copied in
  kFailed,   // a bank that cannot be read whole: the programs were left untouched
};

// Reads into the existing records: the file's first programs replace them, as many as both
// hold. Records are decoded into a copy first, so only a complete read changes `programs`.
BankRead readProgramBank(const std::string& path, evaProcessorPrograms& programs);
BankRead readProgramBank(std::vector<uint8_t> bytes, evaProcessorPrograms& programs);

}  // namespace plugin
