#include "reader_link/link_error.h"

namespace flashwright {

namespace {

const char* NegativeCodeName(LinkError code) {
  switch (code) {
    case kLinkEndOfData: return "link end of data";
    case kLinkNoMemory: return "link no memory";
    case kLinkPortNotOpen: return "link port not open";
    case kLinkRxOverflow: return "link receive overflow";
    case kLinkTimeout: return "link timeout";
    case kLinkPortAlreadyOpen: return "link port already open";
    case kLinkBadFile: return "link bad file";
    case kLinkRejected: return "link rejected";
    case kLinkPortOpenFailed: return "link port open failed";
    case kLinkShortWrite: return "link short write";
    case kLinkVariantMismatch: return "link variant mismatch";
    default: return nullptr;
  }
}

}  // namespace

std::string LinkErrorName(LinkError code) {
  const std::string number = " (" + std::to_string(code) + ")";
  if (code == 0) return "success" + number;
  if (code > 0) return "system error " + std::to_string(code);
  if (IsReaderRefusal(code)) {
    return "reader status " + std::to_string(static_cast<long long>(kLinkStatusBase) - code) +
           number;
  }
  if (const char* name = NegativeCodeName(code)) return name + number;
  return "link code" + number;
}

}  // namespace flashwright
