// Texts that flashwright-cli shows besides the string table: those of the reader update view,
// the sentences of the reader tool dialogs, and the program's own lines.
#pragma once

#include "reader_tools/tool_texts.h"
#include "reader_update/view_texts.h"

namespace flashwright::cli::texts {

// The reader update view's texts (kNoReader, kVerifyLine, kFoundVersion, ...).
using namespace ::flashwright::texts;

// The reader tool dialogs' sentences (kAfiSetTo, kReaderError, ...) and their field labels.
using namespace ::flashwright::tool_texts;
inline constexpr char kPortLine[] = "Port: %d";
inline constexpr char kVersionLine[] = "Version: %s";
inline constexpr char kCurrentAfi[] = "Current AFI Value : ";
inline constexpr char kCurrentSecurityMethod[] = "Current Security Method : ";
inline constexpr char kCurrentSecurityValue[] = "Current Value : ";
inline constexpr char kCurrentMode[] = "Current Mode : ";
inline constexpr char kCurrentLevel[] = "Current Level : ";

// flashwright-cli's own.
inline constexpr char kReaderLine[] = "Reader on COM %d: %s";
inline constexpr char kFoundUsing[] = " (found using %s)";
inline constexpr char kPowerLine[] = "Power Level: %s";
inline constexpr char kCheckPassed[] =
    "Firmware file %s passed the check for the reader on COM %d. Nothing was sent.";
inline constexpr char kCheckPassedRecover[] =
    "Firmware file %s passed the check for recover mode. Nothing was sent.";
inline constexpr char kResetNeedsNewerReader[] =
    "Reset configuration (%s) not sent: the reader on COM %d has version %s.";
inline constexpr char kHoldOn[] =
    "The update cannot be interrupted. Wait for it to end; the reader must not lose power.";
inline constexpr char kRetryAnswer[] = " [y/N] ";
inline constexpr char kRecoverHint[] =
    "To try again in recover mode: flashwright-cli update --recover --port %d --firmware %s";
inline constexpr char kNoPorts[] = "No COM ports.";
inline constexpr char kAutoDetectLabel[] = "auto-detect: ";
inline constexpr char kUsageHint[] = "Run with --help for more information.";

}  // namespace flashwright::cli::texts
