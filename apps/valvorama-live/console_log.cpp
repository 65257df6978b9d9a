#include "console_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

const bool traceOn = std::getenv("VALVORAMA_LIVE_TRACE") != nullptr;

void writeLine(const char* prefix, const char* format, std::va_list args) {
  char text[2048];  // two device names at most
  std::vsnprintf(text, sizeof text, format, args);
  std::fprintf(stderr, "%s%s\n", prefix, text);
}

}  // namespace

void problem(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  writeLine("valvorama-live: ", format, args);
  va_end(args);
}

void trace(const char* format, ...) {
  if (!traceOn) return;
  std::va_list args;
  va_start(args, format);
  writeLine("trace: ", format, args);
  va_end(args);
}

bool tracing() {
  return traceOn;
}
