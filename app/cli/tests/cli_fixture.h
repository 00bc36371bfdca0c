// The set-up of the flashwright-cli program tests: a temporary folder with a port folder, a
// fake sysfs tree, an empty Wine prefix (no sibling configuration) and a firmware folder,
// simulated readers published in the port folder, and the program run with that environment.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright::cli_test {

struct HexRecord {
  std::uint16_t address = 0;
  std::uint8_t type = 0;
  std::vector<std::uint8_t> data;
};

// An image the check pass accepts for the simulator's default reader: the 8-byte header at
// address 0 (start bytes 0C EF 00 F0, descriptor class 1, platform `platform`), then `records`
// data records of 16 bytes, then the end-of-file record.
std::vector<HexRecord> SmallImage(int records, std::uint8_t platform = 0,
                                  std::uint8_t descriptor_class = 1);
// The records as Intel HEX text with correct checksums.
std::string IntelHexText(const std::vector<HexRecord>& records);
// The records as the simulator logs what it receives.
std::vector<sim::SimRecord> AsSimRecords(const std::vector<HexRecord>& records);

class CliTest : public ::testing::Test {
 protected:
  CliTest();

  // A simulated reader on COM `com`. With `tty`, COM<com> links to ../dev/<tty>, which links
  // to the pty, so that the fake sysfs can describe the port.
  sim::ReaderSimulator& StartReader(unsigned com, sim::ReaderSimOptions options = {},
                                    const std::string& tty = {});
  // An FT232 adapter in the fake sysfs whose tty is `tty`.
  void AddAdapter(const std::string& tty, const std::string& bus_path = "1-1");
  // Writes <firmware folder>/<name>.hex and returns its records.
  std::vector<HexRecord> WriteImage(const std::string& name, const std::vector<HexRecord>& image);
  void WritePackage(const std::string& name, const std::vector<std::string>& images);

  // Runs flashwright-cli with `args` (stdin /dev/null, stdout and stderr pipes).
  test::ProgramResult Run(const std::vector<std::string>& args, int timeout_seconds = 60);
  std::vector<std::string> Environment() const;
  static std::string ProgramPath();

  // "update --port 3 --firmware NAME --firmware-dir <folder>" and `extra`.
  std::vector<std::string> UpdateArgs(const std::string& port, const std::string& name,
                                      std::vector<std::string> extra = {}) const;

  test::TempDir dir_;
  std::string port_dir_;
  std::string sysfs_root_;
  std::string wine_prefix_;
  std::string firmware_dir_;
  std::unique_ptr<test::FakeSysfs> sysfs_;
  std::vector<std::unique_ptr<sim::ReaderSimulator>> readers_;
};

// The lines of `text`, without line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace flashwright::cli_test
