#pragma once

#include <cstdint>
#include <string>

#include "framework/four_cc.h"

namespace gui {

// Message codes the framework itself knows; a window's own codes are any other four letters.
inline constexpr uint32_t kMessageModalReply = framework::fourCC("MODA");    // a dialog closed
inline constexpr uint32_t kMessageWindowHandle = framework::fourCC("WNDH");  // a host's window

// A message to a window, addressed by the window's four-character identifier. Posted messages
// are delivered by the next pass of the event loop; sent ones at once.
struct epiMessage {
  uint32_t target = 0;  // identifier of the window it goes to
  uint32_t code = 0;
  int32_t value = 0;
  // The sender's identifier (a dialog's id for kMessageModalReply).
  uint32_t source = 0;
  // A native window handle (kMessageWindowHandle).
  uint64_t handle = 0;
  std::string text{};
};

}  // namespace gui
