// Feeds arbitrary byte streams, in arbitrary pieces, through every reply scanner the way the
// receive loop does (a 320-byte buffer, consumed bytes dropped from the front).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "reader_link/commands.h"
#include "reader_link/frame.h"
#include "reader_link/transport.h"

namespace {

using flashwright::ReplyResult;
using flashwright::ReplyScanner;

void Drive(ReplyScanner scanner, const std::uint8_t* data, std::size_t size) {
  std::uint8_t buffer[flashwright::kReceiveBufferSize];
  std::size_t buffered = 0;
  ReplyResult result;
  std::size_t at = 1;
  const std::size_t piece = size > 0 ? (data[0] % 17) + 1 : 1;
  while (at < size && result.received == 0) {
    std::size_t take = size - at < piece ? size - at : piece;
    if (buffered + take > sizeof buffer) return;  // the receive loop ends with kLinkRxOverflow
    std::memcpy(buffer + buffered, data + at, take);
    buffered += take;
    at += take;
    const std::size_t consumed = scanner(buffer, buffered, &result);
    if (consumed > buffered) std::abort();
    std::memmove(buffer, buffer + consumed, buffered - consumed);
    buffered -= consumed;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ReplyScanner scanners[] = {
      flashwright::ScanVersionReply,    flashwright::ScanHardwareQueryReply,
      flashwright::ScanResetConfigurationReply, flashwright::ScanPowerLevelReply,
      flashwright::ScanPowerRangeReply, flashwright::ScanDownloadAck,
  };
  for (ReplyScanner scanner : scanners) Drive(scanner, data, size);
  if (size > 0) flashwright::CheckFrame(data, size);
  return 0;
}
