// Reading a reader firmware image: a buffered source over a caller's read function, and the
// Intel HEX record reader on top of it.
//
// A record is ':' count(2) address(4) type(2) data(2 x count) checksum(2), every byte two
// upper-case hexadecimal digits. Characters between records are skipped up to the next ':'.
// The checksum is passed on unchecked: the reader checks it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "reader_link/frame.h"

namespace flashwright {

// Delivers exactly `count` bytes from `offset` into `destination`; 0 or an error code.
using SourceReadFunction = LinkError (*)(const void* user, void* source, std::uint32_t offset,
                                         std::uint32_t count, std::uint8_t* destination);

// How the source gets its buffer; `allocate` returns null when the memory cannot be had.
struct SourceAllocator {
  void* (*allocate)(std::size_t size);
  void (*release)(void* block);
};
// The allocator that sources created without one use (malloc and free). Tests install one
// that fails to show the halving and the kLinkNoMemory result; nullptr restores the default.
void SetSourceAllocatorForTesting(const SourceAllocator* allocator);

inline constexpr std::uint8_t kRecordData = 0;
inline constexpr std::uint8_t kRecordEndOfFile = 1;
inline constexpr std::uint8_t kRecordExtendedLinearAddress = 4;

// One record as read from the image.
struct FirmwareRecord {
  std::uint8_t count = 0;
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  std::uint8_t checksum = 0;
  std::array<std::uint8_t, 256> data{};
};

class FirmwareSource {
 public:
  // Creates a source over `total_size` bytes and reads its first chunk. The buffer holds the
  // whole data when that much memory can be had, else half of it, a quarter, ... ; kLinkNoMemory
  // (-2) when not even one byte can be had, or the read function's error.
  static LinkError Create(std::uint32_t total_size, void* source, SourceReadFunction read,
                          const void* user, std::unique_ptr<FirmwareSource>* created,
                          const SourceAllocator* allocator = nullptr);
  ~FirmwareSource();
  FirmwareSource(const FirmwareSource&) = delete;
  FirmwareSource& operator=(const FirmwareSource&) = delete;

  // Copies `count` bytes to `destination`: 0, kLinkEndOfData (-1) once the data is exhausted, or
  // the read function's error.
  LinkError ReadBytes(std::uint32_t count, std::uint8_t* destination);
  // Two characters "0"-"9" / "A"-"F" as one byte; anything else is kLinkBadFile (-7).
  LinkError ReadHexByte(std::uint8_t* byte);
  // The next record: skips to ':' and reads count, address, type, data and checksum.
  LinkError ReadRecord(FirmwareRecord* record);

  // Bytes handed out so far: the position in the image that progress reports use.
  std::uint32_t BytesConsumed() const { return consumed_; }
  std::uint32_t TotalSize() const { return total_size_; }
  std::uint32_t Capacity() const { return capacity_; }

 private:
  FirmwareSource() = default;
  LinkError FillBuffer();

  const void* user_ = nullptr;
  void* source_ = nullptr;
  SourceReadFunction read_ = nullptr;
  SourceAllocator allocator_{};
  std::uint32_t total_size_ = 0;
  std::uint32_t consumed_ = 0;
  std::uint32_t next_chunk_ = 0;
  std::uint32_t buffer_position_ = 0;
  std::uint32_t buffer_filled_ = 0;
  std::uint32_t capacity_ = 0;
  std::uint8_t* buffer_ = nullptr;
};

// An image file opened for reading, the source handle of ReadImageFile.
class ImageFile {
 public:
  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens an existing file for reading; 0 or the system error code (ENOENT, 2, when missing).
  // Files of 4 GiB or more are refused with EFBIG.
  int Open(const char* path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  std::uint32_t Size() const { return size_; }
  std::FILE* Handle() const { return file_; }

 private:
  std::FILE* file_ = nullptr;
  std::uint32_t size_ = 0;
};

// The read function for image files: `source` is an ImageFile. Seeks to `offset` and reads
// `count` bytes; the error of either call, or kLinkEndOfData when the file has become shorter.
LinkError ReadImageFile(const void* user, void* source, std::uint32_t offset,
                        std::uint32_t count, std::uint8_t* destination);

}  // namespace flashwright
