// Takes arbitrary bytes as a loaded settings file, runs every getter and line primitive over
// them, then checks that a value set under a key of the file reads back.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "framework/epi_text.h"
#include "fuzz_check.h"

namespace {

void readAll(const epiTextSettings& settings, const char* key) {
  for (const size_t outSize : {0, 1, 2, 8, 300}) {
    // Exactly outSize bytes on the heap, so that any overrun is caught by the sanitizer.
    std::vector<char> out(outSize, 'x');
    const bool found = settings.getString(key, outSize ? out.data() : nullptr, outSize, "def");
    if (outSize > 0) FUZZ_CHECK(std::memchr(out.data(), '\0', outSize) != nullptr);
    int32_t value = 0;
    FUZZ_CHECK(settings.getLong(key, &value, 17) == found);
    if (!found) FUZZ_CHECK(value == 17);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  epiTextSettings settings;
  settings.assignBytes(std::span(data, size));
  FUZZ_CHECK(settings.length() <= size);

  const size_t lines = settings.lineCount();
  for (size_t i = 0; i <= std::min<size_t>(lines, 16); ++i) {
    const epiText line = settings.line(i);
    FUZZ_CHECK(std::strpbrk(line.c_str(), "\r\n") == nullptr);
    settings.lines(i, 3);
    line.fields(1, 3, ':');
    line.quotedField(2, ':', '"');
    line.toLong();
    const epiText key = line.field(0, ':');
    FUZZ_CHECK(std::strchr(key.c_str(), ':') == nullptr);
    FUZZ_CHECK(line.equalsNoCase(line) && key.equalsNoCase(key.c_str()));
    readAll(settings, key.c_str());
  }
  for (const char* key : {"Content", "PlugVersion", "AudioTechnology", "CurInChannelIndex", ""}) {
    readAll(settings, key);
  }

  // Beyond the examined lines a set key would not read back, nor a string under a key holding a
  // quote (the quote scan of the value starts with the key): limits of the format, not faults.
  const std::string key = settings.line(0).field(0, ':').c_str();
  if (lines >= 32000 || key.find('"') != std::string::npos) return 0;
  for (const std::string& k : {key, std::string("NewKeyOfTheFuzzer")}) {
    settings.setString(k.c_str(), "a:b c");
    char out[16];
    FUZZ_CHECK(settings.getString(k.c_str(), out, sizeof out) && std::strcmp(out, "a:b c") == 0);
    settings.setLong(k.c_str(), -123456);
    int32_t value = 0;
    FUZZ_CHECK(settings.getLong(k.c_str(), &value) && value == -123456);
  }
  FUZZ_CHECK(settings.modified());
  return 0;
}
