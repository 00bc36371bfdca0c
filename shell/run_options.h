// The run options that the command line sets before the first window exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "discovery/version_gate.h"
#include "reader_link/tag_technology.h"

namespace flashwright {

struct RunOptions {
  bool reader_enabled = true;
  bool usb_enabled = true;
  bool port_given = false;
  std::int32_t port = 0;
  bool reader_firmware_given = false;
  std::string reader_firmware;
  bool tag_type_given = false;
  std::uint8_t tag_type = kTechNone;
  VersionLimits limits;  // too old: L2.1 until the command line says otherwise
  bool usb_firmware_given = false;
  std::string usb_firmware;
  std::vector<std::string> usb_markers;
};

}  // namespace flashwright
