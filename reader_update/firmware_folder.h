// Where reader firmware files lie and how they are named and listed.
//
// The firmware folder is the folder "firmware" beside the program file. A firmware file is
// known by its base name (the file name up to its last dot); its path is the folder, the base
// name, a dot and the extension "hex" (an Intel HEX image) or "xml" (a package naming images).
// On Linux the separator in that path is "/" and file names are case-sensitive, so only the
// lower-case extensions are listed.
#pragma once

#include <string>
#include <vector>

namespace flashwright {

// The longest path of a firmware file or folder, in characters (the terminator not counted).
inline constexpr std::size_t kMaxFirmwarePath = 259;

inline constexpr char kImageExtension[] = "hex";
inline constexpr char kPackageExtension[] = "xml";
inline constexpr char kFirmwareFolderName[] = "firmware";

// The folder that holds the program file (from /proc/self/exe), without a trailing "/".
// Empty when it cannot be found.
std::string ProgramFolder();
// "<program folder>/firmware" (the folder a test set for the program, if any).
std::string FirmwareFolderBesideProgram();

// The process-wide firmware folder: "./firmware" until set. Safe to call from any thread.
void SetFirmwareFolder(const std::string& folder);
std::string FirmwareFolder();

// "<folder>/<base name>.<extension>". False (and `path` empty) when the path would be longer
// than kMaxFirmwarePath: a cut path could name another file.
bool BuildFirmwarePath(const std::string& folder, const std::string& base_name,
                       const char* extension, std::string* path);

struct FirmwareFileEntry {
  std::string base_name;
  bool is_package = false;
  bool operator==(const FirmwareFileEntry&) const = default;
};

// The images (*.hex) and then the packages (*.xml) of `folder`, each by base name. Only
// regular files (or links to them) are listed; each kind is in name order. An absent or
// unreadable folder lists nothing. While a FirmwareListingScope exists, a folder listed before
// within it is answered from that listing.
std::vector<FirmwareFileEntry> ListFirmwareFiles(const std::string& folder);

// The program's start reads the firmware folder beside it once: the first view is chosen by
// that listing and the reader view's first list is filled from it. While a scope exists, each
// folder is read at its first listing only; once the scope ends (the start is over), every
// listing reads its folder again, so a later view or a Refresh sees the folder as it is then.
// Scopes may nest; the listings are kept until the outermost one ends.
class FirmwareListingScope {
 public:
  FirmwareListingScope();
  ~FirmwareListingScope();
  FirmwareListingScope(const FirmwareListingScope&) = delete;
  FirmwareListingScope& operator=(const FirmwareListingScope&) = delete;
};

}  // namespace flashwright
