// The sentences of the reader tools, shared by the dialogs and the command-line program.
#pragma once

namespace flashwright::tool_texts {

inline constexpr char kTagCount[] = "Tags: %d";
inline constexpr char kReaderError[] = "(Reader Error %ld)";
inline constexpr char kBlock0[] = "   Block0: ";
inline constexpr char kBlockError[] = "(err %ld)";

inline constexpr char kAfiSetTo[] = "Portal AFI Value set to: ";
inline constexpr char kAfiEntryError[] = "Enter a hexadecimal number, 0 to FF.";

inline constexpr char kSecuritySetTo[] = "Security Method set to: ";
inline constexpr char kSecurityEntryError[] =
    "Enter a hexadecimal number, 0 to FF (0 or 1 for EAS).";
inline constexpr char kSecurityRefused[] =
    "Reader firmware does not support the security method.";

inline constexpr char kModeSetTo[] = "Transmit Mode set to: ";
inline constexpr char kModeRefused[] = "Reader firmware does not support the RF transmit mode.";

inline constexpr char kLevelSetTo[] = "Power Level set to: ";
inline constexpr char kLevelRefused[] = "Reader does not support the selected level.";

}  // namespace flashwright::tool_texts
