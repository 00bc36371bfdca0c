// The folder the program runs from, where its firmware folders sit. Tests place the program
// in a folder of their own.
#pragma once

#include <string>

namespace flashwright {

// Without a trailing separator.
std::string InstalledProgramFolder();

// An empty path restores the folder of the program file.
void SetInstalledProgramFolderForTesting(const std::string& folder);

}  // namespace flashwright
