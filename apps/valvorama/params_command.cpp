// valvorama params: the processor's parameters.

#include <cstdio>

#include "commands.h"
#include "plugin/vlvr_processor.h"

int runParams(Arguments& args) {
  args.finish();
  plugin::vlvrProcessor processor;
  processor.initialize();
  const auto& params = processor.parameters();
  std::printf("%-5s %-16s %-7s %s\n", "index", "name", "range", "default");
  for (int i = 0; i < params.count(); ++i) {
    const auto& p = params[i];
    std::printf("%-5d %-16s %g-%-5g %g\n", i, p.name, p.minimum, p.maximum, p.defaultValue);
  }
  return 0;
}
