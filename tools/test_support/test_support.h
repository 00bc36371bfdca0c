// Helpers for tests that run against real files, ptys and programs.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace flashwright::test {

// How far past its time limit a timed wait may end on a loaded machine (two cores shared with
// builds, sanitizers on) before a test counts it as overrun.
inline constexpr std::chrono::milliseconds kTimeLimitOverrun{750};

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

// The same with standard input read from `input_file` ("" for /dev/null).
ProgramResult RunProgramWithInput(const std::vector<std::string>& argv,
                                  const std::string& input_file,
                                  const std::vector<std::string>& extra_env = {},
                                  int timeout_seconds = 120);

// A program left running in the background, for programs that run until they are told to stop
// (the reader-sim program, for one). Its input is /dev/null; its output is collected as it comes.
class RunningProgram {
 public:
  RunningProgram() = default;
  ~RunningProgram();  // kills the program (and its process group) if it still runs
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // Standard input of the program to start: this file instead of /dev/null.
  void SetInputFile(const std::string& path) { input_file_ = path; }
  // False when the program could not be started (for example a missing file).
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {});
  // The next whole line of its standard output, without the line end. False when the output
  // ended or `timeout_ms` passed first.
  bool ReadLine(std::string& line, int timeout_ms);
  bool Signal(int signal_number) const;
  // Waits for the end and collects the rest of the output; after `timeout_seconds` the program
  // is killed and the exit status is -1. `out` holds all of standard output, lines read included.
  ProgramResult Wait(int timeout_seconds = 120);
  bool Running() const { return pid_ > 0; }

 private:
  // Reads what the pipes have within `timeout_ms`; false once both have ended.
  bool Pump(int timeout_ms);

  std::string input_file_;
  int pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
  std::size_t line_start_ = 0;
};

bool WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);

}  // namespace flashwright::test
