#include "usb_update/usb_image.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>

#include "platform/file_folder.h"

namespace flashwright {

static_assert(kMaxUsbPath == platform::kMaxFilePath);

namespace {

std::mutex& FolderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& FolderValue() {
  static std::string folder = std::string("./") + kUsbFirmwareFolderName;
  return folder;
}

// The product markers as they are stored in an image: UTF-16LE, without terminator.
std::string Utf16Le(const char* text) {
  std::string bytes;
  for (const char* c = text; *c != '\0'; ++c) {
    bytes.push_back(*c);
    bytes.push_back('\0');
  }
  return bytes;
}

const char* const kProductMarkers[] = {"Orvane Sentry Systems", "Orvane Folio Systems"};

// Where the product text starts: after the first marker found (the first marker is looked
// for in the whole image before the second) and the two bytes that follow it. npos when the
// image carries neither.
std::size_t ProductTextStart(const std::uint8_t* image, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(image), size);
  for (const char* marker : kProductMarkers) {
    const std::string wide = Utf16Le(marker);
    const std::size_t at = bytes.find(wide);
    if (at != std::string_view::npos) return at + wide.size() + 2;
  }
  return std::string_view::npos;
}

// strtol's reading of a decimal number: white space, a sign, digits; 0 without digits.
long LeadingNumber(const std::string& piece) {
  return std::strtol(piece.c_str(), nullptr, 10);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string UsbFirmwareFolder() {
  std::lock_guard<std::mutex> lock(FolderMutex());
  return FolderValue();
}

bool SetUsbFirmwareFolder(const std::string& folder) {
  if (folder.size() > kMaxUsbPath) return false;
  std::lock_guard<std::mutex> lock(FolderMutex());
  FolderValue() = folder;
  return true;
}

bool SetUsbFirmwareFolderBeside(const std::string& program_folder) {
  return SetUsbFirmwareFolder(platform::FolderBesideProgram(program_folder, kUsbFirmwareFolderName));
}

bool SetUsbFirmwareFolderBesideProgram() {
  return SetUsbFirmwareFolderBeside(platform::ProgramFolder());
}

bool BuildUsbImagePath(const std::string& folder, const std::string& name, std::string* path) {
  return platform::BuildNamedFilePath(folder, name, kUsbImageExtension, path);
}

std::vector<std::string> ListUsbImages(const std::string& folder) {
  return platform::ListNamedFiles(folder, kUsbImageExtension);
}

UsbError ImageReadFn(void* /*context*/, std::FILE* file, std::uint32_t offset,
                     std::uint32_t length, std::uint8_t* buffer) {
  if (file == nullptr) return EBADF;
  errno = 0;
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return errno != 0 ? errno : EIO;
  std::size_t got = 0;
  while (got < length) {
    const std::size_t n = std::fread(buffer + got, 1, length - got, file);
    if (n == 0) {
      // A file that became shorter than its size gives EIO rather than bytes it never had.
      if (std::ferror(file) && errno != 0) return errno;
      return EIO;
    }
    got += n;
  }
  return 0;
}

UsbError UsbReadImageHeader(std::FILE* file, std::uint64_t size, ImageReadFunction read,
                            void* context, std::uint8_t* first_byte, std::uint16_t* vendor_id,
                            std::uint16_t* product_id, char* text, std::size_t text_size) {
  if (first_byte != nullptr) *first_byte = 0;
  if (vendor_id != nullptr) *vendor_id = 0;
  if (product_id != nullptr) *product_id = 0;
  if (text == nullptr) text_size = 0;
  if (text_size > 0) std::memset(text, 0, text_size);

  // The whole image is read into memory; a file far beyond any image is refused first.
  if (size > kUsbImageReadLimit) return kUsbTooLarge;
  if (read == nullptr) return EINVAL;
  std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[size + 1]);
  if (image == nullptr) return kUsbNoMemory;
  const auto length = static_cast<std::uint32_t>(size);
  const UsbError code = read(context, file, 0, length, image.get());
  if (code != 0) return code;
  if (size <= 4) return kUsbEmpty;

  if (first_byte != nullptr) *first_byte = image[0];
  if (vendor_id != nullptr) *vendor_id = static_cast<std::uint16_t>(image[1] | image[2] << 8);
  if (product_id != nullptr) *product_id = static_cast<std::uint16_t>(image[3] | image[4] << 8);

  if (text_size > 0) {
    std::size_t position = ProductTextStart(image.get(), length);
    std::size_t collected = 0;
    // position + 1 < length: both bytes of a unit lie inside the image.
    while (position != std::string_view::npos && position + 1 < length &&
           collected < text_size - 1) {
      const std::uint8_t low = image[position];
      const std::uint8_t high = image[position + 1];
      position += 2;
      if (high != 0) continue;  // not a Latin-1 character
      if (low == 0) break;
      text[collected++] = static_cast<char>(low);
    }
  }
  return 0;
}

UsbError UsbReadImageFile(const std::string& name, UsbImageInfo* info) {
  *info = UsbImageInfo{};
  std::string path;
  if (!BuildUsbImagePath(UsbFirmwareFolder(), name, &path)) return ENAMETOOLONG;
  std::FILE* file = nullptr;
  std::uint64_t size = 0;
  const int open_error = platform::OpenFileForReading(path.c_str(), &file, &size);
  if (open_error != 0) return open_error;
  char text[kUsbProductTextSize] = {};
  const UsbError code = UsbReadImageHeader(file, size, ImageReadFn, nullptr, &info->first_byte,
                                           &info->vendor_id, &info->product_id, text,
                                           sizeof text);
  std::fclose(file);
  if (code != 0) {
    *info = UsbImageInfo{};
    return code;
  }
  info->product_text = text;
  return 0;
}

std::uint32_t ParseProductVersion(const std::string& full_text) {
  const std::string text = full_text.substr(0, full_text.find('\0'));
  std::size_t position = 0;
  while (position < text.size() && !IsDigit(text[position])) ++position;

  std::uint32_t components[4] = {0, 0, 0, 0};
  int pieces = 0;
  // Pieces as a tokenizer with the one delimiter '.' gives them: leading dots are skipped, and
  // the text after a piece's closing dot is where the next search starts.
  while (pieces < 3) {
    while (position < text.size() && text[position] == '.') ++position;
    if (position >= text.size()) break;
    std::size_t end = text.find('.', position);
    if (end == std::string::npos) end = text.size();
    components[pieces++] =
        static_cast<std::uint32_t>(LeadingNumber(text.substr(position, end - position)));
    position = end < text.size() ? end + 1 : end;
  }
  if (pieces == 3) {
    std::size_t end = position;
    while (end < text.size() && IsDigit(text[end])) ++end;
    if (end > position) {
      components[3] =
          static_cast<std::uint32_t>(LeadingNumber(text.substr(position, end - position)));
    }
  }
  return (components[0] & 0xFF) << 24 | (components[1] & 0xFF) << 16 |
         (components[2] & 0xFF) << 8 | (components[3] & 0xFF);
}

}  // namespace flashwright
