// What a front end shows for the progress notes of an update run: the status line text and
// the place of the progress bar.
#pragma once

#include <string>

#include "reader_update/download_engine.h"

namespace flashwright {

// "(%d of %d) " for a package image, "Verify Line: %lu", and "...Finishing..." for the last
// note.
std::string VerifyStatusText(const ProgressNote& note);
// The same prefix, then "Initializing..." for line 0 or "Program Line: %lu", and
// "...Finishing..." for the last note.
std::string ProgramStatusText(const ProgressNote& note);
// The bar position of a programming note: the image's part of the bar (range start to end)
// filled in proportion to the bytes consumed; the end only once every byte is consumed.
int ProgramBarPosition(const ProgressNote& note);

}  // namespace flashwright
