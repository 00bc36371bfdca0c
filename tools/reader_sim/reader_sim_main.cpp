// reader-sim: a simulated RFID reader on a pseudo-terminal, published as COM<n> in a port
// folder, for trying the programs without a reader.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/reader_sim/reader_simulator.h"
#include "tools/reader_sim/sim_arguments.h"

namespace {

using flashwright::sim::ReaderSimOptions;
using flashwright::sim::ReaderSimulator;
using flashwright::sim::SimFault;

int BadValue(const char* option, const std::string& value) {
  std::fprintf(stderr, "reader-sim: bad value for %s: %s\n", option, value.c_str());
  return 2;
}

// Reads an optional numeric option into `target`; false (after a message) when it is bad.
template <typename T>
bool TakeNumber(const std::string& text, const char* option, std::uint32_t max_value, T& target) {
  if (text.empty()) return true;
  auto value = flashwright::sim::ParseNumberText(text, max_value);
  if (!value) {
    BadValue(option, text);
    return false;
  }
  target = static_cast<T>(*value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Simulated RFID reader on a pseudo-terminal. It publishes itself as COM<n> in the port\n"
      "folder and answers the reader protocol until it gets SIGINT or SIGTERM."};
  std::string port_dir;
  unsigned com = 1;
  std::string link_target;
  std::string version_text;
  std::string version_after_text;
  std::string bootloader_text;
  std::string capability_text;
  std::string platform_text;
  std::string power_class_text;
  std::string power_level_text;
  std::string afi_text;
  std::string security_method_text;
  std::string security_value_text;
  std::string transmit_flags_text;
  std::string transmit_value_text;
  bool paced = false;
  bool start_in_download = false;
  std::vector<std::string> tag_texts;
  std::string d5_variant = "extra";
  std::string fault_text = "none";
  long hang_up_after = -1;
  std::string hex_out;

  app.add_option("--port-dir", port_dir, "port folder (default: $FLASHWRIGHT_PORT_DIR)");
  app.add_option("--com", com, "COM number to publish (default 1)")->check(CLI::Range(1u, 255u));
  app.add_option("--link-target", link_target,
                 "make COM<n> link to this path (relative to the port folder), and it to the pty");
  app.add_option("--version", version_text,
                 "reader version: major.minor.build of family 0x0A (default 4.241.8), or 0x<word>");
  app.add_option("--version-after-download", version_after_text,
                 "version reported once a download is complete");
  app.add_option("--bootloader", bootloader_text, "bootloader version, hexadecimal (default 0203)");
  app.add_option("--capability", capability_text, "capability byte of the hardware query (default 1)");
  app.add_option("--platform", platform_text, "platform byte of the hardware query (default 0)");
  app.add_option("--power-class", power_class_text, "RF power class code (default 1)");
  app.add_option("--power-level", power_level_text, "RF power level code (default 1)");
  app.add_option("--afi", afi_text, "portal AFI value (default 0xDA)");
  app.add_option("--security-method", security_method_text, "security method code (default 9)");
  app.add_option("--security-value", security_value_text, "security value (default 0xDA)");
  app.add_option("--transmit-flags", transmit_flags_text,
                 "transmit mode flags; bit 0 means supported (default 1)");
  app.add_option("--transmit-value", transmit_value_text, "transmit mode value (default 0)");
  app.add_flag("--paced", paced, "bytes take their 19200 baud time on the line");
  app.add_flag("--start-in-download", start_in_download,
               "start in download mode, waiting for a recover run");
  app.add_option("--tag", tag_texts, "a tag in the field: HEXID[:BLOCK0] (repeatable)");
  app.add_option("--d5-variant", d5_variant, "D5 variant of an older reader: extra or plain")
      ->check(CLI::IsMember({"extra", "plain"}));
  app.add_option("--fault", fault_text,
                 "none, no-answer, bad-crc, wrong-echo, busy, ack-status-1, ack-status-2, "
                 "split-replies or garbage-before-frame");
  app.add_option("--hang-up-after-records", hang_up_after,
                 "hang the line up after this many record frames");
  app.add_option("--hex-out", hex_out,
                 "write the received image as Intel HEX here after each download and on exit");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help ends here too, with status 0; every bad argument gives 2.
    return app.exit(error) == 0 ? 0 : 2;
  }

  if (port_dir.empty()) {
    const char* from_env = std::getenv("FLASHWRIGHT_PORT_DIR");
    if (from_env != nullptr) port_dir = from_env;
  }
  if (port_dir.empty()) {
    std::fprintf(stderr, "reader-sim: no port folder: give --port-dir or set FLASHWRIGHT_PORT_DIR\n");
    return 2;
  }

  ReaderSimOptions options;
  if (!version_text.empty()) {
    auto version = flashwright::sim::ParseVersionText(version_text);
    if (!version) return BadValue("--version", version_text);
    options.version = *version;
  }
  if (!version_after_text.empty()) {
    auto version = flashwright::sim::ParseVersionText(version_after_text);
    if (!version) return BadValue("--version-after-download", version_after_text);
    options.version_after_download = *version;
  }
  if (!bootloader_text.empty()) {
    auto bootloader = flashwright::sim::ParseHexText(bootloader_text, 4);
    if (!bootloader) return BadValue("--bootloader", bootloader_text);
    options.bootloader = static_cast<std::uint16_t>(*bootloader);
  }
  if (!TakeNumber(capability_text, "--capability", 255, options.capability) ||
      !TakeNumber(platform_text, "--platform", 255, options.platform) ||
      !TakeNumber(power_class_text, "--power-class", 255, options.power_class) ||
      !TakeNumber(power_level_text, "--power-level", 255, options.power_level) ||
      !TakeNumber(afi_text, "--afi", 255, options.portal_afi) ||
      !TakeNumber(security_method_text, "--security-method", 255, options.security_method) ||
      !TakeNumber(security_value_text, "--security-value", 255, options.security_value) ||
      !TakeNumber(transmit_flags_text, "--transmit-flags", 255, options.transmit_flags) ||
      !TakeNumber(transmit_value_text, "--transmit-value", 255, options.transmit_value)) {
    return 2;
  }
  for (const std::string& text : tag_texts) {
    auto tag = flashwright::sim::ParseTagText(text);
    if (!tag) return BadValue("--tag", text);
    options.tags.push_back(*tag);
  }
  options.d5_extra_byte = d5_variant == "extra";
  options.paced = paced;
  options.start_in_download_mode = start_in_download;
  auto fault = flashwright::sim::ParseFaultName(fault_text);
  if (!fault) return BadValue("--fault", fault_text);

  // The stop signals are read from a signal descriptor below; blocking them before the
  // simulator thread starts keeps that thread from being picked to receive them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int signal_fd = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  if (signal_fd < 0) {
    std::perror("reader-sim: signalfd");
    return 1;
  }

  ReaderSimulator simulator(options);
  if (!simulator.Start(port_dir, com, link_target)) {
    std::fprintf(stderr, "reader-sim: cannot publish COM%u in %s\n", com, port_dir.c_str());
    return 1;
  }
  if (*fault != SimFault::None) simulator.SetFault(*fault);
  if (hang_up_after >= 0) simulator.HangUpAfterRecords(static_cast<std::size_t>(hang_up_after));
  std::printf("reader-sim: COM%u -> %s\n", com, simulator.SlavePath().c_str());
  std::fflush(stdout);

  int exit_code = 0;
  std::size_t downloads_written = 0;
  for (;;) {
    pollfd signals{signal_fd, POLLIN, 0};
    if (poll(&signals, 1, 100) > 0) {
      signalfd_siginfo info{};
      if (read(signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) break;
    }
    const std::size_t downloads = simulator.CompletedDownloads();
    if (!hex_out.empty() && downloads != downloads_written) {
      downloads_written = downloads;
      if (!simulator.WriteIntelHex(hex_out)) {
        std::fprintf(stderr, "reader-sim: cannot write %s\n", hex_out.c_str());
      }
    }
  }
  simulator.Stop();
  if (!hex_out.empty() && !simulator.WriteIntelHex(hex_out)) {
    std::fprintf(stderr, "reader-sim: cannot write %s\n", hex_out.c_str());
    exit_code = 1;
  }
  return exit_code;
}
