// The command line: switches C, F, P, O, N, D, UF and USM (after "/" or "-", any letter case),
// each applying to the parameters that follow it until the next switch.
#pragma once

#include <string>
#include <vector>

#include "shell/run_options.h"

namespace flashwright {

class CFWCommandLineInfo {
 public:
  explicit CFWCommandLineInfo(RunOptions& options) : options_(options) {}

  // One argument, its leading "/" or "-" already removed when `is_switch` is set.
  void ParseParam(const char* param, bool is_switch, bool last);

  // The last switch seen, upper-case, without its prefix.
  const std::string& LastSwitch() const { return last_switch_; }

 private:
  RunOptions& options_;
  std::string last_switch_;
};

// Hands every argument (program name excluded) to `info` in order, as the framework does.
void ParseCommandLine(CFWCommandLineInfo& info, const std::vector<std::string>& arguments);

}  // namespace flashwright
