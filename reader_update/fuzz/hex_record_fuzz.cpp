// Reads arbitrary bytes as an Intel HEX image, record by record, through small buffer chunks,
// and runs the image check over them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "reader_update/download_engine.h"
#include "reader_update/firmware_source.h"

namespace {

struct Input {
  const std::uint8_t* data;
  std::size_t size;
};

flashwright::LinkError ReadInput(const void*, void* source, std::uint32_t offset,
                                 std::uint32_t count, std::uint8_t* destination) {
  const Input* input = static_cast<const Input*>(source);
  if (offset > input->size || count > input->size - offset) std::abort();  // never past the end
  std::memcpy(destination, input->data + offset, count);
  return 0;
}

std::size_t g_limit = 0;
void* LimitedAllocate(std::size_t size) { return size <= g_limit ? std::malloc(size) : nullptr; }
void Release(void* block) { std::free(block); }
const flashwright::SourceAllocator kLimited{LimitedAllocate, Release};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the buffer size, the reader's bootloader and flags.
  const std::uint8_t knobs = data[0];
  Input input{data + 1, size - 1};
  const auto total = static_cast<std::uint32_t>(input.size);

  g_limit = 1 + (knobs & 0x3F) * 7;
  std::unique_ptr<flashwright::FirmwareSource> source;
  if (flashwright::FirmwareSource::Create(total, &input, ReadInput, nullptr, &source,
                                          &kLimited) == 0) {
    flashwright::FirmwareRecord record;
    while (source->ReadRecord(&record) == 0) {
      if (source->BytesConsumed() > total) std::abort();
    }
  }

  const std::uint16_t bootloader = (knobs & 0x40) ? 0x01FF : 0x0203;
  const std::uint8_t flags = (knobs & 0x80) ? 0x21 : 0x01;
  flashwright::CheckFirmwareImage(&bootloader, &flags, &input, total, ReadInput, nullptr,
                                  nullptr);
  flashwright::CheckFirmwareImage(nullptr, nullptr, &input, total, ReadInput, nullptr, nullptr);
  return 0;
}
