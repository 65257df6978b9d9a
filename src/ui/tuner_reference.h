#pragma once

#include <optional>
#include <string>

namespace ui {

// The tuner reference as the "Tuner setup..." entry shows it: one decimal, at most 7 characters.
std::string tunerReferenceText(float hz);
// What the player typed: a comma reads as a decimal point and only the first two fields around
// points count ("441,7" and "441.7.2" both give 441.7). Empty when no number leads the text.
std::optional<float> parseTunerReference(std::string text);

}  // namespace ui
