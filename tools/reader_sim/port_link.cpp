#include "tools/reader_sim/port_link.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace flashwright::sim {

bool ReplaceSymlink(const std::string& link_path, const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const std::string temporary =
      link_path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
  if (std::rename(temporary.c_str(), link_path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace flashwright::sim
