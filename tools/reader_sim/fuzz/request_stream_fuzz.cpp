// Arbitrary host bytes through the simulated reader's request cutting and command handling:
// nothing may crash, every request stays within its length limit, and every frame the reader
// answers with is well formed.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include <algorithm>

#include "tools/reader_sim/reader_model.h"
#include "tools/reader_sim/request_assembler.h"
#include "tools/reader_sim/sim_frame.h"

using namespace flashwright::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  ReaderSimOptions options;
  // The first byte picks the reader kind, so both D5 variants and the D6 reader are reached.
  options.version = (data[0] & 0x03) == 0 ? 0x0A020105 : 0x0A04F108;
  options.d5_extra_byte = (data[0] & 0x04) != 0;
  options.start_in_download_mode = (data[0] & 0x08) != 0;
  if ((data[0] & 0x10) != 0) options.tags = {{{0x12, 0x34, 0x56, 0x78}, 1}, {{0xE0, 0x04, 0x01, 0x00, 0, 0, 0, 1}, 2}};
  const std::uint8_t ack_status = data[1];
  ReaderModel model(options);
  RequestAssembler assembler;
  std::vector<std::uint8_t> stream(data + 2, data + size);
  if ((data[0] & 0x20) != 0) {
    // Random bytes almost never carry a good CRC; here the input is a list of payloads that
    // are framed properly, so the command handling itself gets explored.
    stream.clear();
    std::size_t at = 2;
    while (at + 2 <= size) {
      const std::uint8_t start = (data[at] & 0x01) != 0 ? kStartD6 : kStartD5;
      const std::size_t length = std::min<std::size_t>(data[at + 1] % 24, size - at - 2);
      std::vector<std::uint8_t> payload(data + at + 2, data + at + 2 + length);
      at += 2 + length;
      if ((data[at - 2 - length] & 0x02) != 0) {
        stream.insert(stream.end(), payload.begin(), payload.end());  // raw, as record frames
      } else {
        const std::vector<std::uint8_t> frame = MakeFrame(start, payload);
        stream.insert(stream.end(), frame.begin(), frame.end());
      }
    }
  }
  assembler.Feed(stream.data(), stream.size(), std::chrono::steady_clock::now(),
                 std::chrono::nanoseconds(0));
  while (auto request = assembler.Next(model.InDownloadMode())) {
    if (request->bytes.size() > RequestAssembler::kMaxLength + 3) std::abort();
    ModelReply reply;
    if (request->kind == AssembledRequest::Kind::Record) {
      auto record = ReaderModel::ParseRecordFrame(request->bytes);
      if (!record) std::abort();  // the assembler only cuts whole record frames
      reply = model.HandleRecord(*record, ack_status);
    } else if (request->crc_ok) {
      reply = model.HandleFrame(request->bytes, ack_status);
    }
    if (reply.kind == ModelReply::Kind::Frame && !FrameCrcGood(reply.bytes)) std::abort();
    if (reply.kind == ModelReply::Kind::Ack && reply.bytes.size() != 5) std::abort();
  }
  return 0;
}
