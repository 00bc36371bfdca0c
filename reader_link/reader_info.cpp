#include "reader_link/reader_info.h"

#include <cstdio>

#include "reader_link/commands.h"

namespace flashwright {
namespace {

std::string Format(const char* format, unsigned a, unsigned b, unsigned c) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

const char* PlatformName(std::uint8_t flags) {
  switch (flags >> 5) {
    case 0: return "520/530";
    case 1: return "Desklet";
    default: return "unknown";
  }
}

}  // namespace

std::string VersionText(std::uint32_t version) {
  return Format("%u.%u.%u", (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
}

std::string ReaderVersionText(std::uint32_t version, std::uint16_t bootloader,
                              std::uint8_t flags) {
  std::string text = VersionText(version);
  if ((flags & 0x01) != 0) text += "*";
  text += "\r\nBootloader:";
  if (bootloader == kBootloaderUnknown) {
    text += "unknown";
  } else {
    char number[16];
    std::snprintf(number, sizeof number, "%u.%.2u", unsigned{bootloader} >> 8,
                  unsigned{bootloader} & 0xFF);
    text += number;
  }
  text += "\r\nPlatform:";
  text += PlatformName(flags);
  return text;
}

std::string PowerTextFor(std::uint8_t power_class, std::uint8_t level) {
  char text[32];
  switch (power_class) {
    case 1:
    case 2:
      switch (level) {
        case 1: return "1W";
        case 2: return "200mW";
        case 4: return "400mW";
        case 10: return "100mW";
        default: std::snprintf(text, sizeof text, "(L %u)", level); return text;
      }
    case 4: return "4W";
    case 10: return "10W";
    default: std::snprintf(text, sizeof text, "(R %u)", power_class); return text;
  }
}

std::string ReadPowerText(std::uint32_t version, LinkError* error) {
  if (error != nullptr) *error = 0;
  if (version <= kSettingsVersionFloor) return "NA";
  std::uint8_t power_class = 0;
  if (ReadPowerRange(&power_class) != 0) power_class = 1;
  if (power_class == 1 || power_class == 2) {
    std::uint8_t level = 0;
    if (const LinkError failed = ReadPowerLevel(&level); failed != 0) {
      if (error != nullptr) *error = failed;
      char text[32];
      std::snprintf(text, sizeof text, "(err %ld)", static_cast<long>(failed));
      return text;
    }
    return PowerTextFor(power_class, level);
  }
  return PowerTextFor(power_class, 0);
}

}  // namespace flashwright
