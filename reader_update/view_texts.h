// Texts of the reader update view that are not in the string table: the list entries and the
// composed reports of discovery and of the firmware copy (the form's own texts are in its
// template).
#pragma once

namespace flashwright::texts {

inline constexpr const char kAutoDetect[] = "auto-detect";
inline constexpr const char kComPortFormat[] = "COM%d";
inline constexpr const char kErrorLine[] = "(error %ld)";

inline constexpr const char kFoundVersionError[] = "Reader version (error %ld) found on COM %d using %s.";
inline constexpr const char kFoundVersion[] =
    "Reader version %lX (Bootloader %.4hX,flags %.2hX) found on COM %d using %s.";
inline constexpr const char kTooOldToUpdate[] = " Version is too old to update.";
inline constexpr const char kTooNewToUpdate[] = " Version is too new to update.";

inline constexpr const char kImageCountPrefix[] = "(%d of %d) ";
inline constexpr const char kVerifyLine[] = "%sVerify Line: %lu";
inline constexpr const char kInitializing[] = "%sInitializing...";
inline constexpr const char kProgramLine[] = "%sProgram Line: %lu";
inline constexpr const char kFinishing[] = "...Finishing...";

inline constexpr const char kCopyBrowseTitle[] = "Copy Firmware: Select drive or root folder.";
inline constexpr const char kCopyGetPathError[] = "Get path error.";
inline constexpr const char kCopyFileError[] = "File copy error %lu. %lu file(s) were copied.";
inline constexpr const char kCopyDone[] = "%lu file(s) copied to %s";
inline constexpr const char kCopyNothing[] = "No firmware files to copy.";

}  // namespace flashwright::texts
