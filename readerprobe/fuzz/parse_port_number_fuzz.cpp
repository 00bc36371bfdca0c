// Friendly names of any content: the port number stays within what five characters can say.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readerprobe/detect_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view name(reinterpret_cast<const char*>(data), size);
  const int port = flashwright::probe::ParsePortNumber(name);
  if (port > 99999 || port < -9999) __builtin_trap();
  return 0;
}
