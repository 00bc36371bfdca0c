#include "reader_update/package_reader.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <sys/stat.h>

#include "discovery/markup.h"
#include "reader_update/firmware_folder.h"

namespace flashwright {
namespace {

constexpr char kImageElement[] = "FirmwareFile";

// The whole file as one terminated text; empty when it cannot be read.
std::unique_ptr<char[]> ReadWholeFile(const std::string& path) {
  std::unique_ptr<char[]> empty(new char[1]{'\0'});
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return empty;
  struct stat status {};
  std::unique_ptr<char[]> text;
  if (fstat(fileno(file), &status) == 0 && status.st_size >= 0 &&
      static_cast<unsigned long long>(status.st_size) <
          static_cast<unsigned long long>(std::numeric_limits<std::int32_t>::max())) {
    const std::size_t size = static_cast<std::size_t>(status.st_size);
    text.reset(new (std::nothrow) char[size + 1]);
    if (text != nullptr) {
      const std::size_t got = std::fread(text.get(), 1, size, file);
      if (got == size) {
        text[size] = '\0';
      } else {
        text.reset();
      }
    }
  }
  std::fclose(file);
  return text != nullptr ? std::move(text) : std::move(empty);
}

}  // namespace

std::vector<std::string> ListPackageImages(const char* text) {
  std::vector<std::string> images;
  if (text == nullptr || *text == '\0') return images;
  CMarkup markup;
  if (!markup.SetDocument(text)) return images;
  if (!markup.FindElement() || !markup.EnterElement()) return images;
  while (markup.FindElement(kImageElement)) images.push_back(markup.GetElementData());
  return images;
}

std::vector<std::string> ReadPackage(const std::string& folder, const std::string& base_name) {
  std::string path;
  if (!BuildFirmwarePath(folder, base_name, kPackageExtension, &path)) return {};
  const std::unique_ptr<char[]> text = ReadWholeFile(path);
  return ListPackageImages(text.get());
}

}  // namespace flashwright
