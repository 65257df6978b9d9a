// valvorama bank: program bank files.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_error.h"
#include "commands.h"
#include "framework/epi_text.h"
#include "framework/file_lock.h"
#include "framework/settings_folder.h"
#include "plugin/vlvr_processor.h"
#include "same_file.h"

namespace {

void loadOrFail(plugin::vlvrProcessor& processor, const std::string& file) {
  if (!std::filesystem::exists(file)) throw CliError("no program bank '" + file + "'");
  if (!processor.loadProgramBankFile(file)) {
    throw CliError("cannot read program bank '" + file + "'");
  }
}

// Bytes in the well-formed UTF-8 sequence at `p`; 0 when there is none.
int utf8Length(const unsigned char* p) {
  if (p[0] < 0x80) return 1;
  int length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (p[0] >= 0xC2 && p[0] <= 0xDF) {
    length = 2;
  } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
    length = 3;
    if (p[0] == 0xE0) low = 0xA0;   // overlong
    if (p[0] == 0xED) high = 0x9F;  // surrogates
  } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
    length = 4;
    if (p[0] == 0xF0) low = 0x90;
    if (p[0] == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (p[1] < low || p[1] > high) return 0;
  for (int i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  }
  return length;
}

// A program name as a terminal may show it: a name from a file could otherwise move the cursor,
// recolour or retitle the terminal. Control characters (C0, DEL, C1), bytes that are not UTF-8
// and the backslash itself are written as \xHH.
std::string printable(const char* name) {
  std::string text;
  const auto* p = reinterpret_cast<const unsigned char*>(name);
  while (*p) {
    const int length = utf8Length(p);
    const bool control = length == 1 ? (*p < 0x20 || *p == 0x7F) : (p[0] == 0xC2 && p[1] < 0xA0);
    if (length > 0 && !control && *p != '\\') {
      text.append(reinterpret_cast<const char*>(p), static_cast<size_t>(length));
      p += length;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", *p++);
    text += escaped;
  }
  return text;
}

void list(plugin::vlvrProcessor& processor) {
  const auto& params = processor.parameters();
  std::printf("%-4s %-31s", "#", "name");
  for (int i = 0; i < params.count(); ++i)
    std::printf(" %3d", i);
  std::printf("\n");
  for (int p = 0; p < processor.programs().count(); ++p) {
    std::printf("%-4d %-31s", p + 1, printable(processor.programName(p)).c_str());
    for (int i = 0; i < params.count(); ++i) {
      std::printf(" %3d", plugin::truncatePlain(processor.programs()[p].values[i]));
    }
    std::printf("\n");
  }
}

// The parameter values of a program's text settings, checked as --set checks them: the file
// must name at least one parameter, and every value must lie in its parameter's range. A
// parameter the file does not name is 0, as the processor's own import takes it.
std::vector<float> readProgramText(const plugin::vlvrProcessor& processor,
                                   const std::string& path) {
  epiTextSettings settings;
  if (!settings.load(path)) throw CliError("cannot read '" + path + "'");
  const auto& params = processor.parameters();
  std::vector<float> values(static_cast<size_t>(params.count()), 0.0f);
  bool named = false;
  for (int i = 0; i < params.count(); ++i) {
    const auto& p = params[i];
    char text[64];
    if (!settings.getString(p.key, text, sizeof text) &&
        (std::strcmp(p.key, p.name) == 0 || !settings.getString(p.name, text, sizeof text))) {
      continue;
    }
    named = true;
    const std::string what = std::string("value of \"") + p.name + "\"";
    values[i] = static_cast<float>(parseNumber(text, p.minimum, p.maximum, what.c_str()));
  }
  if (!named) {
    throw CliError("'" + path + "' is not a program: it names none of the parameters (\"" +
                   params[0].key + "\", \"" + params[1].key + "\", ...)");
  }
  return values;
}

}  // namespace

int runBank(Arguments& args) {
  std::vector<std::string> words;
  std::string config;
  while (!args.empty()) {
    if (args.takeValue("--config", config)) {
      framework::SettingsFolder::setOverride(config);
    } else {
      words.push_back(args.positional("ACTION"));
    }
  }
  const std::string action = words.empty() ? "" : words[0];
  plugin::vlvrProcessor processor;
  processor.initialize();
  if (action == "list" && words.size() <= 2) {
    const bool named = words.size() == 2;
    const std::string file =
        named ? words[1] : framework::SettingsFolder::file(processor.bankFileName());
    if (named || std::filesystem::exists(file)) {
      loadOrFail(processor, file);
    } else {
      std::printf("(no '%s' here: the built-in programs)\n", file.c_str());
    }
    list(processor);
    return 0;
  }
  if (action == "write" && words.size() == 2) {
    if (!processor.saveProgramBankFile(words[1])) throw CliError("cannot write '" + words[1] + "'");
    return 0;
  }
  if ((action == "export" || action == "import") && words.size() == 4) {
    const std::string& file = words[1];
    const int program = parseInteger(words[2], 1, 128, "N") - 1;
    const std::string& text = words[3];
    refuseSameFile(text, file, "the program bank");
    if (action == "export") {
      loadOrFail(processor, file);
      processor.setProgram(program);
      if (!processor.saveSettings(text)) throw CliError("cannot write '" + text + "'");
      return 0;
    }
    // Another import (or the amp closing) between this read and the write would be lost.
    const framework::FileLock lock(file);
    loadOrFail(processor, file);
    const std::vector<float> values = readProgramText(processor, text);
    processor.setProgram(program);
    for (size_t i = 0; i < values.size(); ++i)
      processor.setParameterPlain(static_cast<int>(i), values[i]);
    processor.storeProgram(program, nullptr);
    if (!processor.saveProgramBankFile(file)) throw CliError("cannot write '" + file + "'");
    return 0;
  }
  throw CliError(
      "usage: valvorama bank list [FILE] | write FILE | export FILE N TEXTFILE | import FILE N "
      "TEXTFILE");
}
