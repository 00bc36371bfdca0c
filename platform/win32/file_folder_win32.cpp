// Files beside the program through the system's file calls: "%s\%s.%s" paths, folders listed
// with "%s\*.%s".
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/file_folder.h"
#include "platform/text_case.h"

namespace flashwright::platform {
namespace {

}  // namespace

const char kPathSeparator = '\\';
const int kErrorAccessDenied = ERROR_ACCESS_DENIED;
const int kErrorFileExists = ERROR_FILE_EXISTS;

std::string ProgramFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::string folder(path, length);
  const std::size_t separator = folder.find_last_of("\\/");
  if (separator == std::string::npos) return {};
  // "C:\" keeps its separator; any other folder loses it.
  return folder.substr(0, separator == 2 && folder[1] == ':' ? 3 : separator);
}

std::vector<std::string> ListNamedFiles(const std::string& folder, const char* extension) {
  std::vector<std::string> names;
  const std::string pattern = folder + "\\*." + extension;
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    const std::string file_name(found.cFileName);
    const std::size_t dot = file_name.rfind('.');
    // The pattern also matches longer extensions through their short names; only the
    // extension itself counts, in any case, as the file system compares names.
    if (dot == std::string::npos || dot == 0) continue;
    if (!SameIgnoringCase(file_name.substr(dot + 1), extension)) continue;
    names.push_back(file_name.substr(0, dot));
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

int OpenFileForReading(const char* path, std::FILE** file, std::uint64_t* size) {
  *file = nullptr;
  *size = 0;
  HANDLE handle = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error != 0 ? static_cast<int>(error) : static_cast<int>(ERROR_FILE_NOT_FOUND);
  }
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(handle, &length)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return static_cast<int>(error != 0 ? error : ERROR_READ_FAULT);
  }
  const int descriptor =
      ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (descriptor < 0) {
    ::CloseHandle(handle);
    return static_cast<int>(ERROR_TOO_MANY_OPEN_FILES);
  }
  std::FILE* opened = ::_fdopen(descriptor, "rb");
  if (opened == nullptr) {
    ::_close(descriptor);  // closes the handle too
    return static_cast<int>(ERROR_TOO_MANY_OPEN_FILES);
  }
  *file = opened;
  *size = static_cast<std::uint64_t>(length.QuadPart);
  return 0;
}

int CopyFileReplacing(const std::string& from, const std::string& to) {
  if (::CopyFileA(from.c_str(), to.c_str(), FALSE)) return 0;
  const DWORD error = ::GetLastError();
  return error != 0 ? static_cast<int>(error) : static_cast<int>(ERROR_GEN_FAILURE);
}

}  // namespace flashwright::platform
