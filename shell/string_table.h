// The program's string table: every message the user sees, by identifier, and a printf-style
// formatter for the messages with fields.
#pragma once

#include <string>

namespace flashwright {

enum StringId : int {
  IDS_PRESS_BEGIN_UPDATE = 129,      // "Press Begin Update to start firmware update."
  IDS_ALREADY_UPDATED = 130,         // port
  IDS_FIRMWARE_UPDATED = 131,        // port
  IDS_NO_READER_FOUND = 132,
  IDS_CANNOT_UPDATE_VERSION = 133,   // port, version text; followed by " " and 138
  IDS_UPDATE_FAILED_ON_PORT = 134,   // port
  IDS_FIRMWARE_FILE_NOT_FOUND = 136, // base name, firmware folder
  IDS_NO_READER_ON_PORT = 137,       // port, view suffix
  IDS_CONTACT_SERVICE = 138,
  IDS_ADVANCED_VIEW_SUFFIX = 139,    // " using Advanced View"
  IDS_UPDATE_IN_PROGRESS = 140,
  IDS_CANNOT_DETECT_READER = 141,    // port
  IDS_SELECT_FIRMWARE = 142,         // view suffix
  IDS_SELECT_PORT = 143,             // view suffix
  IDS_NO_FIRMWARE_FILES = 144,       // firmware folder
  IDS_PORT_DOES_NOT_EXIST = 145,     // port, view suffix
  IDS_UPDATE_ERROR = 146,
  IDS_FILE_ERROR = 147,              // base name, firmware folder
  IDS_READER_RESPONSE_ERROR = 148,
  IDS_TRY_AGAIN = 149,
  IDS_UPDATE_FAILED_FILE_ERROR = 150, // base name, firmware folder
  IDS_BEFORE_TRYING_AGAIN = 151,     // view suffix
  IDS_RESET_CONFIG_ERROR = 152,      // technology names, result
  IDS_READER_MAY_NOT_SUPPORT = 153,
  IDS_RESET_CONFIG_SUCCESSFUL = 154, // technology names
  IDS_UPDATE_NOT_ALLOWED = 155,      // port, version text
  IDS_USB_ALREADY_UPDATED = 156,     // device display name
  IDS_USB_UPDATED = 157,             // device display name
  IDS_USB_UNKNOWN_DEVICE = 158,      // device display name
  IDS_USB_NO_DEVICES = 159,
  IDS_USB_RESPONSE_ERROR = 163,
  IDS_USB_NOT_COMPATIBLE = 164,
  IDS_VERIFY_FILE_ERROR = 165,       // base name
  IDS_RESET_POWER_ON_READER = 166,
  IDS_VERIFY_PLATFORM_ERROR = 167,   // base name
  IDS_APP_TITLE = 57344,             // "Flashwright"
};

// The text of string `id`, or "" for an identifier the table does not have (never null).
const char* LoadString(int id);

// Formats the string `id` with printf-style fields. The caller passes the fields that the
// string's comment above lists, with the types of its conversions (%d int, %ld long, %lu
// unsigned long, %s const char*).
std::string FormatString(int id, ...);

// printf-style formatting into a std::string, for composed texts outside the table.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Joins message lines the way the message pane and message boxes show them ("\r\n").
inline constexpr char kLineBreak[] = "\r\n";

}  // namespace flashwright
