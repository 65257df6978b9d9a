// valvorama: the command-line face of the amp.

#include <cstdio>
#include <cstring>

#include "effect_listing.h"

namespace {

void printUsage(std::FILE* out) {
  std::fputs(
      "usage: valvorama COMMAND\n"
      "\n"
      "commands:\n"
      "  effects    list the effect catalogue with every effect's parameters\n"
      "  help       show this text\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printUsage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "effects") == 0) {
    printEffectCatalogue(stdout);
    return 0;
  }
  if (std::strcmp(command, "help") == 0 || std::strcmp(command, "--help") == 0) {
    printUsage(stdout);
    return 0;
  }
  std::fprintf(stderr, "valvorama: unknown command '%s' (try 'valvorama help')\n", command);
  return 2;
}
