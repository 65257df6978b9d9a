#include "platform/jack_messages.h"

#include <jack/jack.h>

#include <mutex>

namespace platform {
namespace {

void quiet(const char*) {}

}  // namespace

void silenceJackMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
  });
}

}  // namespace platform
