// The common application data folder (where the sibling product keeps its XML configuration)
// and the resolution of Windows paths below it.
#pragma once

#include <string>
#include <string_view>

namespace flashwright::platform {

// The common application data folder of the configured Wine prefix,
// <prefix>/drive_c/ProgramData. 0, or a system error code when there is no prefix to ask.
int CommonDataFolder(std::string* path);

// The file that the Windows path `windows_path` ("\Vendor\Product\1.00.xml"; "\" or "/"
// between components) names below `folder`, matching each component without regard to case.
// Empty when a component does not exist.
std::string ResolveBelow(const std::string& folder, std::string_view windows_path);

}  // namespace flashwright::platform
