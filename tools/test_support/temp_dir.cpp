#include "tools/test_support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace flashwright::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && base[0] != '\0') ? base : "/tmp";
  pattern += "/flashwright-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    // A test without its folder cannot do anything sensible; fail loudly at the source.
    throw std::runtime_error("cannot create a temporary folder from " + pattern);
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace flashwright::test
