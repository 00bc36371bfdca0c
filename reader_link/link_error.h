// The result codes of the whole reader link and of the download built on it.
#pragma once

#include <cstdint>
#include <string>

namespace flashwright {

// Signed result of every reader-link and download operation: 0 success, a positive system
// error code (or a raw download acknowledgement status 3 to 255), or one of the codes below.
using LinkError = std::int32_t;

inline constexpr LinkError kLinkEndOfData = -1;        // the firmware source ended before an end-of-file record
inline constexpr LinkError kLinkNoMemory = -2;         // no buffer could be allocated for the firmware source
inline constexpr LinkError kLinkPortNotOpen = -3;      // send or receive with no port open
inline constexpr LinkError kLinkRxOverflow = -4;       // received bytes would exceed the 320-byte receive buffer
inline constexpr LinkError kLinkTimeout = -5;          // no expected reply within the time limit, or a short read
inline constexpr LinkError kLinkPortAlreadyOpen = -6;  // open requested while a port is open
inline constexpr LinkError kLinkBadFile = -7;          // bad firmware character, unsupported record, or image refused
inline constexpr LinkError kLinkRejected = -8;         // download acknowledgement status 2
inline constexpr LinkError kLinkPortOpenFailed = -9;   // the COM device could not be opened (absent or in use)
inline constexpr LinkError kLinkShortWrite = -10;      // the port took fewer bytes than were written
inline constexpr LinkError kLinkVariantMismatch = -11; // the image is built for another hardware variant
inline constexpr LinkError kLinkStatusBase = -32;      // a D6 reply with nonzero status s gives kLinkStatusBase - s

constexpr LinkError StatusError(std::uint8_t status) { return kLinkStatusBase - status; }
// Codes below kLinkStatusBase are refusals by the reader, not link failures.
constexpr bool IsReaderRefusal(LinkError code) { return code < kLinkStatusBase; }

// The code for logs and diagnostics: "link timeout (-5)", "reader status 3 (-35)",
// "system error 13", "success (0)". Never empty; an unknown negative code is named by number.
std::string LinkErrorName(LinkError code);

}  // namespace flashwright
