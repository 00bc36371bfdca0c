// Reading what the reader on a COM port reports about itself: its version, bootloader version
// and hardware flags with the version text, and the power text. The update view shows this for
// the selected port, the command-line program for the reader it was told to use, and the
// installer plug-in for the port it is asked about, all by this one rule.
#pragma once

#include <cstdint>
#include <string>

#include "reader_link/commands.h"
#include "reader_link/frame.h"

namespace flashwright {

inline constexpr char kNoReaderText[] = "(no reader)";

struct ReaderInformation {
  LinkError result = 0;       // of the open or the version query
  LinkError power_error = 0;  // of the power level query, when it ran and failed
  std::uint32_t version = 0;  // 0: no reader answered
  std::uint16_t bootloader = kBootloaderUnknown;
  std::uint8_t flags = 0;
  std::string version_text;  // "(no reader)" when the reader does not answer
  std::string power_text;    // "NA" without a reader that has the power queries
};

// Opens `port`, reads the version with bootloader and flags and, with `with_power`, the power
// text, and closes the port again. Only a port this call opened is closed: a failed open may
// mean that another owner holds it. A port number beyond 65535 cannot be opened (it must not
// wrap round to another port).
ReaderInformation ReadReaderInformation(int port, bool with_power);

}  // namespace flashwright
