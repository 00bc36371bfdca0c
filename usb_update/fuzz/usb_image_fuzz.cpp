// Reads arbitrary bytes as a USB firmware image (first byte, IDs and product text behind a
// marker), takes product versions from the text and from the raw bytes, and checks the image
// against a device made of the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_image.h"

namespace {

struct Input {
  const std::uint8_t* data;
  std::size_t size;
};

flashwright::UsbError ReadInput(void* context, std::FILE*, std::uint32_t offset,
                                std::uint32_t length, std::uint8_t* buffer) {
  const Input* input = static_cast<const Input*>(context);
  if (offset > input->size || length > input->size - offset) std::abort();  // never past the end
  if (length > 0) std::memcpy(buffer, input->data + offset, length);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the size of the text buffer (0 to 255, so both the cut at the buffer's
  // end and a buffer too small for any text are reached).
  const std::size_t text_size = data[0];
  Input input{data + 1, size - 1};

  std::string text_buffer(text_size + 1, '\x7F');  // one guard byte beyond the buffer
  flashwright::UsbImageInfo image;
  const flashwright::UsbError code = flashwright::UsbReadImageHeader(
      nullptr, input.size, ReadInput, &input, &image.first_byte, &image.vendor_id,
      &image.product_id, text_size > 0 ? text_buffer.data() : nullptr, text_size);
  if (text_buffer[text_size] != '\x7F') std::abort();
  if (text_size > 0) {
    if (text_buffer[text_size - 1] != '\0') std::abort();  // always terminated
    image.product_text = text_buffer.c_str();
  }
  if (code == 0 && input.size <= 4) std::abort();

  const std::string raw(reinterpret_cast<const char*>(input.data), input.size);
  flashwright::ParseProductVersion(image.product_text);
  flashwright::ParseProductVersion(raw);

  flashwright::UsbDeviceInfo device{image.first_byte, image.vendor_id, image.product_id, raw};
  std::string reason;
  bool severe = false;
  std::string warning;
  const bool ok = flashwright::CheckUsbCompatibility(device, image, {"LF", "HF"}, &reason,
                                                     &severe, &warning);
  if (ok != reason.empty() || (severe && warning.empty())) std::abort();
  flashwright::IsAlreadyUpdated(device, image);
  return 0;
}
