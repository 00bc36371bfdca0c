#include "reader_update/outcome_text.h"

#include "shell/string_table.h"
#include "reader_link/commands.h"

namespace flashwright {
namespace {

std::string ErrorLine(const UpdateJob& job) {
  return FormatText("(Err:%ld,Line:%lu)", static_cast<long>(job.result),
                    static_cast<unsigned long>(job.line));
}

std::string CheckFailureMessage(const UpdateJob& job, const std::string& folder) {
  const char* name = job.base_name.c_str();
  if (job.result == kLinkVariantMismatch) return FormatString(IDS_VERIFY_PLATFORM_ERROR, name);
  if (job.phase == kPhasePortNotOpen) return LoadString(IDS_READER_RESPONSE_ERROR);
  if (job.phase != kPhaseRead) return FormatString(IDS_VERIFY_FILE_ERROR, name);
  if (job.result == kErrorFileNotFound) {
    return FormatString(IDS_FIRMWARE_FILE_NOT_FOUND, name, folder.c_str());
  }
  return FormatString(IDS_FILE_ERROR, name, folder.c_str());
}

std::string ProgrammingFailureMessage(const UpdateJob& job, const std::string& folder,
                                      bool* retry_helps) {
  const char* name = job.base_name.c_str();
  *retry_helps = false;
  switch (job.phase) {
    case kPhaseRead:
      return FormatString(IDS_FILE_ERROR, name, folder.c_str());
    case kPhaseEnterDownload:
      return LoadString(IDS_READER_RESPONSE_ERROR);
    case kPhaseReadNext:
      *retry_helps = true;
      return FormatString(IDS_UPDATE_FAILED_FILE_ERROR, name, folder.c_str());
    case kPhaseSend:
      *retry_helps = true;
      return FormatString(IDS_UPDATE_FAILED_ON_PORT, static_cast<int>(job.port));
    default:
      return LoadString(IDS_UPDATE_ERROR);
  }
}

}  // namespace

std::string TechnologyNames(std::uint8_t selection) {
  std::string names;
  if (selection & kTechTagIt) names += "TagIt";
  if (selection & kTechIso) {
    if (!names.empty()) names += ",";
    names += "ISO";
  }
  return names;
}

std::string ResetConfigurationText(LinkError result, std::uint8_t selection) {
  const std::string names = TechnologyNames(selection);
  if (result == 0) return FormatString(IDS_RESET_CONFIG_SUCCESSFUL, names.c_str());
  std::string text = FormatString(IDS_RESET_CONFIG_ERROR, names.c_str(), static_cast<long>(result));
  if (IsReaderRefusal(result)) {
    text += " ";
    text += LoadString(IDS_READER_MAY_NOT_SUPPORT);
  }
  return text;
}

UpdateOutcome ComposeUpdateOutcome(const UpdateJob& job, const std::string& firmware_folder,
                                   const std::string& view_suffix,
                                   std::uint16_t cached_bootloader) {
  UpdateOutcome outcome;
  if (job.result == 0) {
    outcome.kind = ui::PaneKind::kSuccess;
    outcome.text = FormatString(IDS_FIRMWARE_UPDATED, static_cast<int>(job.port));
    if (job.reset_selection != 0) {
      outcome.text += kLineBreak;
      outcome.text += ResetConfigurationText(job.reset_result, job.reset_selection);
    }
    if (cached_bootloader == kBootloaderUnknown || cached_bootloader < kNewBootloaderVersion) {
      outcome.text += kLineBreak;
      outcome.text += LoadString(IDS_RESET_POWER_ON_READER);
    }
    return outcome;
  }

  outcome.kind = ui::PaneKind::kError;
  bool retry_helps = false;
  std::string message = job.failed_in_check
                            ? CheckFailureMessage(job, firmware_folder)
                            : ProgrammingFailureMessage(job, firmware_folder, &retry_helps);
  outcome.text = message + kLineBreak + ErrorLine(job);
  if (retry_helps) {
    // A package is never retried from here: point to the recover command at once.
    if (job.is_package) {
      outcome.text = AppendRetryRefusal(outcome.text, view_suffix);
    } else {
      outcome.offer_retry = true;
    }
  }
  return outcome;
}

std::string RetryQuestionText(const UpdateOutcome& outcome) {
  return outcome.text + kLineBreak + kLineBreak + LoadString(IDS_TRY_AGAIN);
}

std::string AppendRetryRefusal(const std::string& text, const std::string& view_suffix) {
  const std::string refusal = FormatString(IDS_BEFORE_TRYING_AGAIN, view_suffix.c_str());
  const std::size_t last_line = text.rfind(kLineBreak);
  if (last_line == std::string::npos) return text + kLineBreak + refusal;
  return text.substr(0, last_line) + kLineBreak + refusal + text.substr(last_line);
}

}  // namespace flashwright
