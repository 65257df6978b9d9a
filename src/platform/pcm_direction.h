#pragma once

namespace platform {

enum class PcmDirection { kPlayback, kCapture };

}  // namespace platform
