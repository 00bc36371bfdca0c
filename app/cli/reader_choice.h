// How flashwright-cli shows the reader it talks to. Which reader that is (the COM port the user
// gave, or the one discovery finds for "auto") is decided by the reader update's run control,
// as in the windowed program.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "reader_update/begin_update.h"

namespace flashwright::cli {

// The reader as the JSON "reader" event carries it: port, version, bootloader, flags, the
// version text and discovery's source.
nlohmann::ordered_json ReaderFields(const RunReader& reader);
// "Reader on COM %d: <version text on one line>" and " (found using %s)" when discovered.
std::string ReaderLine(const RunReader& reader);

}  // namespace flashwright::cli
