#include "app/cli/cli_program.h"


#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_arguments.h"
#include "app/cli/cli_texts.h"
#include "app/cli/diag_command.h"
#include "app/cli/event_output.h"
#include "app/cli/exit_status.h"
#include "app/cli/info_command.h"
#include "app/cli/open_failure_reason.h"
#include "app/cli/port_wait.h"
#include "app/cli/ports_command.h"
#include "app/cli/reset_config_command.h"
#include "app/cli/settings_commands.h"
#include "app/cli/signal_watcher.h"
#include "app/cli/trace_log.h"
#include "app/cli/update_command.h"
#include "app/cli/usb_commands.h"
#include "app/cli/usb_device_wait.h"
#include "platform/wire_trace.h"
#include "shell/string_table.h"
#include "platform/console.h"
#include "platform/text_case.h"
#include "reader_link/tag_technology.h"
#include "reader_tools/power_level.h"
#include "reader_tools/security_method.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/transmit_mode.h"
#include "reader_update/firmware_folder.h"
#include "usb_update/usb_image.h"

namespace flashwright::cli {
namespace {

constexpr char kProgramName[] = "flashwright-cli";
constexpr int kDefaultWaitSeconds = 30;

const CLI::Validator& PortValidator() {
  static const CLI::Validator validator(
      [](std::string& text) -> std::string {
        if (ParsePortArgument(text) || IsDevicePathArgument(text)) return {};
        return "expected auto, a COM number 1 to 65535, COM<n> or a device path, not '" + text +
               "'";
      },
      "");
  return validator;
}

const CLI::Validator& UsbDeviceValidator() {
  static const CLI::Validator validator(
      [](std::string& text) -> std::string {
        if (ParseUsbDeviceArgument(text)) return {};
        return "expected the index that usb list shows or a bus path such as 1-3.2, not '" +
               text + "'";
      },
      "");
  return validator;
}

const CLI::Validator& ConstraintValidator() {
  static const CLI::Validator validator(
      [](std::string& text) -> std::string {
        if (LowerCase(text) == "none" || IsVersionConstraint(text)) return {};
        return "expected none or [G|L]major[.minor[.build]] (components 0 to 255), not '" +
               text + "'";
      },
      "");
  return validator;
}

void AddPortOption(CLI::App* command, std::string* port) {
  command
      ->add_option("--port", *port,
                   "COM port of the reader (a number or COM<n>), a device path of it "
                   "(/dev/serial/by-id/..., /dev/ttyUSB0; \\\\.\\COM12 on Windows), or auto "
                   "for port discovery")
      ->check(PortValidator())
      ->type_name("N|PATH|auto")
      ->capture_default_str();
}

// The keywords of a vocabulary table, for an option's list of accepted values (which the
// option's value becomes when it matches in another letter case).
template <typename Table>
std::vector<std::string> Keywords(const Table& table, bool lower_case = false) {
  std::vector<std::string> keywords;
  for (const auto& entry : table) {
    keywords.emplace_back(lower_case ? LowerCase(entry.keyword) : std::string(entry.keyword));
  }
  return keywords;
}

void AddWaitOption(CLI::App* command, int* seconds, const char* what) {
  command->add_option("--wait", *seconds, what)
      ->expected(0, 1)
      ->default_str(std::to_string(kDefaultWaitSeconds))
      ->type_name("[=SECONDS]")
      ->check(CLI::Range(1, 86400).description(""));
}

CLI::Option* AddTagTypesOption(CLI::App* command, std::string* tag_types) {
  const std::vector<std::string> keywords = Keywords(kTagTechnologyKeywords, true);
  return command
      ->add_option("--tag-types", *tag_types, "tag technologies: all, iso, ti or none")
      ->type_name("all|iso|ti|none")
      ->check(CLI::IsMember(keywords, CLI::ignore_case).description(""));
}

// A usage error found after the arguments were read. Nothing has been sent to a reader.
int UsageError(EventOutput& output, const std::string& command, const std::string& text) {
  output.Notice(std::string(kProgramName) + " " + command + ": " + ConsoleText(text));
  output.Notice(texts::kUsageHint);
  if (output.json()) {
    JsonObject object;
    object["event"] = "outcome";
    object["status"] = static_cast<int>(kExitUsage);
    object["kind"] = KindName(ui::PaneKind::kError);
    object["text"] = ConsoleText(text);
    // Written as the outcome event, without a second copy on stderr.
    std::fputs((object.dump() + "\n").c_str(), stdout);
    std::fflush(stdout);
  }
  return kExitUsage;
}

bool HasJsonArgument(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

struct Arguments {
  bool json = false;
  bool version = false;
  bool quiet = false;
  int verbose = 0;
  std::string log_file;
  int wait_seconds = 0;
  bool skip_if_current = false;
  std::string port = "auto";
  // update
  std::string firmware;
  std::string firmware_dir;
  bool recover = false;
  std::string tag_types = "all";
  std::vector<std::string> too_old;
  std::vector<std::string> too_new;
  bool check_only = false;
  // tools
  std::string reset_tag_types;
  bool continuous = false;
  std::string afi;
  std::vector<std::string> security;
  std::string transmit_mode;
  std::string power_level;
  // usb
  std::string device;
  std::vector<std::string> markers;
  bool allow_non_matching = false;
  bool yes = false;
  bool no_verify = false;
  std::string output_file;
  bool force = false;
};

}  // namespace

int RunCli(int argc, char** argv, SignalWatcher* watcher) {
  Arguments args;
  CLI::App app{"Reader firmware updates and reader tools for RFID readers on serial ports.\n"
               "Serial ports are COM numbers: COM 1-16 are /dev/ttyUSB0-15, COM 17-32\n"
               "/dev/ttyACM0-15, COM 33 up /dev/ttyS0 up (FLASHWRIGHT_PORT_DIR overrides).",
               kProgramName};
  app.require_subcommand(0, 1);
  app.fallthrough();
  app.add_flag("--json", args.json, "print one JSON object per event on stdout");
  app.add_flag("--version", args.version, "print the program's name and version, and end");
  app.add_flag("-q,--quiet", args.quiet,
               "no progress lines and no information: only the outcome, warnings and errors");
  app.add_flag("-v,--verbose", args.verbose,
               "-v: trace the opening, closing, purges and time-outs of the reader port and "
               "failed USB requests on stderr; -vv: every byte written and read and every USB "
               "driver request too");
  app.add_option("--log", args.log_file,
                 "append the whole wire trace to FILE, whatever the level of -v")
      ->type_name("FILE");

  CLI::App* ports = app.add_subcommand(
      "ports", "list the COM ports, their hardware IDs and friendly names, and what reader "
               "port discovery would choose");
  bool no_discovery = false;
  ports->add_flag("--no-discovery", no_discovery,
                  "list the ports only: no reader port discovery, nothing is sent");

  CLI::App* info = app.add_subcommand(
      "info", "show the reader's version, bootloader, platform and power level");
  AddPortOption(info, &args.port);
  AddWaitOption(info, &args.wait_seconds,
                "wait up to SECONDS (default 30) for the port to appear before asking the "
                "reader");

  CLI::App* update = app.add_subcommand("update", "update the reader's firmware");
  update->add_option("--firmware", args.firmware,
                     "image or package of the firmware folder, by base name")
      ->type_name("NAME")
      ->required();
  AddPortOption(update, &args.port);
  update->add_flag("--recover", args.recover,
                   "the reader already waits for records after a broken download: send the "
                   "image without the switch into download mode and without the header checks "
                   "(needs --port N)");
  AddTagTypesOption(update, &args.tag_types)
      ->description("tag technologies whose configuration is reset after a successful "
                    "update: all, iso, ti or none")
      ->capture_default_str();
  update->add_option("--too-old", args.too_old,
                     "version constraint of readers too old to update, as /O; replaces the "
                     "default L2.1, may be repeated, none empties the list")
      ->check(ConstraintValidator())
      ->type_name("C")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  update->add_option("--too-new", args.too_new,
                     "version constraint of readers too new to update, as /N; may be "
                     "repeated, none empties the list")
      ->check(ConstraintValidator())
      ->type_name("C")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  update->add_option("--firmware-dir", args.firmware_dir,
                     "firmware folder (default: the folder firmware beside the program)")
      ->type_name("DIR");
  update->add_flag("--check-only", args.check_only,
                   "run the check pass of the image (every image of a package) against the "
                   "reader and send nothing");
  AddWaitOption(update, &args.wait_seconds,
                "wait up to SECONDS (default 30) for the port to appear before starting, and "
                "after a successful update for the reader to answer again (its version is "
                "reported as version_after)");
  update->add_flag("--skip-if-current", args.skip_if_current,
                   "send nothing when the reader already has the image: an image whose name "
                   "ends with the reader's version numbers written one after another "
                   "(42418 for 4.241.8)");

  CLI::App* reset = app.add_subcommand("reset-config", "reset the reader's configuration");
  AddTagTypesOption(reset, &args.reset_tag_types)->required();
  AddPortOption(reset, &args.port);

  CLI::App* diag =
      app.add_subcommand("diag", "list the tags in the reader's field with their block 0");
  diag->add_flag("--continuous", args.continuous, "read every 500 ms until Ctrl-C");
  AddPortOption(diag, &args.port);

  CLI::App* afi = app.add_subcommand("afi", "read or set the portal AFI value");
  afi->add_option("--set", args.afi, "new AFI value, hexadecimal 00 to FF")->type_name("HEX");
  AddPortOption(afi, &args.port);

  CLI::App* security = app.add_subcommand("security", "read or set the security method");
  security
      ->add_option("--set", args.security,
                   "new method AFI, EAS, DSFID or None, and its value in hexadecimal (EAS "
                   "takes 0 or 1, None no value)")
      ->type_name("METHOD [VALUE]")
      ->expected(1, 2);
  AddPortOption(security, &args.port);

  CLI::App* transmit = app.add_subcommand("transmit-mode", "read or set the RF transmit mode");
  transmit->add_option("--set", args.transmit_mode, "new mode: 1 out of 4 or 1 out of 256")
      ->type_name("4|256")
      ->check(CLI::IsMember(Keywords(kTransmitModes)).description(""));
  AddPortOption(transmit, &args.port);

  CLI::App* power = app.add_subcommand("power-level", "read or set the RF power level");
  power->add_option("--set", args.power_level, "new level")
      ->type_name("100mW|200mW|400mW|1W")
      ->check(CLI::IsMember(Keywords(kPowerLevels), CLI::ignore_case).description(""));
  AddPortOption(power, &args.port);

  CLI::App* usb = app.add_subcommand(
      "usb", "USB devices (EZ-USB based): list, describe, update the firmware in their EEPROM, "
             "save their EEPROM");
  usb->require_subcommand(1);
  auto add_device_option = [&args](CLI::App* command) {
    command
        ->add_option("--device", args.device,
                     "the USB device: its index (see usb list), or its bus path as the system "
                     "names the port it is plugged in (1-3.2), which stays the same while other "
                     "devices come and go")
        ->check(UsbDeviceValidator())
        ->type_name("N|BUS-PATH")
        ->required();
  };
  CLI::App* usb_list = usb->add_subcommand(
      "list", "list the USB devices with their IDs, product string and first EEPROM byte");
  CLI::App* usb_info = usb->add_subcommand(
      "info", "show a USB device's product string, IDs, first EEPROM byte and driver version");
  add_device_option(usb_info);
  CLI::App* usb_update = usb->add_subcommand(
      "update", "write a firmware image into a USB device's EEPROM, then read it back");
  add_device_option(usb_update);
  usb_update->add_option("--firmware", args.firmware,
                         "image of the USB firmware folder, by name (.bin may be left out)")
      ->type_name("NAME")
      ->required();
  usb_update->add_option("--firmware-dir", args.firmware_dir,
                         "USB firmware folder (default: the folder ezusb_fw beside the program)")
      ->type_name("DIR");
  usb_update->add_option("--marker", args.markers,
                         "text that the device's product string and the image's product text "
                         "must both hold when the device's does, as /USM; may be repeated")
      ->type_name("TEXT")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  usb_update->add_flag("--check-only", args.check_only,
                       "run the compatibility check and write nothing");
  usb_update->add_flag("--allow-non-matching", args.allow_non_matching,
                       "a device that fails the compatibility check may still be updated, "
                       "after a yes to the questions");
  usb_update->add_flag("--yes", args.yes, "answer the questions of --allow-non-matching with yes");
  usb_update->add_flag("--no-verify", args.no_verify,
                       "do not read the written image back from the device");
  AddWaitOption(usb_update, &args.wait_seconds,
                "wait up to SECONDS (default 30) for the USB device to appear before starting, "
                "and after a successful update for it to be detached and attached again (its "
                "product string is reported as version_after)");
  usb_update->add_flag("--skip-if-current", args.skip_if_current,
                       "write nothing when the device already runs the image: the same IDs "
                       "and a product string equal to the image's product text");
  CLI::App* usb_backup = usb->add_subcommand(
      "backup", "save the whole EEPROM of a USB device (65536 bytes) into a file");
  add_device_option(usb_backup);
  usb_backup->add_option("--output", args.output_file, "the file to write")
      ->type_name("FILE")
      ->required();
  usb_backup->add_flag("--force", args.force, "replace the file when it exists");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    EventOutput output(HasJsonArgument(argc, argv) ? OutputMode::Json : OutputMode::Plain,
                       stdout, stderr);
    std::string where;
    for (const CLI::App* command : app.get_subcommands()) where = command->get_name();
    return UsageError(output, where, e.what());
  }

  const OutputMode mode = args.json                  ? OutputMode::Json
                          : platform::IsTerminal(stdout) ? OutputMode::Terminal
                                                       : OutputMode::Plain;
  EventOutput output(mode, stdout, stderr);
  if (args.version) {
    JsonObject fields;
    fields["program"] = kProgramName;
    fields["version"] = FLASHWRIGHT_VERSION;
    output.Event("version", fields,
                 FormatText(texts::kVersionText, kProgramName, FLASHWRIGHT_VERSION));
    return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "");
  }
  if (app.get_subcommands().empty()) return UsageError(output, "", "A subcommand is required.");
  output.set_quiet(args.quiet);
  output.set_failure_annotator(AnnotatePortOpenFailure);

  // The trace lives as long as the process: an update worker may still close its port while
  // the program ends.
  static std::unique_ptr<TraceLog> trace;
  std::FILE* log = nullptr;
  if (!args.log_file.empty()) {
    log = std::fopen(args.log_file.c_str(), "a");
    if (log == nullptr) {
      return UsageError(output, "", "cannot write the log file " + args.log_file + ": " +
                                        std::strerror(errno) + ".");
    }
  }
  if (args.verbose > 0 || log != nullptr) {
    trace = std::make_unique<TraceLog>(stderr, std::min(args.verbose, 2), log);
    platform::SetWireTrace(trace.get());
  }
  struct TraceOff {
    ~TraceOff() { platform::SetWireTrace(nullptr); }
  } trace_off;

  // The COM number of --port (a path resolved through the port map), after a wait if asked.
  int port = kAutoDetectPort;
  auto find_port = [&](int wait_seconds) {
    return FindPort(args.port, wait_seconds, output, &port);
  };

  if (ports->parsed()) return RunPorts(output, !no_discovery);
  if (info->parsed()) {
    if (const int found = find_port(args.wait_seconds); found != kExitSuccess) return found;
    return RunInfo(port, output);
  }

  if (update->parsed()) {
    UpdateRequest request;
    request.recover = args.recover;
    request.skip_if_current = args.skip_if_current;
    request.wait_seconds = args.wait_seconds;
    request.check_only = args.check_only;
    request.reset_selection = TagTechnologyFromKeyword(args.tag_types).value_or(kTechAll);
    request.limits.too_old = ApplyConstraintArguments(request.limits.too_old, args.too_old);
    request.limits.too_new = ApplyConstraintArguments(request.limits.too_new, args.too_new);
    request.interactive = mode == OutputMode::Terminal && platform::IsTerminal(stdin);
    if (request.recover && ParsePortArgument(args.port) == kAutoDetectPort) {
      return UsageError(output, "update",
                        std::string("--recover needs --port N. ") +
                            FormatString(IDS_SELECT_PORT, ""));
    }
    request.firmware_folder =
        args.firmware_dir.empty() ? FirmwareFolderBesideProgram() : args.firmware_dir;
    const std::vector<FirmwareFileEntry> files = ListFirmwareFiles(request.firmware_folder);
    if (files.empty()) {
      return UsageError(output, "update", FormatString(IDS_NO_FIRMWARE_FILES,
                                                       request.firmware_folder.c_str()));
    }
    const auto firmware = FindFirmwareFile(files, args.firmware);
    if (!firmware) {
      return UsageError(output, "update",
                        FormatString(IDS_FIRMWARE_FILE_NOT_FOUND, args.firmware.c_str(),
                                     request.firmware_folder.c_str()));
    }
    request.firmware = *firmware;
    if (const int found = find_port(args.wait_seconds); found != kExitSuccess) return found;
    request.port = port;
    return RunUpdate(request, output, watcher);
  }

  if (reset->parsed()) {
    const std::uint8_t selection = TagTechnologyFromKeyword(args.reset_tag_types).value_or(kTechNone);
    if (selection == 0) {
      return UsageError(output, "reset-config",
                        "--tag-types must name at least one technology: all, iso or ti.");
    }
    if (const int found = find_port(0); found != kExitSuccess) return found;
    return RunResetConfiguration(port, selection, output);
  }

  if (diag->parsed()) {
    if (const int found = find_port(0); found != kExitSuccess) return found;
    return RunDiagnostics(port, args.continuous, output, watcher);
  }

  if (afi->parsed()) {
    std::optional<std::uint8_t> value;
    if (afi->count("--set") > 0) {
      value = ParseHexEntry(args.afi);
      if (!value) return UsageError(output, "afi", texts::kAfiEntryError);
    }
    if (const int found = find_port(0); found != kExitSuccess) return found;
    return RunPortalAfi(port, value, output);
  }

  if (security->parsed()) {
    std::optional<SecuritySetting> setting;
    if (!args.security.empty()) {
      const auto position = SecurityMethodPositionOfName(args.security[0]);
      if (!position) {
        return UsageError(output, "security",
                          "unknown security method '" + args.security[0] +
                              "': expected AFI, EAS, DSFID or None.");
      }
      const std::string value = args.security.size() > 1 ? args.security[1] : std::string();
      setting = ParseSecurityEntry(*position, value);
      if (!setting) return UsageError(output, "security", texts::kSecurityEntryError);
    }
    if (const int found = find_port(0); found != kExitSuccess) return found;
    return RunSecurityMethod(port, setting, output);
  }

  if (transmit->parsed()) {
    std::optional<std::uint8_t> mode_value;
    if (transmit->count("--set") > 0) mode_value = TransmitModeFromKeyword(args.transmit_mode);
    if (const int found = find_port(0); found != kExitSuccess) return found;
    return RunTransmitMode(port, mode_value, output);
  }

  if (power->parsed()) {
    std::optional<std::uint8_t> level;
    if (power->count("--set") > 0) level = PowerLevelFromKeyword(args.power_level);
    if (const int found = find_port(0); found != kExitSuccess) return found;
    return RunPowerLevel(port, level, output);
  }
  // The index of the USB device that --device names, by its index or its bus path.
  int device = 0;
  auto find_usb_device = [&](int wait_seconds) {
    return FindUsbDevice(args.device, wait_seconds, output, &device);
  };

  if (usb_list->parsed()) return RunUsbList(output);
  if (usb_info->parsed()) {
    if (const int found = find_usb_device(0); found != kExitSuccess) return found;
    return RunUsbInfo(device, output);
  }
  if (usb_update->parsed()) {
    UsbUpdateArguments request;
    if (const int found = find_usb_device(args.wait_seconds); found != kExitSuccess) {
      return found;
    }
    request.device = device;
    request.bus_path = ParseUsbDeviceArgument(args.device)->bus_path;
    request.firmware = args.firmware;
    request.firmware_folder = args.firmware_dir;
    if (request.firmware_folder.empty()) {
      SetUsbFirmwareFolderBesideProgram();
      request.firmware_folder = UsbFirmwareFolder();
    }
    request.markers = args.markers;
    request.check_only = args.check_only;
    request.allow_non_matching = args.allow_non_matching;
    request.yes = args.yes;
    request.verify = !args.no_verify;
    request.skip_if_current = args.skip_if_current;
    request.wait_seconds = args.wait_seconds;
    return RunUsbUpdate(request, output, watcher);
  }
  if (usb_backup->parsed()) {
    if (const int found = find_usb_device(0); found != kExitSuccess) return found;
    return RunUsbBackup(device, args.output_file, args.force, output);
  }
  return UsageError(output, "", "no command given.");
}

}  // namespace flashwright::cli
