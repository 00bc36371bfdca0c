// The constraint lists of the reader version gate. The application object holds the lists the
// user's command line gives; the gate itself is CFindReader::CheckReaderVersion.
#pragma once

#include <string>
#include <vector>

namespace flashwright {

// Constraints are "G" (greater than), "L" (less than) or no letter (equal to), followed by up
// to three dot-separated decimal components. Each list is walked from its last entry.
struct VersionLimits {
  std::vector<std::string> too_old{"L2.1"};
  std::vector<std::string> too_new;
};

}  // namespace flashwright
