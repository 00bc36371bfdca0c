#include "app/cli/port_wait.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "app/cli/cli_arguments.h"
#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/ports_command.h"
#include "shell/string_table.h"
#include "platform/port_map.h"
#include "reader_link/commands.h"
#include "reader_link/transport.h"

namespace flashwright::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLookInterval = std::chrono::milliseconds(100);
constexpr auto kAskInterval = std::chrono::milliseconds(250);

bool AnyPortExists() {
  for (int port = 1; port <= kListedPorts; ++port) {
    if (platform::PortExists(static_cast<unsigned>(port))) return true;
  }
  return false;
}

// The port of `argument` when it is there now, else none.
std::optional<int> PresentPort(const std::string& argument) {
  const auto port = ResolvePortArgument(argument);
  if (!port) return std::nullopt;
  if (*port == kAutoDetectPort) {
    if (AnyPortExists()) return port;
    return std::nullopt;
  }
  if (!platform::PortExists(static_cast<unsigned>(*port))) return std::nullopt;
  return port;
}

std::string PortName(const std::string& argument) {
  const auto number = ParsePortArgument(argument);
  if (!number) return argument;  // a device path
  if (*number == kAutoDetectPort) return texts::kAnyPort;
  return FormatText(texts::kComPort, *number);
}

}  // namespace

std::optional<int> ResolvePortArgument(const std::string& argument) {
  if (const auto number = ParsePortArgument(argument)) return number;
  const auto port = platform::ComNumberOfDevicePath(argument);
  if (!port) return std::nullopt;
  return static_cast<int>(*port);
}

int FindPort(const std::string& argument, int wait_seconds, EventOutput& output, int* port) {
  *port = kAutoDetectPort;
  if (wait_seconds <= 0) {
    // Without a wait a COM number goes on as it is: opening it tells what is wrong.
    if (const auto resolved = ResolvePortArgument(argument)) {
      *port = *resolved;
      return kExitSuccess;
    }
    JsonObject fields;
    fields["device"] = argument;
    fields["errno"] = ENOENT;
    fields["reason"] = "no-device";
    return output.Outcome(kExitNoReader, ui::PaneKind::kError,
                          FormatText(texts::kNoComNumber, argument.c_str()), fields);
  }
  const auto deadline = Clock::now() + std::chrono::seconds(wait_seconds);
  bool told = false;
  for (;;) {
    if (const auto present = PresentPort(argument)) {
      *port = *present;
      return kExitSuccess;
    }
    if (Clock::now() >= deadline) break;
    if (!told) {
      output.Message(ui::PaneKind::kNeutral,
                     FormatText(texts::kWaitingFor, wait_seconds, PortName(argument).c_str()));
      told = true;
    }
    std::this_thread::sleep_for(kLookInterval);
  }
  JsonObject fields;
  if (const auto number = ResolvePortArgument(argument)) {
    fields["port"] = *number;
  } else {
    fields["device"] = argument;
  }
  fields["waited"] = wait_seconds;
  fields["reason"] = "timeout";
  return output.Outcome(kExitTimeout, ui::PaneKind::kError,
                        FormatText(texts::kWaitTimedOut, PortName(argument).c_str(),
                                   wait_seconds),
                        fields);
}

bool WaitForReaderAnswer(int port, int wait_seconds, std::uint32_t* version) {
  const auto deadline = Clock::now() + std::chrono::seconds(wait_seconds);
  for (;;) {
    if (platform::PortExists(static_cast<unsigned>(port)) &&
        OpenReaderPort(static_cast<std::uint16_t>(port)) == 0) {
      const LinkError asked = ReadReaderVersion(version, nullptr, nullptr);
      CloseReaderPort();
      if (asked == 0) return true;
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kAskInterval);
  }
}

}  // namespace flashwright::cli
