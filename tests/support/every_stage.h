#pragma once

#include <array>
#include <utility>

namespace testsupport {

// Parameter rows and plain values that engage the gate, automatic wah, stomp delay, overdrive,
// the lead amp, cabinet and spring reverb: every stage that keeps state across blocks.
inline constexpr std::array<std::pair<int, int>, 10> kEveryStageSettings{
    {{0, 64}, {2, 2}, {9, 1}, {12, 60}, {8, 1}, {5, 90}, {20, 1}, {19, 1}, {21, 1}, {4, 100}}};

}  // namespace testsupport
