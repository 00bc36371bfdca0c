#include "app/cli/usb_commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "app/cli/cli_arguments.h"
#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/usb_device_wait.h"
#include "app/cli/usb_open_failure.h"
#include "shell/string_table.h"
#include "platform/posted_messages.h"
#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_device.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_eeprom_reading.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_run_control.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_prompt.h"
#include "usb_update/usb_update_texts.h"

namespace flashwright::cli {
namespace {

constexpr auto kPumpSlice = std::chrono::milliseconds(200);

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
  return text;
}

JsonObject DeviceFields(int index, const UsbDeviceReading& reading) {
  JsonObject fields;
  fields["device"] = index;
  fields["name"] = UsbDeviceDisplayName(static_cast<std::uint16_t>(index));
  fields["vendor_id"] = Hex4(reading.info.vendor_id);
  fields["product_id"] = Hex4(reading.info.product_id);
  fields["first_byte"] = reading.info.first_byte;
  fields["product"] = reading.info.product_string;
  fields["result"] = reading.result;
  if (const std::string at = UsbBusPath(index); !at.empty()) fields["bus_path"] = at;
  return fields;
}

// The device the command names, or an exit status with its text told.
int CheckDevice(int device, EventOutput& output) {
  if (device < 0 || device >= kUsbIndexLimit) {
    return output.Outcome(kExitUsage, ui::PaneKind::kError,
                          FormatText(texts::kUsbBadIndex, device));
  }
  const std::vector<std::uint16_t> present = ListUsbDevices();
  if (std::find(present.begin(), present.end(), device) != present.end()) return kExitSuccess;
  JsonObject fields;
  fields["device"] = device;
  std::string text = present.empty() ? LoadString(IDS_USB_NO_DEVICES)
                                     : FormatText(texts::kUsbNoSuchDevice, device);
  // The list ends at the first device that cannot be opened: that one may be the reason (or,
  // where indexes have gaps, the device asked for itself).
  AnnotateUsbOpenFailure(present.empty() ? 0 : std::min<int>(present.back() + 1, device), device,
                         &text, &fields);
  return output.Outcome(kExitNoReader, ui::PaneKind::kError, text, fields);
}

// The progress of an EEPROM read, told as the pass `pass` with the status `status_format`.
UsbReadProgress ReadProgress(const char* status_format, const char* pass, EventOutput& output) {
  return [status_format, pass, &output](std::uint32_t done, std::uint32_t total) {
    ProgressReport report;
    report.pass = pass;
    report.usb = true;
    report.done = done;
    report.total = total;
    report.finishing = done == total;
    report.position = UsbProgramPercent(done, total);
    report.status = FormatText(status_format, static_cast<unsigned long>(done),
                               static_cast<unsigned long>(total));
    output.Progress(report);
  };
}

JsonObject ResultFields(const UsbUpdateResult& result) {
  JsonObject fields;
  fields["device"] = result.device_index;
  fields["firmware"] = result.image_name;
  fields["error"] = result.error;
  fields["phase"] = result.phase;
  fields["bytes_written"] = result.bytes_written;
  return fields;
}

// Runs the update worker and shows its progress until its completion arrives.
std::unique_ptr<UsbUpdateResult> RunWorker(int device, const std::string& image,
                                           EventOutput& output, SignalWatcher* watcher) {
  QueuePostTarget target;
  ScopedSignalMode hold(watcher, SignalWatcher::Mode::Hold);
  std::thread worker;
  std::unique_ptr<UsbUpdateResult> result;
  UsbUpdateResult failed;
  if (!StartUsbUpdateRun(target.handle(), static_cast<std::uint16_t>(device), image, &worker,
                         &failed)) {
    return std::make_unique<UsbUpdateResult>(failed);
  }
  int position = 0;
  while (!result) {
    if (watcher != nullptr && watcher->TakeRequest()) output.Notice(texts::kUsbHoldOn);
    MessageId message = 0;
    std::unique_ptr<PostedRecord> record;
    if (!target.Pump(&message, &record, kPumpSlice)) continue;
    if (message == UsbUpdateCompleteMessage()) {
      result = TakeRecord<UsbUpdateResult>(std::move(record));
      if (!result) result = std::make_unique<UsbUpdateResult>();
      continue;
    }
    const auto* progress = dynamic_cast<const UsbProgress*>(record.get());
    if (progress == nullptr) continue;
    ProgressReport report;
    report.usb = true;
    report.done = progress->done;
    report.total = progress->total;
    report.finishing = progress->finishing;
    if (message == UsbVerifyProgressMessage()) {
      report.pass = "verify";
      report.status = UsbVerifyStatusText(*progress);
      position = 0;
    } else if (message == UsbProgramProgressMessage()) {
      report.pass = "program";
      report.status = UsbProgramStatusText(*progress);
      position = progress->done == 0 ? 0 : UsbProgramPercent(progress->done, progress->total);
    } else {
      continue;
    }
    report.position = position;
    output.Progress(report);
  }
  if (worker.joinable()) worker.join();
  return result;
}

// Reads the written image back from the device and compares it. Success, or a failure's exit
// status with its text told.
int VerifyWrittenImage(const UsbUpdateArguments& arguments, const std::string& image_name,
                       const std::string& device_name, EventOutput& output,
                       JsonObject fields) {
  const UsbVerifyResult verify =
      VerifyUsbImage(static_cast<std::uint16_t>(arguments.device), image_name,
                     ReadProgress(texts::kUsbVerifyStatus, "read-back", output));
  fields["verified"] = false;
  if (verify.error != 0) {
    fields["verify_error"] = verify.error;
    fields["verify_offset"] = verify.offset;
    return output.Outcome(kExitFailed, ui::PaneKind::kError,
                          FormatText(texts::kUsbVerifyReadError,
                                     static_cast<unsigned long>(verify.offset),
                                     static_cast<long>(verify.error)),
                          fields);
  }
  if (!verify.matches) {
    const auto offset = static_cast<unsigned long>(verify.offset);
    fields["verify_offset"] = offset;
    return output.Outcome(
        kExitFailed, ui::PaneKind::kError,
        FormatText(texts::kUsbVerifyMismatch, offset, offset, static_cast<unsigned>(verify.found),
                   image_name.c_str(), static_cast<unsigned>(verify.expected)),
        fields);
  }
  fields["verified"] = true;
  output.Message(ui::PaneKind::kNeutral,
                 FormatText(texts::kUsbVerified, static_cast<unsigned long>(verify.size),
                            device_name.c_str(), image_name.c_str()));
  return kExitSuccess;
}

}  // namespace

int RunUsbList(EventOutput& output) {
  const std::vector<std::uint16_t> devices = ListUsbDevices();
  JsonObject outcome;
  outcome["devices"] = devices.size();
  for (const std::uint16_t index : devices) {
    const UsbDeviceReading reading = ReadUsbDevice(index, false);
    const std::string name = UsbNameAndPlace(index);
    const std::string text =
        FormatText(texts::kUsbDeviceLine, name.c_str(), reading.info.vendor_id,
                   reading.info.product_id, static_cast<unsigned>(reading.info.first_byte),
                   reading.text.c_str());
    output.Event("device", DeviceFields(index, reading), text);
  }
  // A device after the last one listed that is there but cannot be opened is told with its
  // reason (the list ends at such a device).
  std::string refused;
  AnnotateUsbOpenFailure(devices.empty() ? 0 : devices.back() + 1, kUsbIndexLimit - 1, &refused,
                         &outcome);
  if (devices.empty()) {
    // No device is an answer, not a failure.
    std::string text = LoadString(IDS_USB_NO_DEVICES);
    if (!refused.empty()) text += "\n" + refused;
    return output.Outcome(kExitSuccess, ui::PaneKind::kNeutral, text, outcome);
  }
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, refused, outcome);
}

int RunUsbInfo(int device, EventOutput& output) {
  if (const int status = CheckDevice(device, output); status != kExitSuccess) return status;
  const UsbDeviceReading reading = ReadUsbDevice(device, true);
  JsonObject fields = DeviceFields(device, reading);
  fields["text"] = ConsoleText(reading.text);
  if (reading.result != 0) {
    return output.Outcome(kExitFailed, ui::PaneKind::kError, reading.text, fields);
  }
  const std::string name = UsbDeviceDisplayName(static_cast<std::uint16_t>(device));
  std::string text = FormatText(texts::kUsbInfoDevice, name.c_str());
  if (fields.contains("bus_path")) {
    text += "\n" + FormatText(texts::kUsbInfoBusPath,
                              fields["bus_path"].get<std::string>().c_str());
  }
  text += "\n" + FormatText(texts::kUsbInfoProduct, reading.info.product_string.c_str());
  text += "\n" + FormatText(texts::kUsbInfoIds, reading.info.vendor_id, reading.info.product_id,
                            static_cast<unsigned>(reading.info.first_byte));
  if (reading.has_driver_version) {
    text += "\n" + FormatText(texts::kUsbInfoDriver, reading.driver_major, reading.driver_minor,
                              reading.driver_build);
    if (reading.has_revision) text += FormatText(texts::kUsbInfoRevision, reading.driver_revision);
    fields["driver"] = FormatText("%hu.%hu.%hu", reading.driver_major, reading.driver_minor,
                                  reading.driver_build);
    if (reading.has_revision) fields["driver_revision"] = reading.driver_revision;
  }
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, text, fields);
}

int RunUsbUpdate(const UsbUpdateArguments& arguments, EventOutput& output,
                 SignalWatcher* watcher) {
  if (!SetUsbFirmwareFolder(arguments.firmware_folder)) {
    return output.Outcome(kExitUsage, ui::PaneKind::kError,
                          FormatString(IDS_NO_FIRMWARE_FILES, arguments.firmware_folder.c_str()));
  }
  const std::string folder = UsbFirmwareFolder();
  const std::vector<std::string> images = ListUsbImages(folder);
  if (images.empty()) {
    return output.Outcome(kExitUsage, ui::PaneKind::kError,
                          FormatString(IDS_NO_FIRMWARE_FILES, folder.c_str()));
  }
  const std::string image = FindUsbImage(images, arguments.firmware);
  if (image.empty()) {
    return output.Outcome(kExitUsage, ui::PaneKind::kError,
                          FormatString(IDS_FIRMWARE_FILE_NOT_FOUND, arguments.firmware.c_str(),
                                       folder.c_str()));
  }
  if (const int status = CheckDevice(arguments.device, output); status != kExitSuccess) {
    return status;
  }

  const std::string device_name =
      UsbDeviceDisplayName(static_cast<std::uint16_t>(arguments.device));
  const UsbDeviceReading reading = ReadUsbDevice(arguments.device, false);
  JsonObject device_fields = DeviceFields(arguments.device, reading);
  output.Event("device", device_fields,
               FormatText(texts::kUsbDeviceLine, UsbNameAndPlace(arguments.device).c_str(),
                          reading.info.vendor_id, reading.info.product_id,
                          static_cast<unsigned>(reading.info.first_byte), reading.text.c_str()));
  // The check, with the user's answers at the terminal (or --yes) when it fails and
  // non-matching devices are allowed.
  SetAllowNonMatchingDevices(arguments.allow_non_matching);
  bool refused_for_json = false;
  std::string unanswered;
  const UsbQuestionFunction ask = [&](UsbQuestion, const std::string& text) {
    if (arguments.yes) {
      output.Notice(FormatText(texts::kUsbAnsweredYes, ConsoleText(text).c_str()));
      return true;
    }
    if (output.json()) {
      refused_for_json = true;
      unanswered = text;
      return false;
    }
    return output.AskYesNo(text + texts::kRetryAnswer);
  };
  UsbRunInputs inputs;
  inputs.image_name = image;
  inputs.image_count = images.size();
  inputs.firmware_folder = folder;
  // What the command line is told to write, it writes; with --skip-if-current the basic
  // view's already-updated rule decides first.
  inputs.advanced = !arguments.skip_if_current;
  inputs.device = arguments.device;
  inputs.device_info = reading.info;
  inputs.markers = arguments.markers;
  inputs.ask = ask;
  const UsbBeginDecision decision = BeginUsbUpdate(inputs);
  if (decision.step == UsbBeginStep::kUnknownDevice) {
    // A device whose product string cannot be read is not updated (the view refuses it too).
    return output.Outcome(kExitFailed, ui::PaneKind::kError, decision.message.text, device_fields);
  }
  const UsbConfirmation& confirmation = decision.confirmation;
  JsonObject check_fields = device_fields;
  check_fields["firmware"] = image;
  check_fields["reason"] = confirmation.reason;
  check_fields["severe"] = confirmation.severe;
  check_fields["image_first_byte"] = confirmation.image.first_byte;
  check_fields["image_vendor_id"] = Hex4(confirmation.image.vendor_id);
  check_fields["image_product_id"] = Hex4(confirmation.image.product_id);
  check_fields["image_product"] = confirmation.image.product_text;
  if (refused_for_json) {
    return output.Outcome(kExitUsage, ui::PaneKind::kError,
                          FormatText(texts::kUsbQuestionRefused, ConsoleText(unanswered).c_str()),
                          check_fields);
  }
  if (decision.step == UsbBeginStep::kAlreadyUpdated) {
    check_fields["skipped"] = true;
    return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, decision.message.text,
                          check_fields);
  }
  if (decision.step != UsbBeginStep::kStart) {
    return output.Outcome(kExitFailed, ui::PaneKind::kError, decision.message.text, check_fields);
  }
  if (arguments.check_only) {
    return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess,
                          FormatText(texts::kUsbCheckPassed, image.c_str(), device_name.c_str()),
                          check_fields);
  }

  // A device named by its place must still be there: the index may now lead to another one.
  if (!arguments.bus_path.empty() && UsbBusPath(arguments.device) != arguments.bus_path) {
    return output.Outcome(kExitNoReader, ui::PaneKind::kError,
                          FormatText(texts::kUsbDeviceMoved, arguments.bus_path.c_str(),
                                     arguments.device),
                          check_fields);
  }
  output.Message(ui::PaneKind::kNeutral, decision.message.text);
  const std::unique_ptr<UsbUpdateResult> result =
      RunWorker(arguments.device, image, output, watcher);
  const UsbOutcome outcome = ComposeUsbOutcome(*result, folder);
  JsonObject fields = ResultFields(*result);
  if (!outcome.success) {
    return output.Outcome(kExitFailed, ui::PaneKind::kError, outcome.text, fields);
  }
  if (arguments.verify) {
    const int verified = VerifyWrittenImage(arguments, image, device_name, output, fields);
    if (verified != kExitSuccess) return verified;
    fields["verified"] = true;
  }
  if (arguments.wait_seconds > 0) {
    return ReportUsbDeviceAfter(arguments.device, arguments.bus_path, arguments.wait_seconds,
                                outcome.text, fields, output);
  }
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, outcome.text, fields);
}

int RunUsbBackup(int device, const std::string& file, bool force, EventOutput& output) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!force && fs::exists(file, error)) {
    return output.Outcome(kExitUsage, ui::PaneKind::kError,
                          FormatText(texts::kUsbBackupExists, file.c_str()));
  }
  if (const int status = CheckDevice(device, output); status != kExitSuccess) return status;
  const std::string name = UsbDeviceDisplayName(static_cast<std::uint16_t>(device));
  JsonObject fields;
  fields["device"] = device;
  fields["output"] = file;

  const UsbBackupResult backup = BackupUsbEeprom(
      static_cast<std::uint16_t>(device), file,
      ReadProgress(texts::kUsbBackupStatus, "backup", output));
  if (backup.error != 0) {
    fields["error"] = backup.error;
    fields["offset"] = backup.offset;
    return output.Outcome(kExitFailed, ui::PaneKind::kError,
                          FormatText(texts::kUsbBackupReadError, name.c_str(),
                                     static_cast<unsigned long>(backup.offset),
                                     static_cast<long>(backup.error)),
                          fields);
  }
  if (!backup.write_error.empty()) {
    return output.Outcome(kExitFailed, ui::PaneKind::kError,
                          FormatText(texts::kUsbBackupWriteError, file.c_str(),
                                     backup.write_error.c_str()),
                          fields);
  }
  fields["bytes"] = backup.size;
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess,
                        FormatText(texts::kUsbBackupDone, static_cast<unsigned long>(backup.size),
                                   name.c_str(), file.c_str()),
                        fields);
}

}  // namespace flashwright::cli
