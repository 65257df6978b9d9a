#pragma once

#include "arguments.h"

// Each command reads its own arguments and returns the process's exit status; problems the user
// can fix are thrown as CliError.
int runRender(Arguments& args);
int runTune(Arguments& args);
int runParams(Arguments& args);
int runBank(Arguments& args);
int runEffect(Arguments& args);
int runEffects(Arguments& args);
int runDemo(Arguments& args);
int runDevices(Arguments& args);
int runHardware(Arguments& args);
