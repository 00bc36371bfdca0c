#include "tools/test_support/test_support.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace flashwright::test {

TempDir::TempDir() {
  // The system's folder for temporary files (TMPDIR on Linux, the user's temporary folder on
  // Windows), and a name that no one else has taken: creating the folder is the claim.
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::random_device seed;
  std::mt19937_64 names(seed());
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; !error && attempt < 100; ++attempt) {
    std::string name = "flashwright-";
    for (int i = 0; i < 6; ++i) name += kLetters[names() % (sizeof kLetters - 1)];
    const std::filesystem::path candidate = base / name;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate.generic_string();
      return;
    }
  }
  // A test without its folder cannot do anything sensible; fail loudly at the source.
  throw std::runtime_error("cannot create a temporary folder in " + base.generic_string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace flashwright::test
