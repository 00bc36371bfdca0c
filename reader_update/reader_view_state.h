// State of the reader side that outlives one reader update view: the recover mode flag and the
// remembered reset selection (the view is destroyed when the USB view is shown and made anew).
#pragma once

#include <cstdint>

namespace flashwright {

bool RecoverMode();
void SetRecoverMode(bool on);

// 0 until a view first set it.
std::uint8_t RememberedResetSelection();
void RememberResetSelection(std::uint8_t selection);

void ResetReaderViewStateForTesting();

}  // namespace flashwright
