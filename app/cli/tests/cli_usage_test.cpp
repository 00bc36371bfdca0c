// Bad command lines of flashwright-cli: a usage message and exit status 2, before any port is
// opened, so that a reader on the port gets nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/cli/tests/cli_fixture.h"

namespace flashwright::cli_test {
namespace {

using ::testing::HasSubstr;

class CliUsageTest : public CliTest {};

TEST_F(CliUsageTest, BadCommandLinesSendNothingAndExitWithTwo) {
  sim::ReaderSimulator& reader = StartReader(3);
  WriteImage("demo", SmallImage(4));
  const std::string folder = firmware_dir_;
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"update", "--port", "3", "--firmware", "demo", "--firmware-dir", folder, "--bogus"},
      {"update", "--port", "3", "--firmware-dir", folder},
      {"update", "--port", "3", "--firmware-dir", folder, "--firmware"},
      {"update", "--port", "--firmware", "demo", "--firmware-dir", folder},
      {"update", "--port", "0", "--firmware", "demo", "--firmware-dir", folder},
      {"update", "--port", "COMX", "--firmware", "demo", "--firmware-dir", folder},
      {"update", "--port", "65536", "--firmware", "demo", "--firmware-dir", folder},
      {"update", "--recover", "--firmware", "demo", "--firmware-dir", folder},
      {"update", "--recover", "--port", "auto", "--firmware", "demo", "--firmware-dir", folder},
      {"update", "--port", "3", "--firmware", "nosuch", "--firmware-dir", folder},
      {"update", "--port", "3", "--firmware", "demo", "--firmware-dir", dir_.Join("empty")},
      {"update", "--port", "3", "--firmware", "demo", "--firmware-dir", folder, "--tag-types",
       "tagit"},
      {"update", "--port", "3", "--firmware", "demo", "--firmware-dir", folder, "--too-old",
       "X2"},
      {"update", "--port", "3", "--firmware", "demo", "--firmware-dir", folder, "--too-new",
       "G2.256"},
      {"update", "--port", "3", "--firmware", "demo", "--firmware-dir", folder, "--too-new",
       "1.2.3.4"},
      {"info", "--port", "3", "extra"},
      {"reset-config", "--port", "3"},
      {"reset-config", "--port", "3", "--tag-types", "none"},
      {"afi", "--port", "3", "--set", "G1"},
      {"afi", "--port", "3", "--set", "-1"},
      {"afi", "--port", "3", "--set", "100"},
      {"afi", "--port", "3", "--set", ""},
      {"afi", "--port", "3", "--set"},
      {"security", "--port", "3", "--set", "EAS", "2"},
      {"security", "--port", "3", "--set", "AFI"},
      {"security", "--port", "3", "--set", "Chute", "01"},
      {"transmit-mode", "--port", "3", "--set", "16"},
      {"power-level", "--port", "3", "--set", "2W"},
      {"diag", "--port", "3", "--once"},
  };
  for (const std::vector<std::string>& args : bad) {
    std::string shown;
    for (const std::string& arg : args) shown += " '" + arg + "'";
    const test::ProgramResult run = Run(args);
    EXPECT_EQ(run.exit_status, 2) << shown << "\n" << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("Run with --help for more information.")) << shown;
    EXPECT_EQ(run.out, "") << shown;
  }
  EXPECT_TRUE(reader.Requests().empty());
}

TEST_F(CliUsageTest, UsageMessagesNameTheProblem) {
  StartReader(3);
  WriteImage("demo", SmallImage(4));

  const test::ProgramResult unknown =
      Run({"update", "--port", "3", "--firmware", "nosuch", "--firmware-dir", firmware_dir_});
  EXPECT_THAT(unknown.err, HasSubstr("flashwright-cli update: Firmware file nosuch not found. "
                                     "Check firmware directory at " + firmware_dir_ + "."));

  const test::ProgramResult recover =
      Run({"update", "--recover", "--firmware", "demo", "--firmware-dir", firmware_dir_});
  EXPECT_THAT(recover.err, HasSubstr("--recover needs --port N. Select a COM port."));

  const test::ProgramResult afi = Run({"afi", "--port", "3", "--set", "1 "});
  EXPECT_THAT(afi.err, HasSubstr("Enter a hexadecimal number, 0 to FF."));

  const test::ProgramResult eas = Run({"security", "--port", "3", "--set", "EAS", "2"});
  EXPECT_THAT(eas.err, HasSubstr("Enter a hexadecimal number, 0 to FF (0 or 1 for EAS)."));

  // A script that asked for JSON gets the outcome as JSON too.
  const test::ProgramResult json = Run({"--json", "afi", "--set", "xyz"});
  EXPECT_EQ(json.exit_status, 2);
  const nlohmann::json outcome = nlohmann::json::parse(json.out);
  EXPECT_EQ(outcome["event"], "outcome");
  EXPECT_EQ(outcome["status"], 2);
  EXPECT_EQ(outcome["text"], "Enter a hexadecimal number, 0 to FF.");
}

TEST_F(CliUsageTest, EveryCommandHasHelp) {
  for (const char* command : {"ports", "info", "update", "reset-config", "diag", "afi",
                              "security", "transmit-mode", "power-level"}) {
    const test::ProgramResult run = Run({command, "--help"});
    EXPECT_EQ(run.exit_status, 0) << command;
    EXPECT_THAT(run.out, HasSubstr(command)) << command;
    EXPECT_THAT(run.out, HasSubstr("--help")) << command;
  }
  const test::ProgramResult update = Run({"update", "--help"});
  for (const char* option : {"--firmware", "--port", "--recover", "--tag-types", "--too-old",
                             "--too-new", "--firmware-dir", "--check-only"}) {
    EXPECT_THAT(update.out, HasSubstr(option));
  }
  const test::ProgramResult top = Run({"--help"});
  EXPECT_EQ(top.exit_status, 0);
  EXPECT_THAT(top.out, HasSubstr("transmit-mode"));
}

}  // namespace
}  // namespace flashwright::cli_test
