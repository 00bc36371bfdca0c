#include "reader_update/reader_view_state.h"

namespace flashwright {

namespace {
bool recover_mode = false;
std::uint8_t remembered_reset_selection = 0;
}  // namespace

bool RecoverMode() { return recover_mode; }
void SetRecoverMode(bool on) { recover_mode = on; }
std::uint8_t RememberedResetSelection() { return remembered_reset_selection; }
void RememberResetSelection(std::uint8_t selection) { remembered_reset_selection = selection; }

void ResetReaderViewStateForTesting() {
  recover_mode = false;
  remembered_reset_selection = 0;
}

}  // namespace flashwright
