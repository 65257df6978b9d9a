#include "plugin/program_bank.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "framework/atoms_file.h"
#include "framework/four_cc.h"

namespace plugin {
namespace {

// Records go to and from the file as they lie in memory, and the file is little-endian.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t kProg = framework::fourCC("prog");
constexpr uint32_t kEver = framework::fourCC("Ever");
constexpr uint32_t kEcnt = framework::fourCC("Ecnt");
constexpr uint32_t kErcs = framework::fourCC("Ercs");
constexpr uint32_t kEdta = framework::fourCC("Edta");
constexpr int32_t kVersion = 1;
constexpr uint32_t kRecordSize = evaProcessorPrograms::kRecordSize;

void swapValues(evaProcessorProgram& program) {
  for (float& v : program.values)
    v = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<uint32_t>(v)));
}

BankRead readBank(framework::AtomsFile& file, evaProcessorPrograms& programs) {
  int32_t mark = 0;
  if (!file.readLong(kProg, &mark)) return BankRead::kNotRead;

  int32_t version = 0;
  if (!file.readLong(kEver, &version)) version = 0;
  int16_t count = 0;
  if (!file.readShort(kEcnt, &count) || count <= 0) return BankRead::kFailed;

  uint32_t storedSize = kRecordSize;
  if (version == 1) {
    int32_t size = 0;
    if (!file.readLong(kErcs, &size) || size <= 0) return BankRead::kFailed;
    storedSize = static_cast<uint32_t>(size);
  } else if (version != 0) {
    return BankRead::kFailed;
  }

  // The atom's real bytes, never more than the file holds. A short atom fills the records as
  // far as it goes; the rest stays zero.
  const std::optional<std::vector<uint8_t>> data = file.readRecordData(kEdta);
  if (!data) return BankRead::kFailed;

  const int taken = std::min<int>(count, programs.count());
  std::vector<evaProcessorProgram> decoded(static_cast<size_t>(taken), evaProcessorProgram{});
  for (int i = 0; i < taken; ++i) {
    const size_t offset = static_cast<size_t>(i) * storedSize;
    if (offset >= data->size()) break;
    const size_t n = std::min<size_t>({storedSize, kRecordSize, data->size() - offset});
    std::memcpy(&decoded[i], data->data() + offset, n);
  }
  for (evaProcessorProgram& program : decoded) {
    if (file.swapped()) swapValues(program);
    program.name[evaProcessorProgram::kNameSize - 1] = '\0';
  }
  for (int i = 0; i < taken; ++i)
    programs[i] = decoded[i];
  return BankRead::kRead;
}

BankRead readOpened(framework::AtomsFile& file, bool opened, evaProcessorPrograms& programs) {
  if (!opened) return BankRead::kNotRead;
  const BankRead result = readBank(file, programs);
  file.close();
  return result;
}

}  // namespace

bool writeProgramBank(const std::string& path, const evaProcessorPrograms& programs) {
  framework::AtomsFile file;
  if (!file.createForWriting(path)) return false;
  const int count = std::min(programs.count(), 32767);
  file.writeLong(kProg, 0);
  file.writeLong(kEver, kVersion);
  file.writeShort(kEcnt, static_cast<int16_t>(count));
  file.writeLong(kErcs, static_cast<int32_t>(kRecordSize));
  file.writeRecord(kEdta, static_cast<uint32_t>(count) * kRecordSize,
                   count > 0 ? &programs[0] : nullptr);
  return file.close();
}

BankRead readProgramBank(const std::string& path, evaProcessorPrograms& programs) {
  framework::AtomsFile file;
  const bool opened = file.openForReading(path);
  return readOpened(file, opened, programs);
}

BankRead readProgramBank(std::vector<uint8_t> bytes, evaProcessorPrograms& programs) {
  framework::AtomsFile file;
  const bool opened = file.openForReading(std::move(bytes));
  return readOpened(file, opened, programs);
}

}  // namespace plugin
