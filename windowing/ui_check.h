// Programming errors in the use of the windowing layer (an identifier that no template,
// control or menu has, a record for a form that is gone, a box asked for while another is
// open): debug builds stop with a message that names what was asked for; release builds
// report nothing and the caller goes on with the stated default.
#pragma once

namespace flashwright::ui {

// Prints "windowing: <what>" and aborts in debug builds; does nothing with NDEBUG.
void ReportMisuse(const char* what, int id);

}  // namespace flashwright::ui
