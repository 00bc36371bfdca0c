// USB firmware images: where they live, how one is found by name, and what the program reads
// from one before it writes it into a device's serial EEPROM.
//
// An image is a file "<name>.bin" in the USB firmware folder, written byte for byte into the
// EEPROM from address 0 on. Its first byte is the EEPROM load-format byte (0xC2 marks an image
// that carries firmware), bytes 1-2 the vendor ID and bytes 3-4 the product ID, both
// little-endian. Somewhere after a product marker (the UTF-16LE text "Orvane Sentry Systems" or
// "Orvane Folio Systems") it carries its product text, from which a product version is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "usb_update/usb_device.h"

namespace flashwright {

inline constexpr char kUsbImageExtension[] = "bin";
inline constexpr char kUsbFirmwareFolderName[] = "ezusb_fw";
// The longest USB firmware folder, image name or image path, in characters.
inline constexpr std::size_t kMaxUsbPath = 259;

// The longest image that can be written (the EEPROM is addressed with 16 bits).
inline constexpr std::uint64_t kUsbMaxImageSize = 65535;
// Images are read whole. A file beyond this size cannot be an image (it could never be
// written), so it is refused with kUsbTooLarge before anything is allocated or read.
inline constexpr std::uint64_t kUsbImageReadLimit = 16u * 1024u * 1024u;

// The product text is at most 128 characters; the buffer for it holds the terminator too.
inline constexpr std::size_t kUsbProductTextSize = 129;

// ---- The USB firmware folder, process-wide and safe to use from any thread.

// "./ezusb_fw" until set (Windows starts with ".\ezusb_fw").
std::string UsbFirmwareFolder();
// False, with the folder unchanged, for a folder longer than kMaxUsbPath characters.
bool SetUsbFirmwareFolder(const std::string& folder);
// Sets the folder to "ezusb_fw" beside the program, given the folder that holds the program
// file: "<program folder>/ezusb_fw" (Windows: the program's drive and directory, which end
// with a backslash, followed by "ezusb_fw").
bool SetUsbFirmwareFolderBeside(const std::string& program_folder);
// The same for this program's own folder (what the USB update view does when first shown).
bool SetUsbFirmwareFolderBesideProgram();

// "<folder>/<name>.bin"; false (and `path` empty) when longer than kMaxUsbPath characters.
bool BuildUsbImagePath(const std::string& folder, const std::string& name, std::string* path);
// The image names of `folder` (file names of its *.bin files up to their last '.'), in name
// order; nothing for an absent folder.
std::vector<std::string> ListUsbImages(const std::string& folder);

// ---- Reading an image.

// What the program reads from an image.
struct UsbImageInfo {
  std::uint8_t first_byte = 0;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string product_text;  // empty when the image carries no product marker
};

// Reads `length` bytes at `offset` of `file` into `buffer`: 0, or the system's error code.
// The context is for read functions of the caller's own (tests read from memory with it).
using ImageReadFunction = UsbError (*)(void* context, std::FILE* file, std::uint32_t offset,
                                       std::uint32_t length, std::uint8_t* buffer);

// The read function for image files; the context is not used. A file that ends before
// `length` bytes were read gives EIO: no byte the file did not give is handed out.
UsbError ImageReadFn(void* context, std::FILE* file, std::uint32_t offset, std::uint32_t length,
                     std::uint8_t* buffer);

// Reads the whole image (`size` bytes) with `read` and takes its first byte, IDs and, when
// `text` is given, its product text (at most `text_size` - 1 characters, terminated). Every
// output may be null; all are cleared first. Results: 0; kUsbEmpty for 4 bytes or less;
// kUsbTooLarge beyond kUsbImageReadLimit; kUsbNoMemory; or the read function's code.
UsbError UsbReadImageHeader(std::FILE* file, std::uint64_t size, ImageReadFunction read,
                            void* context, std::uint8_t* first_byte, std::uint16_t* vendor_id,
                            std::uint16_t* product_id, char* text, std::size_t text_size);

// Opens the image `name` of UsbFirmwareFolder() and reads it into `info`: 0, the system's
// error code of opening or sizing the file (ENAMETOOLONG when the path is too long), or the
// code of UsbReadImageHeader. After a failure `info` is all zero and empty.
UsbError UsbReadImageFile(const std::string& name, UsbImageInfo* info);

// The product version of a product text: four 8-bit components, the first in the most
// significant byte, read from the text's first decimal digit on ("Rev 2.10.3.7b" is
// 0x020A0307). 0 for a text without digits. The text ends at its first NUL character.
std::uint32_t ParseProductVersion(const std::string& text);

}  // namespace flashwright
