// valvorama bank: program bank files.

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli_error.h"
#include "commands.h"
#include "plugin/vlvr_processor.h"

namespace {

void loadOrFail(plugin::vlvrProcessor& processor, const std::string& file) {
  if (!std::filesystem::exists(file)) throw CliError("no program bank '" + file + "'");
  if (!processor.loadProgramBankFile(file)) {
    throw CliError("cannot read program bank '" + file + "'");
  }
}

void list(plugin::vlvrProcessor& processor) {
  const auto& params = processor.parameters();
  std::printf("%-4s %-31s", "#", "name");
  for (int i = 0; i < params.count(); ++i)
    std::printf(" %3d", i);
  std::printf("\n");
  for (int p = 0; p < processor.programs().count(); ++p) {
    std::printf("%-4d %-31s", p + 1, processor.programName(p));
    for (int i = 0; i < params.count(); ++i) {
      std::printf(" %3d", plugin::truncatePlain(processor.programs()[p].values[i]));
    }
    std::printf("\n");
  }
}

}  // namespace

int runBank(Arguments& args) {
  const std::string action = args.positional("ACTION (list, write, export or import)");
  plugin::vlvrProcessor processor;
  processor.initialize();
  if (action == "list") {
    const bool named = !args.empty();
    const std::string file = named ? args.positional("FILE") : processor.bankFileName();
    args.finish();
    if (named || std::filesystem::exists(file)) {
      loadOrFail(processor, file);
    } else {
      std::printf("(no '%s' here: the built-in programs)\n", file.c_str());
    }
    list(processor);
    return 0;
  }
  if (action == "write") {
    const std::string file = args.positional("FILE");
    args.finish();
    if (!processor.saveProgramBankFile(file)) throw CliError("cannot write '" + file + "'");
    return 0;
  }
  if (action == "export" || action == "import") {
    const std::string file = args.positional("FILE");
    const int program = parseInteger(args.positional("N"), 1, 128, "N") - 1;
    const std::string text = args.positional("TEXTFILE");
    args.finish();
    loadOrFail(processor, file);
    processor.setProgram(program);
    if (action == "export") {
      if (!processor.saveSettings(text)) throw CliError("cannot write '" + text + "'");
      return 0;
    }
    if (!processor.loadSettings(text)) throw CliError("cannot read '" + text + "'");
    processor.storeProgram(program, nullptr);
    if (!processor.saveProgramBankFile(file)) throw CliError("cannot write '" + file + "'");
    return 0;
  }
  throw CliError("unknown bank action '" + action + "' (list, write, export or import)");
}
