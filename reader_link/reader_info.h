// The reader information texts: the version text with its "*" mark and the bootloader and
// platform lines, and the power text. The update view, the command-line program and the
// installer plug-in show the same texts.
#pragma once

#include <cstdint>
#include <string>

#include "reader_link/frame.h"

namespace flashwright {

// "%hu.%hu.%hu" of bits 23-16, 15-8 and 7-0.
std::string VersionText(std::uint32_t version);
// Version text, "*" when flags bit 0 is set, "\r\nBootloader:" unknown or "%hu.%.2hu",
// "\r\nPlatform:" 520/530, Desklet or unknown.
std::string ReaderVersionText(std::uint32_t version, std::uint16_t bootloader,
                              std::uint8_t flags);
// "1W", "200mW", "400mW", "100mW", "(L %hu)" for a class 1 or 2 reader; "4W", "10W", "(R %hu)".
std::string PowerTextFor(std::uint8_t power_class, std::uint8_t level);
// The power text of the reader on the open port; "NA" at or below 0x0A02FFFF. A failing level
// query gives "(err %ld)" and its code in *error (else 0).
std::string ReadPowerText(std::uint32_t version, LinkError* error);

}  // namespace flashwright
