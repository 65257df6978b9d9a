#include "ui/choice_lists.h"

namespace ui {
namespace {

constexpr ChoiceList kLists[kChoiceListCount] = {
    {3, {{0, 8, "clean"}, {1, 64, "lead"}, {2, 120, "crunch"}}},
    {3, {{0, 8, "open back 1x12"}, {1, 64, "british 2x12"}, {2, 120, "mod closed 4x10"}}},
    {3, {{0, 0, "wha man"}, {1, 1, "off"}, {2, 2, "auto"}}},
    // The tuner's modes, as rack parameter 53 takes them; no row selects this list.
    {3, {{0, 0, "off"}, {1, 1, "on"}, {2, 2, "mute"}}},
};

}  // namespace

const ChoiceList* choiceList(int32_t number) {
  return number >= 1 && number <= kChoiceListCount ? &kLists[number - 1] : nullptr;
}

}  // namespace ui
