#pragma once

#include <thread>

namespace platform {

// Raises a streaming thread to real-time (FIFO) scheduling, the nearest thing to a time-critical
// thread. Most desktop users may not do this without an rtprio limit; false then, and the thread
// runs on at its normal priority.
bool setTimeCriticalPriority(std::thread& thread);

}  // namespace platform
