#include "tools/test_support/test_support.h"

#include <cstdlib>

namespace flashwright::test {

namespace {
void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
  // An empty value removes the variable there.
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}
}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_value_ = old != nullptr;
  if (had_value_) old_value_ = old;
  SetVariable(name, value);
}

ScopedEnv::~ScopedEnv() {
  SetVariable(name_.c_str(), had_value_ ? old_value_.c_str() : nullptr);
}

ScopedPortDir::ScopedPortDir() : env_("FLASHWRIGHT_PORT_DIR", dir_.path().c_str()) {}

}  // namespace flashwright::test
