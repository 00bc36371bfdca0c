// Every tool reply parser over arbitrary bytes, each given a heap copy of exactly the bytes
// "received" so that the address sanitizer stops any read past them. The parsers are also run
// on every prefix of the input, as the exchange calls them while bytes trickle in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "reader_tools/portal_afi.h"
#include "reader_tools/power_level.h"
#include "reader_tools/security_method.h"
#include "reader_tools/tag_reads.h"
#include "reader_tools/tool_reply.h"
#include "reader_tools/transmit_mode.h"

namespace {

using namespace flashwright;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool KnownResult(ToolResult result) {
  return result == 0 || result == kToolUnexpectedReply || (result >= 1 && result <= 255);
}

void RunParsers(const std::uint8_t* bytes, std::size_t count, const std::string& id_text) {
  auto header = ParseToolReplyHeader(bytes, count);
  if (header) {
    Check(header->position <= count);
    Check(count >= static_cast<std::size_t>(header->length) + 3);
  }
  const bool complete = header.has_value();

  for (bool extra : {true, false}) {
    bool extra_byte = extra;
    std::vector<std::string> ids;
    ToolResult result = 0;
    bool done = ParseInventoryReply(bytes, count, &extra_byte, &ids, &result);
    Check(done == complete);
    if (done) {
      Check(KnownResult(result));
      for (const std::string& id : ids) Check(!id.empty() && id.size() <= 16);
      if (result != 0) Check(ids.empty());
    }

    std::string block;
    result = 0;
    done = ParseBlockReadReply(bytes, count, extra, id_text, &block, &result);
    Check(done == complete);
    if (done) {
      Check(KnownResult(result));
      Check(result == 0 ? block.size() == 8 : block.empty());
    }
  }

  std::uint8_t a = 0, b = 0;
  ToolResult result = 0;
  if (ParseReadPortalAfiReply(bytes, count, &a, &result)) Check(KnownResult(result));
  if (ParseWritePortalAfiReply(bytes, count, &result)) Check(KnownResult(result));
  if (ParseReadSecurityMethodReply(bytes, count, &a, &b, &result)) {
    Check(KnownResult(result));
    if (result == 0) Check(SecurityMethodName(a)[0] != '(');
  }
  if (ParseWriteSecurityMethodReply(bytes, count, &result)) Check(KnownResult(result));
  a = 0;
  if (ParseReadTransmitModeReply(bytes, count, &a, &result)) {
    Check(KnownResult(result));
    Check(a <= 1);
  }
  if (ParseWriteTransmitModeReply(bytes, count, &result)) Check(KnownResult(result));
  if (ParseReadRfPowerLevelReply(bytes, count, &a, &result)) Check(KnownResult(result));
  if (ParseWriteRfPowerLevelReply(bytes, count, &result)) Check(KnownResult(result));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the tag the block read asks about, so that matching identifiers (and
  // with them the block field) are reached.
  std::string id_text;
  if (size > 0) {
    static const char* const kIds[] = {"0", "12345678", "E004010012345678", "ABCDE"};
    id_text = kIds[data[0] % 4];
    ++data;
    --size;
  }
  for (std::size_t n = 0; n <= size; ++n) {
    std::vector<std::uint8_t> received(data, data + n);
    RunParsers(received.data(), received.size(), id_text);
  }
  return 0;
}
