// Parses arbitrary bytes as a resource container; an accepted image must read back entry by
// entry and encode to exactly the bytes it came from.
#include <cstdint>
#include <span>
#include <vector>

#include "framework/resource_file.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  framework::ResourceFile file;
  if (!file.parse(std::span(data, size))) {
    FUZZ_CHECK(file.keys().empty());
    return 0;
  }
  size_t total = 0;
  for (const auto& [type, id] : file.keys()) {
    const auto bytes = file.read(type, id);
    FUZZ_CHECK(bytes && file.contains(type, id));
    total += bytes->size();
  }
  FUZZ_CHECK(total <= size);
  FUZZ_CHECK(file.image() == std::vector<uint8_t>(data, data + size));
  return 0;
}
