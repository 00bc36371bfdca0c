// Files that sit in a folder beside the program and are picked by name: "<folder>/<name>.<ext>".
//
// Windows forms these paths with "%s\%s.%s" and lists a folder with "%s\*.%s"; here the
// separator is "/" and file names are case-sensitive, so only the lower-case extension is
// listed. Both firmware folders (reader images and packages, USB images) use this one rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace flashwright::platform {

// The longest path of such a file or folder, in characters (the terminator not counted).
inline constexpr std::size_t kMaxFilePath = 259;

// What the system puts between the components of a path.
extern const char kPathSeparator;

// The folder that holds the program file (from /proc/self/exe), without a trailing "/" (except
// for "/" itself). Empty when it cannot be found.
std::string ProgramFolder();
// "<program folder>/<name>" ("\" on Windows); "./<name>" when the program folder is not known.
std::string FolderBesideProgram(const std::string& program_folder, const char* name);

// "<folder>/<name>.<extension>" ("\" on Windows). False (and `path` empty) when the path would be longer than
// kMaxFilePath: a cut path could name another file.
bool BuildNamedFilePath(const std::string& folder, const std::string& name, const char* extension,
                        std::string* path);

// The names (file name up to its last '.') of the regular files, or links to them, of `folder`
// whose extension is `extension`, in name order (the order of a directory listing is arbitrary
// here; name order gives the same list every time). A file named only ".<extension>" is hidden,
// not a named file. An absent or unreadable folder lists nothing.
std::vector<std::string> ListNamedFiles(const std::string& folder, const char* extension);

// Opens an existing file for reading (others may read it too) and reads its size: 0, or the
// system's error code (ENOENT when it is missing, EISDIR for a folder). On failure `*file` is
// null and `*size` 0.
int OpenFileForReading(const char* path, std::FILE** file, std::uint64_t* size);

// Copies the file `from` to `to`, replacing a file of that name there: 0, or the system's error
// code.
int CopyFileReplacing(const std::string& from, const std::string& to);

// The system's codes for a denied access and for a file that exists already (a copy of many
// files skips a file that fails with either).
extern const int kErrorAccessDenied;
extern const int kErrorFileExists;

}  // namespace flashwright::platform
