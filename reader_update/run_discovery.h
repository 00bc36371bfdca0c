// Reader port discovery as an update run and the reader tools use it: discovery over the
// version limits, the report shown instead of a run when Ctrl is held, and the message for a
// discovery that failed.
#pragma once

#include <cstdint>
#include <string>

#include "discovery/version_gate.h"
#include "reader_link/commands.h"
#include "reader_link/frame.h"

namespace flashwright {

// What discovery found: the result of its last probe, the port (0: none) with the reader's
// version words, and the text naming where the port came from.
struct ReaderDiscovery {
  LinkError result = 0;
  int port = 0;
  std::uint32_t version = 0;
  std::uint16_t bootloader = kBootloaderUnknown;
  std::uint8_t flags = 0;
  std::string source;
};

ReaderDiscovery DiscoverReader(const VersionLimits& limits);

// The report of what discovery found: "No reader found." without a port, "Reader version
// (error %ld) found on COM %d using %s." after a failed probe, else "Reader version %lX
// (Bootloader %.4hX,flags %.2hX) found on COM %d using %s." with the gate's verdict
// (" Version is too old to update." or " Version is too new to update.").
std::string DiscoveryReport(const ReaderDiscovery& found, const VersionLimits& limits);

// "Cannot detect reader on COM %d. Exit other applications and try again." and the line
// "(error %ld)" with the discovery's result.
std::string DiscoveryFailureText(const ReaderDiscovery& found);

}  // namespace flashwright
