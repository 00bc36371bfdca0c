// Helpers for tests that run against real files, ptys and programs.
#pragma once

#include <string>
#include <vector>

namespace flashwright::test {

// A fresh temporary folder, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, with a null value, unsets) an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_value_;
  bool had_value_;
};

// A temporary port folder that FLASHWRIGHT_PORT_DIR points at for the scope.
class ScopedPortDir {
 public:
  ScopedPortDir();
  const std::string& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  ScopedEnv env_;
};

struct ProgramResult {
  int exit_status = -1;  // -1 when the program could not be run or was killed
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] a path) with extra "NAME=value" environment entries and waits for it.
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extra_env = {},
                         int timeout_seconds = 120);

bool WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);

}  // namespace flashwright::test
