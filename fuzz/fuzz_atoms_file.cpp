// Reads an arbitrary atoms file the way the program bank and preferences readers do, each read
// chosen by the atom's own bytes so the fuzzer can steer every path: exact, short, long and
// broken-off reads, skips and scans.
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/atoms_file.h"
#include "fuzz_check.h"

namespace {

constexpr uint32_t kMaxWanted = 1 << 16;

void readAs(framework::AtomsFile& file, uint32_t tag, uint32_t stored, uint32_t wanted) {
  const size_t before = file.remaining();
  const bool whole = before - 8 >= stored;
  // Exactly `wanted` bytes on the heap, so that any overrun is caught by the sanitizer.
  std::vector<uint8_t> destination(wanted, 0xEE);
  const bool ok = file.readRecord(tag, wanted, destination.data());
  FUZZ_CHECK(ok == whole);
  if (ok) {
    FUZZ_CHECK(file.remaining() == before - 8 - stored);
    for (uint32_t i = stored; i < wanted; ++i)
      FUZZ_CHECK(destination[i] == 0);
  } else {
    FUZZ_CHECK(file.remaining() == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  framework::AtomsFile file;
  if (!file.openForReading(std::vector<uint8_t>(data, data + size))) {
    FUZZ_CHECK(size < 4 ||
               (std::memcmp(data, "gsFA", 4) != 0 && std::memcmp(data, "AFsg", 4) != 0));
    return 0;
  }
  uint32_t tag = 0;
  uint32_t stored = 0;
  for (int step = 0; step < 256 && file.nextRecord(&tag, &stored); ++step) {
    const size_t before = file.remaining();
    // A read under another tag is refused and moves nothing.
    FUZZ_CHECK(!file.readRecord(tag + 1, 4, &stored) && file.remaining() == before);
    const uint32_t exact = stored < kMaxWanted ? stored : kMaxWanted;
    int32_t value32 = 0;
    int16_t value16 = 0;
    switch ((tag ^ stored) % 8) {
      case 0:
        readAs(file, tag, stored, exact);
        break;
      case 1:
        readAs(file, tag, stored, exact / 2);
        break;
      case 2:
        readAs(file, tag, stored, exact + 3);
        break;
      case 3:
        FUZZ_CHECK(file.readLong(tag, &value32) == (before - 8 >= stored));
        break;
      case 4:
        FUZZ_CHECK(file.readShort(tag, &value16) == (before - 8 >= stored));
        break;
      case 5:
        FUZZ_CHECK(file.skipRecord(tag) == (before - 8 >= stored));
        if (file.remaining() == before) return 0;
        break;
      case 6:
        if (const auto bytes = file.readRecordData(tag)) {
          FUZZ_CHECK(bytes->size() == stored);
        } else {
          FUZZ_CHECK(before - 8 < stored && file.remaining() == before);
          return 0;
        }
        break;
      default:
        // Every atom reached by stepping is reachable by a scan from the start.
        FUZZ_CHECK(file.findRecord(tag));
        FUZZ_CHECK(file.peekRecord(tag, &stored));
        if (!file.skipRecord(tag)) return 0;
        break;
    }
  }
  file.findRecord(0x70726F67);
  return 0;
}
