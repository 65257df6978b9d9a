#include <cstring>
#include <new>

#include "jack_asio_driver.h"
#include "jack_driver_class_id.h"

namespace {

bool sameClass(const platform::AsioClassId& a, const platform::AsioClassId& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) platform::AsioDriver* valvoramaCreateAsioDriver(
    const platform::AsioClassId* classId) {
  if (classId == nullptr || !sameClass(*classId, jackdriver::kJackDriverClassId)) return nullptr;
  return new (std::nothrow) jackdriver::JackAsioDriver();
}
