// Copying the reader firmware images (not the packages) of the firmware folder into a folder
// "firmware" on a drive or folder the user picks, typically a memory card.
#pragma once

#include <cstdint>
#include <string>

namespace flashwright {

struct CopyResult {
  int error = 0;             // 0, or the system error code that stopped the copying
  std::uint32_t count = 0;   // files copied
  std::uint32_t images = 0;  // images found in the firmware folder, copied or not
};

// "<chosen>/firmware", with no doubled separator when `chosen` already ends with one.
std::string CopyDestination(const std::string& chosen);

// Copies every image of `firmware_folder` into `destination` (created one level deep, only
// when there is something to copy), replacing files of the same name. A destination file that
// is read-only, or that cannot be replaced for lack of rights, is skipped and not counted; any
// other failure stops the copying, and the files copied before stay. An image whose
// destination is the image itself (the destination is the firmware folder) is left alone and
// not counted.
CopyResult CopyImages(const std::string& firmware_folder, const std::string& destination);

// The report of a copy into `destination`: the error with the count, the count with the
// destination, or that the firmware folder holds no image. Images that were all skipped
// are reported as 0 files copied, not as no files to copy.
struct CopyReport {
  std::string text;
  bool is_error = false;
};
CopyReport ReportCopy(const CopyResult& copied, const std::string& destination);

}  // namespace flashwright
