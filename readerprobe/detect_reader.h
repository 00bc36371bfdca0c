// The steps of DetectReader: find the maker's USB reader and the COM port its driver made,
// ask the reader for its version and power, and push the answers for the installer.
#pragma once

#include <string>
#include <string_view>

#include "readerprobe/probe_stack.h"
#include "reader_link/frame.h"

namespace flashwright::probe {

// Service and friendly names are kept to this many characters.
inline constexpr std::size_t kMaxNameChars = 259;

// 1 found, 0 absent, -3 no device set, -4 a property could not be read, -5 the enumeration
// broke off.
int FindUsbReaderService(std::string* service);
// The friendly name of the first serial port that `service` enumerates for the reader.
int FindReaderPortName(const std::string& service, std::string* friendly_name);
// The number between "(COM" and the first ")" of a friendly name; 0 when there is none.
int ParsePortNumber(std::string_view friendly_name);
// Opens `port`, reads the version, bootloader, flags and power, and closes it again.
LinkError GetReaderInfo(int port, std::string* version_text, std::string* power_text,
                        int* version_number);

// The host's stack for the call under way; nothing is pushed outside a call, with no stack,
// or with a string size that cannot hold even the terminating zero.
void BeginCall(int string_size, stack_t** stacktop);
void EndCall();
void PushString(std::string_view text);
void PushInt(int value);

}  // namespace flashwright::probe
