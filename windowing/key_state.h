// The state of the Ctrl key at the moment of asking. Tests put their own answer in place of
// the keyboard's.
#pragma once

#include <functional>

namespace flashwright::ui {

bool IsControlKeyDown();

// An empty source restores the keyboard.
void SetControlKeySourceForTesting(std::function<bool()> source);

}  // namespace flashwright::ui
