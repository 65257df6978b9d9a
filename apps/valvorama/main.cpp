// valvorama: the command-line face of the amp.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>

#include "arguments.h"
#include "cli_error.h"
#include "commands.h"

namespace {

constexpr const char* kVersion = "valvorama 0.1.0";

struct Command {
  const char* name;
  int (*run)(Arguments&);  // null: the companion program runs this command
  const char* usage;
};

#ifdef VALVORAMA_COMPANION
#define COMPANION(run) run
#else
#define COMPANION(run) nullptr
#endif

const Command kCommands[] = {
    {"render", runRender,
     "valvorama render [options] INPUT OUTPUT\n"
     "valvorama render [options] --demo OUTPUT\n"
     "  Re-amps INPUT (any sound file at 8000-384000 Hz) through a program and writes a stereo\n"
     "  OUTPUT in the format its extension names: wav, flac, ogg (Vorbis), aiff, au, caf, w64,\n"
     "  rf64, ... as libsndfile offers them; WAV when it has none. A device or FIFO is written\n"
     "  in place.\n"
     "  --program N        program 1..128 (default 1)\n"
     "  --bank FILE        program bank (default: \"ValvoramaLive settings.dat\" of the settings\n"
     "                     folder when present, else the built-in programs)\n"
     "  --config DIR       settings folder (default $XDG_CONFIG_HOME/ValvoramaLive, else\n"
     "                     ~/.config/ValvoramaLive)\n"
     "  --set NAME=VALUE   set a parameter by name (case-insensitive) or index 0..21;\n"
     "                     repeatable\n"
     "  --tail SECONDS     keep rendering after the input so tails ring out (default 2)\n"
     "  --keep-latency     keep the rack's 64-frame latency (removed by default)\n"
     "  --demo             use the built-in DI guitar phrase as INPUT\n"},
    {"tune", runTune,
     "valvorama tune INPUT [--reference HZ]\n"
     "  Runs the tuner over the first channel and prints 'SECONDS NOTE CENTS' whenever the\n"
     "  reading changes ('-' for no pitch). --reference defaults to 440.\n"},
    {"params", runParams, "valvorama params\n  The 22 parameters: index, name, range, default.\n"},
    {"bank", runBank,
     "valvorama bank list [--config DIR] [FILE]\n"
     "valvorama bank write FILE\n"
     "valvorama bank export FILE N TEXTFILE\n"
     "valvorama bank import FILE N TEXTFILE\n"
     "  Lists a program bank, writes the built-in programs as one, or moves program N (1..128)\n"
     "  to and from a text settings file. Without FILE, list reads the live amp's bank in the\n"
     "  settings folder.\n"},
    {"effect", runEffect,
     "valvorama effect NUMBER [--cc CONTROLLER=VALUE ...] [--tempo BPM] [--tail SECONDS] INPUT "
     "OUTPUT\n"
     "  Runs one catalogue effect over a file in stereo, in 64-frame blocks; OUTPUT's format\n"
     "  as for render.\n"},
    {"effects", runEffects, "valvorama effects\n  Lists the effect catalogue.\n"},
    {"demo", COMPANION(runDemo),
     "valvorama demo [DIR]\n"
     "  Renders the built-in phrase through the three amps into DIR (default demo/), prints\n"
     "  their levels and draws DIR/levels.png.\n"},
    {"devices", COMPANION(runDevices),
     "valvorama devices [--config DIR]\n"
     "  The audio technologies, then per technology the input and output devices with the\n"
     "  channels, sample rates and buffer sizes the live amp can use; the devices of the\n"
     "  hardware settings are marked.\n"},
    {"hardware", COMPANION(runHardware),
     "valvorama hardware [--config DIR] [KEY=VALUE ...]\n"
     "  Shows the live amp's hardware settings (VRLiveHardware.prf in the settings folder), or\n"
     "  sets the given keys and writes the file. A new AudioTechnology starts from 44100 Hz and\n"
     "  1024 frames unless the same command sets them. Device and channel names are those\n"
     "  'valvorama devices' lists; the channel indices count from 0 in its channel lists.\n"
     "  --config DIR   settings folder (default $XDG_CONFIG_HOME/ValvoramaLive, else\n"
     "                 ~/.config/ValvoramaLive)\n"},
};

void printUsage(std::FILE* out) {
  std::fputs("usage: valvorama COMMAND [options]\n\ncommands:\n", out);
  for (const Command& c : kCommands)
    std::fprintf(out, "  %s\n", c.name);
  std::fputs(
      "\nOptions may come before or after the other arguments; '--' ends them.\n"
      "'valvorama COMMAND --help' describes one command; --version prints the version.\n",
      out);
}

// Replaces this process with the companion program, which takes the same arguments. It sits
// next to this program in the build tree and in libexec once installed.
int runInCompanion(const char* command, char** argv) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path here = ec ? std::filesystem::path(".") : self.parent_path();
  for (const std::filesystem::path& companion :
       {here / "valvorama-extra", here / "../libexec/valvorama-live/valvorama-extra"}) {
    if (::access(companion.c_str(), X_OK) != 0) continue;
    std::string path = companion.lexically_normal().string();
    argv[0] = path.data();
    ::execv(path.c_str(), argv);
    std::fprintf(stderr, "valvorama %s: cannot run %s: %s\n", command, path.c_str(),
                 std::strerror(errno));
    return 2;
  }
  std::fprintf(stderr, "valvorama %s: the program valvorama-extra is missing next to %s\n",
               command, here.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printUsage(stderr);
    return 2;
  }
  const char* name = argv[1];
  if (!std::strcmp(name, "--help") || !std::strcmp(name, "-h") || !std::strcmp(name, "help")) {
    printUsage(stdout);
    return 0;
  }
  if (!std::strcmp(name, "--version")) {
    std::puts(kVersion);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(name, c.name) != 0) continue;
    Arguments args(argc, argv, 2);
    if (args.helpRequested()) {
      std::fputs(c.usage, stdout);
      return 0;
    }
    if (!c.run) return runInCompanion(c.name, argv);
    try {
      return c.run(args);
    } catch (const CliError& e) {
      std::fprintf(stderr, "valvorama %s: %s\n", c.name, e.what());
      return 2;
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "valvorama %s: out of memory\n", c.name);
      return 2;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "valvorama %s: %s\n", c.name, e.what());
      return 2;
    }
  }
  std::fprintf(stderr, "valvorama: unknown command '%s' (try 'valvorama --help')\n", name);
  return 2;
}
