#include "reader_update/firmware_source.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_folder.h"

namespace flashwright {
namespace {

void* DefaultAllocate(std::size_t size) { return std::malloc(size); }
void DefaultRelease(void* block) { std::free(block); }

constexpr SourceAllocator kDefaultAllocator{DefaultAllocate, DefaultRelease};
std::atomic<const SourceAllocator*> g_allocator{&kDefaultAllocator};

int HexDigit(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void SetSourceAllocatorForTesting(const SourceAllocator* allocator) {
  g_allocator.store(allocator ? allocator : &kDefaultAllocator);
}

LinkError FirmwareSource::Create(std::uint32_t total_size, void* source,
                                 SourceReadFunction read, const void* user,
                                 std::unique_ptr<FirmwareSource>* created,
                                 const SourceAllocator* allocator) {
  created->reset();
  std::unique_ptr<FirmwareSource> made(new FirmwareSource());
  made->user_ = user;
  made->source_ = source;
  made->read_ = read;
  made->allocator_ = allocator ? *allocator : *g_allocator.load();
  made->total_size_ = total_size;

  // An empty image still gets a one-byte buffer, so that reading it ends with kLinkEndOfData.
  std::uint32_t capacity = total_size > 0 ? total_size : 1;
  while (capacity > 0) {
    made->buffer_ = static_cast<std::uint8_t*>(made->allocator_.allocate(capacity));
    if (made->buffer_ != nullptr) break;
    capacity /= 2;
  }
  if (made->buffer_ == nullptr) return kLinkNoMemory;
  made->capacity_ = capacity;

  if (total_size > 0) {
    const LinkError error = made->FillBuffer();
    if (error != 0) return error;
  }
  *created = std::move(made);
  return 0;
}

FirmwareSource::~FirmwareSource() {
  if (buffer_ != nullptr) allocator_.release(buffer_);
}

LinkError FirmwareSource::FillBuffer() {
  const std::uint32_t left = total_size_ - next_chunk_;
  if (left == 0) return kLinkEndOfData;
  const std::uint32_t chunk = left < capacity_ ? left : capacity_;
  const LinkError error = read_(user_, source_, next_chunk_, chunk, buffer_);
  if (error != 0) return error;
  next_chunk_ += chunk;
  buffer_position_ = 0;
  buffer_filled_ = chunk;
  return 0;
}

LinkError FirmwareSource::ReadBytes(std::uint32_t count, std::uint8_t* destination) {
  while (count > 0) {
    if (buffer_position_ == buffer_filled_) {
      const LinkError error = FillBuffer();
      if (error != 0) return error;
    }
    std::uint32_t take = buffer_filled_ - buffer_position_;
    if (take > count) take = count;
    std::memcpy(destination, buffer_ + buffer_position_, take);
    buffer_position_ += take;
    destination += take;
    count -= take;
    consumed_ += take;
  }
  return 0;
}

LinkError FirmwareSource::ReadHexByte(std::uint8_t* byte) {
  std::uint8_t digits[2];
  const LinkError error = ReadBytes(2, digits);
  if (error != 0) return error;
  const int high = HexDigit(digits[0]);
  const int low = HexDigit(digits[1]);
  if (high < 0 || low < 0) return kLinkBadFile;
  *byte = static_cast<std::uint8_t>(high * 16 + low);
  return 0;
}

LinkError FirmwareSource::ReadRecord(FirmwareRecord* record) {
  std::uint8_t c = 0;
  do {
    const LinkError error = ReadBytes(1, &c);
    if (error != 0) return error;
  } while (c != ':');

  std::uint8_t address_high = 0;
  std::uint8_t address_low = 0;
  LinkError error = ReadHexByte(&record->count);
  if (error == 0) error = ReadHexByte(&address_high);
  if (error == 0) error = ReadHexByte(&address_low);
  if (error == 0) error = ReadHexByte(&record->type);
  if (error != 0) return error;
  record->address = static_cast<std::uint16_t>(address_high << 8 | address_low);
  // The count is one byte, so the data always fits the 256-byte record buffer.
  for (unsigned i = 0; i < record->count; ++i) {
    error = ReadHexByte(&record->data[i]);
    if (error != 0) return error;
  }
  return ReadHexByte(&record->checksum);
}

ImageFile::~ImageFile() { Close(); }

int ImageFile::Open(const char* path) {
  Close();
  std::FILE* file = nullptr;
  std::uint64_t size = 0;
  const int error = platform::OpenFileForReading(path, &file, &size);
  if (error != 0) return error;
  if (size > 0xFFFFFFFFull) {
    std::fclose(file);
    return EFBIG;
  }
  file_ = file;
  size_ = static_cast<std::uint32_t>(size);
  return 0;
}

void ImageFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
}

LinkError ReadImageFile(const void* /*user*/, void* source, std::uint32_t offset,
                        std::uint32_t count, std::uint8_t* destination) {
  std::FILE* file = static_cast<ImageFile*>(source)->Handle();
  if (file == nullptr) return EBADF;
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return errno != 0 ? errno : EIO;
  std::size_t got = 0;
  while (got < count) {
    const std::size_t n = std::fread(destination + got, 1, count - got, file);
    if (n == 0) {
      if (std::ferror(file)) {
        const int error = errno != 0 ? errno : EIO;
        std::clearerr(file);
        return error;
      }
      // The file became shorter than its size said: never hand out bytes it did not give.
      std::clearerr(file);
      return kLinkEndOfData;
    }
    got += n;
  }
  return 0;
}

}  // namespace flashwright
