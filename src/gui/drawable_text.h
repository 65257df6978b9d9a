#pragma once

#include <string>

namespace gui {

// Cairo refuses text that is not UTF-8 and then draws nothing more on that context; names typed
// elsewhere may be Latin-1, so a byte that starts no UTF-8 sequence is taken as Latin-1.
std::string drawableText(const std::string& text);

}  // namespace gui
