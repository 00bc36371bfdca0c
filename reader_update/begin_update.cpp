#include "reader_update/begin_update.h"

#include "shell/string_table.h"
#include "discovery/find_reader.h"
#include "platform/port_map.h"
#include "platform/text_case.h"
#include "reader_link/commands.h"
#include "reader_link/reader_information.h"
#include "reader_update/reader_reset.h"
#include "reader_update/run_discovery.h"
#include "reader_update/update_run.h"

namespace flashwright {
namespace {

void Refuse(BeginUpdateResult* result, RefusalReason reason, std::string text) {
  result->step = BeginUpdateStep::Refused;
  result->reason = reason;
  result->kind = ui::PaneKind::kError;
  result->text = std::move(text);
}

// Asks the reader on a COM port that the front end has not asked yet. False (with the
// refusal in `result`) when the port does not exist or, outside recover mode, nothing answers.
bool AskReaderOnPort(const BeginUpdateRequest& request, BeginUpdateResult* result) {
  RunReader& reader = result->reader;
  if (!platform::PortExists(static_cast<unsigned>(reader.port))) {
    Refuse(result, RefusalReason::NoReader,
           ComposeMessage(IDS_PORT_DOES_NOT_EXIST, reader.port, 0, {}, request.fields));
    return false;
  }
  // In recover mode the reader waits for records and answers nothing else.
  if (request.recover) return true;
  const ReaderInformation info = ReadReaderInformation(reader.port, false);
  if (info.result != 0) {
    Refuse(result, RefusalReason::NoReader,
           ComposeMessage(IDS_NO_READER_ON_PORT, reader.port, 0, {}, request.fields));
    return false;
  }
  reader.version = info.version;
  reader.bootloader = info.bootloader;
  reader.flags = info.flags;
  return true;
}

// The basic view's "already updated": the reader keeps its firmware, and its configuration is
// still reset when the user selected technologies and the reader has the command.
std::string AlreadyUpdatedText(const BeginUpdateRequest& request, const RunReader& reader) {
  std::string text = ComposeMessage(IDS_ALREADY_UPDATED, reader.port, reader.version, {},
                                    request.fields);
  if (request.reset_selection != 0 && reader.version > kSettingsVersionFloor) {
    const LinkError reset = ResetReaderConfiguration(reader.port, request.reset_selection);
    text += kLineBreak;
    text += ResetConfigurationText(reset, request.reset_selection);
  }
  return text;
}

}  // namespace

bool FirmwareAlreadyLoaded(const std::string& base_name, bool is_package, std::uint32_t version) {
  if (is_package) return false;
  const std::string digits = FormatText("%u%u%u", (version >> 16) & 0xFFu,
                                        (version >> 8) & 0xFFu, version & 0xFFu);
  return EndsWithIgnoringCase(base_name, digits);
}

BeginUpdateResult BeginUpdate(const BeginUpdateRequest& request, const ReaderNotice& notice) {
  BeginUpdateResult result;
  if (!request.have_firmware) {
    Refuse(&result, RefusalReason::NoFirmware,
           ComposeMessage(request.firmware_listed ? IDS_SELECT_FIRMWARE : IDS_NO_FIRMWARE_FILES, 0,
                          0, {}, request.fields));
    return result;
  }

  RunReader& reader = result.reader;
  reader.port = request.port;
  if (request.reader_known) {
    reader.version = request.version;
    reader.bootloader = request.bootloader;
    reader.flags = request.flags;
  } else if (request.port > 0 && !AskReaderOnPort(request, &result)) {
    return result;
  }

  if (request.port == 0 && !request.recover) {
    const ReaderDiscovery found = DiscoverReader(request.limits);
    reader.discovered = true;
    reader.source = found.source;
    if (request.control_held) {
      reader.port = found.port;
      reader.version = found.version;
      reader.bootloader = found.bootloader;
      reader.flags = found.flags;
      result.step = BeginUpdateStep::Reported;
      result.kind = ui::PaneKind::kNeutral;
      result.text = DiscoveryReport(found, request.limits);
      return result;
    }
    if (found.result != 0) {
      reader.port = found.port;
      Refuse(&result, RefusalReason::NoReader, DiscoveryFailureText(found));
      return result;
    }
    if (found.port > 0) {
      reader.port = found.port;
      reader.version = found.version;
      reader.bootloader = found.bootloader;
      reader.flags = found.flags;
    }
  }

  if (reader.port <= 0) {
    Refuse(&result, RefusalReason::NoReader, LoadString(IDS_NO_READER_FOUND));
    return result;
  }

  if (!request.recover) {
    if (notice) notice(reader);
    result.verdict = CFindReader::CheckReaderVersion(reader.version, request.limits.too_old,
                                                     request.limits.too_new);
    if (result.verdict != 0) {
      Refuse(&result, RefusalReason::Version,
             VersionRefusalText(result.verdict, reader.port, reader.version));
      return result;
    }
    if (request.basic_view &&
        FirmwareAlreadyLoaded(request.base_name, request.is_package, reader.version)) {
      result.step = BeginUpdateStep::AlreadyUpdated;
      result.kind = ui::PaneKind::kSuccess;
      result.text = AlreadyUpdatedText(request, reader);
      return result;
    }
  }

  result.step = BeginUpdateStep::Start;
  result.kind = ui::PaneKind::kNeutral;
  result.job = NewUpdateJob(reader.port, reader.bootloader, reader.flags, request.recover,
                            request.reset_selection, request.is_package, request.base_name);
  return result;
}

}  // namespace flashwright
