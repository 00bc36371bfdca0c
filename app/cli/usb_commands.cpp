#include "app/cli/usb_commands.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "app/cli/cli_arguments.h"
#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/usb_device_wait.h"
#include "app/cli/usb_open_failure.h"
#include "app/string_table.h"
#include "platform/posted_messages.h"
#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_device.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_prompt.h"
#include "usb_update/usb_update_texts.h"

namespace flashwright::cli {
namespace {

constexpr auto kPumpSlice = std::chrono::milliseconds(200);
// EEPROM reads of the command line (read-back and backup) go in pieces of this size: one
// vendor request each, well inside the 16-bit length of a control transfer.
constexpr std::uint32_t kReadPiece = 2048;
constexpr std::uint32_t kEepromSize = 65536;

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
    return output.Outcome(kExitUsage, MessageKind::Error, FormatText(texts::kUsbBadIndex, device));
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
  return output.Outcome(kExitNoReader, MessageKind::Error, text, fields);
}

// One piece of the command line's own EEPROM reads. Stored data may begin DE AD like any
// other bytes, but a vendor request whose data begins DE AD counts as the firmware's fault
// marker. Such a piece is read again from one byte earlier (or, at address 0, its first byte
// alone): those data cannot begin DE AD when the piece's own first bytes are DE AD, so only a
// device that really answers with its fault marker fails again.
UsbError ReadPiece(std::uint32_t address, std::uint8_t* data, std::uint32_t length) {
  const UsbError read = UsbEepromRead(static_cast<std::uint16_t>(address), data, length);
  if (read != kUsbDeviceFault) return read;
  if (address == 0) {
    if (const UsbError first = UsbEepromRead(0, data, 1); first != 0) return first;
    return length > 1 ? UsbEepromRead(1, data + 1, length - 1) : 0;
  }
  std::vector<std::uint8_t> shifted(length + 1);
  const UsbError again =
      UsbEepromRead(static_cast<std::uint16_t>(address - 1), shifted.data(), length + 1);
  if (again == 0) std::copy(shifted.begin() + 1, shifted.end(), data);
  return again;
}

// Reads `length` bytes of the EEPROM of the open device from address 0 into `data`, piece by
// piece, reporting progress. 0, or the code of the failing read with `*failed_at` its address.
UsbError ReadEeprom(std::uint8_t* data, std::uint32_t length, const char* status_format,
                    const char* pass, EventOutput& output, std::uint32_t* failed_at) {
  for (std::uint32_t offset = 0; offset < length;) {
    const std::uint32_t n = std::min(kReadPiece, length - offset);
    const UsbError read = ReadPiece(offset, data + offset, n);
    if (read != 0) {
      *failed_at = offset;
      return read;
    }
    offset += n;
    ProgressReport report;
    report.pass = pass;
    report.usb = true;
    report.done = offset;
    report.total = length;
    report.finishing = offset == length;
    report.position = UsbProgramPercent(offset, length);
    report.status = FormatText(status_format, static_cast<unsigned long>(offset),
                               static_cast<unsigned long>(length));
    output.Progress(report);
  }
  return 0;
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
  auto request = std::make_unique<UsbUpdateRequest>();
  request->target = target.handle();
  request->device_index = static_cast<std::uint16_t>(device);
  request->image_name = image;
  ScopedSignalMode hold(watcher, SignalWatcher::Mode::Hold);
  std::thread worker;
  StartUsbUpdateWorker(std::move(request), &worker);
  std::unique_ptr<UsbUpdateResult> result;
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
  std::string path;
  std::vector<std::uint8_t> image;
  if (BuildUsbImagePath(UsbFirmwareFolder(), image_name, &path)) {
    std::ifstream file(path, std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  std::vector<std::uint8_t> back(image.size());
  std::uint32_t failed_at = 0;
  UsbError read = UsbOpenDevice(static_cast<std::uint16_t>(arguments.device));
  if (read == 0) {
    read = ReadEeprom(back.data(), static_cast<std::uint32_t>(back.size()),
                      texts::kUsbVerifyStatus, "read-back", output, &failed_at);
    UsbCloseDevice();
  }
  fields["verified"] = false;
  if (read != 0) {
    fields["verify_error"] = read;
    fields["verify_offset"] = failed_at;
    return output.Outcome(kExitFailed, MessageKind::Error,
                          FormatText(texts::kUsbVerifyReadError,
                                     static_cast<unsigned long>(failed_at),
                                     static_cast<long>(read)),
                          fields);
  }
  const auto differ = std::mismatch(image.begin(), image.end(), back.begin());
  if (differ.first != image.end()) {
    const auto offset = static_cast<unsigned long>(differ.first - image.begin());
    fields["verify_offset"] = offset;
    return output.Outcome(
        kExitFailed, MessageKind::Error,
        FormatText(texts::kUsbVerifyMismatch, offset, offset,
                   static_cast<unsigned>(*differ.second), image_name.c_str(),
                   static_cast<unsigned>(*differ.first)),
        fields);
  }
  fields["verified"] = true;
  output.Message(MessageKind::Information,
                 FormatText(texts::kUsbVerified, static_cast<unsigned long>(image.size()),
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
    return output.Outcome(kExitSuccess, MessageKind::Information, text, outcome);
  }
  return output.Outcome(kExitSuccess, MessageKind::Success, refused, outcome);
}

int RunUsbInfo(int device, EventOutput& output) {
  if (const int status = CheckDevice(device, output); status != kExitSuccess) return status;
  const UsbDeviceReading reading = ReadUsbDevice(device, true);
  JsonObject fields = DeviceFields(device, reading);
  fields["text"] = ConsoleText(reading.text);
  if (reading.result != 0) {
    return output.Outcome(kExitFailed, MessageKind::Error, reading.text, fields);
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
  return output.Outcome(kExitSuccess, MessageKind::Success, text, fields);
}

int RunUsbUpdate(const UsbUpdateArguments& arguments, EventOutput& output,
                 SignalWatcher* watcher) {
  if (!SetUsbFirmwareFolder(arguments.firmware_folder)) {
    return output.Outcome(kExitUsage, MessageKind::Error,
                          FormatString(IDS_NO_FIRMWARE_FILES, arguments.firmware_folder.c_str()));
  }
  const std::string folder = UsbFirmwareFolder();
  const std::vector<std::string> images = ListUsbImages(folder);
  if (images.empty()) {
    return output.Outcome(kExitUsage, MessageKind::Error,
                          FormatString(IDS_NO_FIRMWARE_FILES, folder.c_str()));
  }
  const std::string image = FindUsbImage(images, arguments.firmware);
  if (image.empty()) {
    return output.Outcome(kExitUsage, MessageKind::Error,
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
  if (reading.info.product_string.empty()) {
    // A device whose product string cannot be read is not updated (the view refuses it too).
    return output.Outcome(kExitFailed, MessageKind::Error,
                          FormatString(IDS_USB_UNKNOWN_DEVICE, device_name.c_str()),
                          device_fields);
  }

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
  const UsbConfirmation confirmation =
      ConfirmUsbUpdate(reading.info, image, false, arguments.markers, ask);
  JsonObject check_fields = device_fields;
  check_fields["firmware"] = image;
  check_fields["reason"] = confirmation.reason;
  check_fields["severe"] = confirmation.severe;
  check_fields["image_first_byte"] = confirmation.image.first_byte;
  check_fields["image_vendor_id"] = Hex4(confirmation.image.vendor_id);
  check_fields["image_product_id"] = Hex4(confirmation.image.product_id);
  check_fields["image_product"] = confirmation.image.product_text;
  if (refused_for_json) {
    return output.Outcome(kExitUsage, MessageKind::Error,
                          FormatText(texts::kUsbQuestionRefused, ConsoleText(unanswered).c_str()),
                          check_fields);
  }
  if (!confirmation.ok) {
    return output.Outcome(kExitFailed, MessageKind::Error,
                          UsbNotCompatibleText(confirmation.reason), check_fields);
  }
  // The basic view's rule: the device already runs this image.
  if (arguments.skip_if_current && IsAlreadyUpdated(reading.info, confirmation.image)) {
    check_fields["skipped"] = true;
    return output.Outcome(kExitSuccess, MessageKind::Success,
                          FormatString(IDS_USB_ALREADY_UPDATED, device_name.c_str()),
                          check_fields);
  }
  if (arguments.check_only) {
    return output.Outcome(kExitSuccess, MessageKind::Success,
                          FormatText(texts::kUsbCheckPassed, image.c_str(), device_name.c_str()),
                          check_fields);
  }

  // A device named by its place must still be there: the index may now lead to another one.
  if (!arguments.bus_path.empty() && UsbBusPath(arguments.device) != arguments.bus_path) {
    return output.Outcome(kExitNoReader, MessageKind::Error,
                          FormatText(texts::kUsbDeviceMoved, arguments.bus_path.c_str(),
                                     arguments.device),
                          check_fields);
  }
  output.Message(MessageKind::Information, LoadString(IDS_UPDATE_IN_PROGRESS));
  const std::unique_ptr<UsbUpdateResult> result =
      RunWorker(arguments.device, image, output, watcher);
  const UsbOutcome outcome = ComposeUsbOutcome(*result, folder);
  JsonObject fields = ResultFields(*result);
  if (!outcome.success) {
    return output.Outcome(kExitFailed, MessageKind::Error, outcome.text, fields);
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
  return output.Outcome(kExitSuccess, MessageKind::Success, outcome.text, fields);
}

int RunUsbBackup(int device, const std::string& file, bool force, EventOutput& output) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!force && fs::exists(file, error)) {
    return output.Outcome(kExitUsage, MessageKind::Error,
                          FormatText(texts::kUsbBackupExists, file.c_str()));
  }
  if (const int status = CheckDevice(device, output); status != kExitSuccess) return status;
  const std::string name = UsbDeviceDisplayName(static_cast<std::uint16_t>(device));
  JsonObject fields;
  fields["device"] = device;
  fields["output"] = file;

  std::vector<std::uint8_t> eeprom(kEepromSize);
  std::uint32_t failed_at = 0;
  UsbError read = UsbOpenDevice(static_cast<std::uint16_t>(device));
  if (read == 0) {
    read = ReadEeprom(eeprom.data(), kEepromSize, texts::kUsbBackupStatus, "backup", output,
                      &failed_at);
    UsbCloseDevice();
  }
  if (read != 0) {
    fields["error"] = read;
    fields["offset"] = failed_at;
    return output.Outcome(kExitFailed, MessageKind::Error,
                          FormatText(texts::kUsbBackupReadError, name.c_str(),
                                     static_cast<unsigned long>(failed_at),
                                     static_cast<long>(read)),
                          fields);
  }
  // Written beside the target and renamed over it, so that a failure leaves no partial file.
  const std::string temporary = file + ".part";
  bool written = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(eeprom.data()),
              static_cast<std::streamsize>(eeprom.size()));
    out.close();
    written = static_cast<bool>(out);
  }
  if (written) {
    fs::rename(temporary, file, error);
    written = !error;
  }
  if (!written) {
    const std::string why = error ? error.message() : std::strerror(errno);
    fs::remove(temporary, error);
    return output.Outcome(kExitFailed, MessageKind::Error,
                          FormatText(texts::kUsbBackupWriteError, file.c_str(), why.c_str()),
                          fields);
  }
  fields["bytes"] = kEepromSize;
  return output.Outcome(kExitSuccess, MessageKind::Success,
                        FormatText(texts::kUsbBackupDone, static_cast<unsigned long>(kEepromSize),
                                   name.c_str(), file.c_str()),
                        fields);
}

}  // namespace flashwright::cli
