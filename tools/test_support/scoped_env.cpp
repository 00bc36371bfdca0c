#include "tools/test_support/test_support.h"

#include <cstdlib>

namespace flashwright::test {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_value_ = old != nullptr;
  if (had_value_) old_value_ = old;
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_value_) {
    setenv(name_.c_str(), old_value_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedPortDir::ScopedPortDir() : env_("FLASHWRIGHT_PORT_DIR", dir_.path().c_str()) {}

}  // namespace flashwright::test
