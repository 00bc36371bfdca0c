// The common application data folder as the shell reports it.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/common_data_folder.h"

namespace flashwright::platform {
namespace {

constexpr int kCommonAppData = 0x23;  // CSIDL_COMMON_APPDATA
constexpr int kCreateFlag = 0x8000;   // CSIDL_FLAG_CREATE

// A failing shell call as an error code: its low 16 bits, or -50 when those are 0.
int ShellFailure(HRESULT result) {
  const int code = static_cast<int>(static_cast<unsigned long>(result) & 0xFFFF);
  return code != 0 ? code : -50;
}

// The major version of the system, or 0 when it cannot be read.
DWORD MajorVersion() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL read = ::GetVersionExA(&version);
#pragma GCC diagnostic pop
  return read ? version.dwMajorVersion : 0;
}

}  // namespace

int CommonDataFolder(std::string* path) {
  path->clear();
  char folder[MAX_PATH] = {};
  if (MajorVersion() > 5) {
    const HRESULT result =
        ::SHGetFolderPathA(nullptr, kCommonAppData | kCreateFlag, nullptr, 0, folder);
    if (FAILED(result)) return ShellFailure(result);
    *path = folder;
    return 0;
  }
  // Older systems keep it below the profile folders; the design's folder is at the drive's root.
  const HRESULT result = ::SHGetFolderPathA(nullptr, kCommonAppData, nullptr, 0, folder);
  if (FAILED(result)) return ShellFailure(result);
  std::string drive(folder);
  const std::size_t colon = drive.find(':');
  drive = colon == std::string::npos ? std::string() : drive.substr(0, colon + 1);
  *path = drive + "\\ProgramData";
  return 0;
}

std::string ResolveBelow(const std::string& folder, std::string_view windows_path) {
  // The file system compares names without regard to case already; only ".." is refused, so
  // that the path stays below the folder.
  std::string path = folder;
  std::size_t start = 0;
  while (start <= windows_path.size()) {
    std::size_t end = windows_path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = windows_path.size();
    const std::string_view component = windows_path.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") return {};
    path += "\\";
    path += component;
  }
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return path;
}

}  // namespace flashwright::platform
