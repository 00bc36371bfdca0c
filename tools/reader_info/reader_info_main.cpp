// reader-info: prints what the reader on a COM port reports about itself, as the reader
// information texts of the update view (version, bootloader, platform, power).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "reader_link/reader_link.h"

int main(int argc, char** argv) {
  using namespace flashwright;
  if (argc != 2 || std::string(argv[1]) == "--help") {
    std::fprintf(stderr, "usage: reader-info COM-NUMBER\n");
    return 2;
  }
  const long port = std::strtol(argv[1], nullptr, 10);
  if (port < 1 || port > 255) {
    std::fprintf(stderr, "reader-info: not a COM number: %s\n", argv[1]);
    return 2;
  }
  if (const LinkError error = OpenReaderPort(static_cast<std::uint16_t>(port)); error != 0) {
    std::fprintf(stderr, "reader-info: cannot open COM%ld (error %ld)\n", port,
                 static_cast<long>(error));
    return 1;
  }
  std::uint32_t version = 0;
  std::uint16_t bootloader = 0;
  std::uint8_t flags = 0;
  const LinkError error = ReadReaderVersion(&version, &bootloader, &flags);
  if (error != 0) {
    CloseReaderPort();
    std::printf("COM%ld\nVersion: (no reader)\nPower Level: NA\n", port);
    return 1;
  }
  const std::string text = ReaderVersionText(version, bootloader, flags);
  const std::string power = ReadPowerText(version, nullptr);
  CloseReaderPort();
  // The texts use Windows line ends; a terminal wants plain ones.
  std::string lines;
  for (char c : text) {
    if (c != '\r') lines += c;
  }
  std::printf("COM%ld\nVersion: %s\nPower Level: %s\n", port, lines.c_str(), power.c_str());
  return 0;
}
