// Copying the reader firmware images (not the packages) of the firmware folder into a folder
// "firmware" on a drive or folder the user picks, typically a memory card.
#pragma once

#include <cstdint>
#include <string>

namespace flashwright {

struct CopyResult {
  int error = 0;            // 0, or the system error code that stopped the copying
  std::uint32_t count = 0;  // files copied
};

// "<chosen>/firmware", with no doubled separator when `chosen` already ends with one.
std::string CopyDestination(const std::string& chosen);

// Copies every image of `firmware_folder` into `destination` (created one level deep, only
// when there is something to copy), replacing files of the same name. A destination file that
// is read-only, or that cannot be replaced for lack of rights, is skipped and not counted; any
// other failure stops the copying, and the files copied before stay.
CopyResult CopyImages(const std::string& firmware_folder, const std::string& destination);

}  // namespace flashwright
