// The folder the program counts as its own when it looks for the folders beside it. It is the
// folder of the program file; tests that run the program's views from a test executable place
// the program in a folder of their own.
#pragma once

#include <string>

namespace flashwright::platform {

// ProgramFolder(), or the folder a test set.
std::string InstalledProgramFolder();

// An empty path restores the folder of the program file.
void SetInstalledProgramFolderForTesting(const std::string& folder);

}  // namespace flashwright::platform
