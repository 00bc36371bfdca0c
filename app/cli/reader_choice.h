// Which reader a command talks to: the COM port the user gave, whose reader is asked for its
// version, or the one reader port discovery finds ("auto"). The rules are those of the reader
// update view: its port selector and prompt for updates, its Tools menu for the reader tools.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "discovery/version_gate.h"
#include "reader_link/frame.h"

namespace flashwright::cli {

struct ReaderChoice {
  int port = 0;
  std::uint32_t version = 0;  // 0: not asked (recover mode)
  std::uint16_t bootloader = 0xFFFF;
  std::uint8_t flags = 0;
  bool discovered = false;  // found by discovery
  std::string source;       // discovery's source text
};

// What the reader update view reads for the selected port: version, bootloader and flags,
// the version text ("(no reader)" when the reader does not answer) and the power text.
struct ReaderInformation {
  LinkError result = 0;
  std::uint32_t version = 0;
  std::uint16_t bootloader = 0xFFFF;
  std::uint8_t flags = 0;
  std::string version_text;
  std::string power_text;
};

// FindReader over `limits`: its result, and what the last probe found in `choice`.
LinkError DiscoverReader(const VersionLimits& limits, ReaderChoice* choice);

// Opens `port`, reads the version (with bootloader and flags) and, with `with_power`, the
// power text, and closes the port again.
ReaderInformation ReadReaderInformation(int port, bool with_power);

// The reader for an update. Returns an exit status: 0 with `choice` filled, or kExitNoReader
// (or kExitFailed for a port that cannot be used) with the view's message in `failure`.
// In recover mode the reader is not asked anything (it waits for records) and `port` must be
// a COM port; the caller has refused "auto" already.
int ChooseUpdateReader(int port, bool recover, const VersionLimits& limits,
                       ReaderChoice* choice, std::string* failure);

// The reader for a tool: the given port and the version its reader reports, or discovery.
int ChooseToolReader(int port, const VersionLimits& limits, ReaderChoice* choice,
                     std::string* failure);

// The view's report of what discovery found: "Reader version %lX (Bootloader ...) found on COM
// %d using %s." with the gate's verdict, "Reader version (error %ld) ...", or "No reader
// found.".
std::string DiscoveryReport(LinkError result, const ReaderChoice& found,
                            const VersionLimits& limits);

// The reader as the JSON "reader" event carries it: port, version, bootloader, flags, the
// version text and discovery's source.
nlohmann::ordered_json ReaderFields(const ReaderChoice& choice);
// "Reader on COM %d: <version text on one line>" and " (found using %s)" when discovered.
std::string ReaderLine(const ReaderChoice& choice);

}  // namespace flashwright::cli
