// Publishing the simulated reader in a port folder.
#pragma once

#include <string>

namespace flashwright::sim {

// Makes `link_path` a symbolic link to `target`, replacing an existing entry in one step, so
// that a host opening the port at that moment finds either the old or the new line.
bool ReplaceSymlink(const std::string& link_path, const std::string& target);

}  // namespace flashwright::sim
