#pragma once

#include "platform/asio_driver.h"

namespace jackdriver {

// The class id the JACK driver library answers to. The build registers the same id, written
// as text, in drivers/jack/CMakeLists.txt; keep the two equal.
inline constexpr platform::AsioClassId kJackDriverClassId{
    0x5a1c7e42, 0x3b9d, 0x4f61, {0xa8, 0xe0, 0x7c, 0x2d, 0x91, 0xb4, 0xf6, 0xa3}};

}  // namespace jackdriver
