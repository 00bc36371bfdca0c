// flashwright-cli ports, info and the reader tools against the reader simulator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>

#include "app/cli/tests/cli_fixture.h"

namespace flashwright::cli_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class CliToolsTest : public CliTest {
 protected:
  // The bytes of the last request with the command byte `command` (D6 frames: byte 3).
  static std::vector<std::uint8_t> LastRequest(const sim::ReaderSimulator& reader,
                                               std::uint8_t command) {
    std::vector<std::uint8_t> found;
    for (const sim::SimRequest& request : reader.Requests()) {
      if (request.bytes.size() > 3 && request.bytes[0] == 0xD6 && request.bytes[3] == command) {
        found = request.bytes;
      }
    }
    return found;
  }
  // The payload after the command byte, without the CRC.
  static std::vector<std::uint8_t> Arguments(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < 6) return {};
    return {frame.begin() + 4, frame.end() - 2};
  }
};

TEST_F(CliToolsTest, InfoShowsTheReaderInformationTexts) {
  sim::ReaderSimOptions options;
  options.power_level = 4;
  StartReader(3, options);

  const test::ProgramResult run = Run({"info", "--port", "COM3"});

  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Port: 3\n"
            "Version: 4.241.8*\n"
            "Bootloader:2.03\n"
            "Platform:520/530\n"
            "Power Level: 400mW\n");
}

TEST_F(CliToolsTest, InfoFindsTheReaderThroughTheAdapterInSysfs) {
  AddAdapter("ttyUSB1");
  sim::ReaderSimOptions older;
  older.version = 0x0A030102;  // no hardware query below 4.241.8
  StartReader(7, older, "ttyUSB1");

  const test::ProgramResult run = Run({"info", "--json"});

  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  const nlohmann::json info = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(info["event"], "info");
  EXPECT_EQ(info["port"], 7);
  EXPECT_EQ(info["source"], "FTDI Ports");
  EXPECT_EQ(info["version_text"], "3.1.2\nBootloader:unknown\nPlatform:520/530");
  EXPECT_EQ(info["power_text"], "1W");
  EXPECT_EQ(nlohmann::json::parse(lines[1])["status"], 0);
}

TEST_F(CliToolsTest, InfoOnASilentPortSaysNoReader) {
  StartReader(3).SetFault(sim::SimFault::NoAnswer);

  const test::ProgramResult run = Run({"info", "--port", "3"});

  EXPECT_EQ(run.exit_status, 3);
  EXPECT_THAT(run.out, HasSubstr("Version: (no reader)\n"));
  EXPECT_THAT(run.out, HasSubstr("Power Level: NA\n"));
  EXPECT_THAT(run.err, HasSubstr("No reader found on COM 3."));
}

TEST_F(CliToolsTest, PortsListsTheDevicesAndWhatDiscoveryChooses) {
  AddAdapter("ttyUSB0");
  StartReader(5, {}, "ttyUSB0");
  StartReader(9);  // a port without a sysfs identity

  const test::ProgramResult run = Run({"ports"});

  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_THAT(lines[0], HasSubstr("COM5"));
  EXPECT_THAT(lines[0], HasSubstr("ttyUSB0"));
  EXPECT_THAT(lines[0], HasSubstr("USB\\VID_0403&PID_6001&REV_0600"));
  EXPECT_THAT(lines[0], HasSubstr("FT232R USB UART (COM5)"));
  EXPECT_THAT(lines[1], HasSubstr("COM9"));
  EXPECT_EQ(lines[2],
            "auto-detect: Reader version A04F108 (Bootloader 0203,flags 01) found on COM 5 "
            "using FTDI Ports.");
}

TEST_F(CliToolsTest, PortalAfiReadAndSet) {
  sim::ReaderSimulator& reader = StartReader(3);

  const test::ProgramResult read = Run({"afi", "--port", "3"});
  EXPECT_EQ(read.exit_status, 0) << read.err;
  EXPECT_EQ(read.out, "Port: 3\nVersion: 4.241.8\nCurrent AFI Value : DA\n");

  const test::ProgramResult set = Run({"afi", "--port", "3", "--set", "7"});
  EXPECT_EQ(set.exit_status, 0) << set.err;
  EXPECT_THAT(set.out, HasSubstr("Portal AFI Value set to: 07\n"));
  EXPECT_EQ(Arguments(LastRequest(reader, 0x40)), (std::vector<std::uint8_t>{0x07}));
  EXPECT_EQ(reader.Options().portal_afi, 0x07);
}

TEST_F(CliToolsTest, SecurityMethodReadAndSet) {
  sim::ReaderSimulator& reader = StartReader(3);

  const test::ProgramResult read = Run({"security", "--port", "3", "--json"});
  EXPECT_EQ(read.exit_status, 0) << read.err;
  const nlohmann::json event = nlohmann::json::parse(Lines(read.out).at(1));
  EXPECT_EQ(event["event"], "security");
  EXPECT_EQ(event["method"], "AFI");
  EXPECT_EQ(event["value"], "DA");
  EXPECT_EQ(event["set"], false);

  const test::ProgramResult eas = Run({"security", "--port", "3", "--set", "eas", "01"});
  EXPECT_EQ(eas.exit_status, 0) << eas.err;
  EXPECT_THAT(eas.out, HasSubstr("Security Method set to: EAS 01\n"));
  EXPECT_EQ(Arguments(LastRequest(reader, 0x42)), (std::vector<std::uint8_t>{0x0C, 0x01}));

  // None takes no value; 00 goes out whatever follows.
  const test::ProgramResult none = Run({"security", "--port", "3", "--set", "None", "zz"});
  EXPECT_EQ(none.exit_status, 0) << none.err;
  EXPECT_THAT(none.out, HasSubstr("Security Method set to: None \n"));
  EXPECT_EQ(Arguments(LastRequest(reader, 0x42)), (std::vector<std::uint8_t>{0x11, 0x00}));

  const test::ProgramResult after = Run({"security", "--port", "3"});
  EXPECT_THAT(after.out, HasSubstr("Current Security Method : None\nCurrent Value : \n"));
}

TEST_F(CliToolsTest, TransmitModeReadSetAndRefusal) {
  sim::ReaderSimulator& reader = StartReader(3);

  const test::ProgramResult read = Run({"transmit-mode", "--port", "3"});
  EXPECT_EQ(read.exit_status, 0) << read.err;
  EXPECT_THAT(read.out, HasSubstr("Current Mode : 1 out of 4\n"));

  const test::ProgramResult set = Run({"transmit-mode", "--port", "3", "--set", "256"});
  EXPECT_EQ(set.exit_status, 0) << set.err;
  EXPECT_THAT(set.out, HasSubstr("Transmit Mode set to: 1 out of 256\n"));
  EXPECT_EQ(Arguments(LastRequest(reader, 0x36)), (std::vector<std::uint8_t>{0x01, 0x01}));

  reader.SetCommandStatus(0x36, 49);
  const test::ProgramResult refused = Run({"transmit-mode", "--port", "3", "--set", "4"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_THAT(refused.err, HasSubstr("Reader firmware does not support the RF transmit mode."));
}

TEST_F(CliToolsTest, PowerLevelReadSetAndRefusal) {
  sim::ReaderSimulator& reader = StartReader(3);

  const test::ProgramResult read = Run({"power-level", "--port", "3"});
  EXPECT_EQ(read.exit_status, 0) << read.err;
  EXPECT_THAT(read.out, HasSubstr("Current Level : 1 Watt\n"));

  const test::ProgramResult set = Run({"power-level", "--port", "3", "--set", "100mw"});
  EXPECT_EQ(set.exit_status, 0) << set.err;
  EXPECT_THAT(set.out, HasSubstr("Power Level set to: 100 mW\n"));
  EXPECT_EQ(Arguments(LastRequest(reader, 0x3A)), (std::vector<std::uint8_t>{0x0A}));
  EXPECT_EQ(reader.Options().power_level, 0x0A);

  reader.SetCommandStatus(0x3A, 49);
  const test::ProgramResult refused = Run({"power-level", "--port", "3", "--set", "1W"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_THAT(refused.err, HasSubstr("Reader does not support the selected level."));

  reader.SetCommandStatus(0x3E, 2);
  const test::ProgramResult unknown = Run({"power-level", "--port", "3"});
  EXPECT_EQ(unknown.exit_status, 1);
  EXPECT_THAT(unknown.err, HasSubstr("(Reader Error 2) Command Not Supported"));
}

TEST_F(CliToolsTest, SettingsOfAReaderWithoutTheToolCommandsAreNotSent) {
  sim::ReaderSimOptions old_reader;
  old_reader.version = 0x0A02FFFF;
  sim::ReaderSimulator& reader = StartReader(3, old_reader);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"afi", "--port", "3"},
        std::vector<std::string>{"afi", "--port", "3", "--set", "DA"},
        std::vector<std::string>{"power-level", "--port", "3", "--set", "1W"}}) {
    const test::ProgramResult run = Run(args);
    EXPECT_EQ(run.exit_status, 1) << args[0];
    EXPECT_THAT(run.err, HasSubstr("(Reader Error 7)"));
  }
  EXPECT_EQ(reader.RequestCount(0x41), 0u);
  EXPECT_EQ(reader.RequestCount(0x40), 0u);
  EXPECT_EQ(reader.RequestCount(0x3A), 0u);
}

TEST_F(CliToolsTest, DiagnosticsListsTheTagsWithBlockZero) {
  sim::ReaderSimOptions options;
  options.tags = {{{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x0BADCAFE},
                  {{0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, 0x00000001}};
  StartReader(3, options);

  const test::ProgramResult run = Run({"diag", "--port", "3"});

  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Tags: 2\n"
                                 "E004010012345678   Block0: 0BADCAFE\n"
                                 "123456789ABC   Block0: 00000001\n"));
}

TEST_F(CliToolsTest, ContinuousDiagnosticsRunUntilInterrupted) {
  sim::ReaderSimOptions options;
  options.tags = {{{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x11223344}};
  sim::ReaderSimulator& reader = StartReader(3, options);

  test::RunningProgram program;
  ASSERT_TRUE(program.Start({ProgramPath(), "diag", "--port", "3", "--continuous", "--json"},
                            Environment()));
  int rounds = 0;
  std::string line;
  while (rounds < 3 && program.ReadLine(line, 5000)) {
    const nlohmann::json event = nlohmann::json::parse(line);
    if (event["event"] != "tags") continue;
    EXPECT_EQ(event["count"], 1);
    EXPECT_EQ(event["tags"][0]["block0"], "11223344");
    ++rounds;
  }
  ASSERT_EQ(rounds, 3);
  ASSERT_TRUE(program.Signal(SIGINT));
  const test::ProgramResult run = program.Wait(10);

  EXPECT_EQ(run.exit_status, 0) << run.err;
  const nlohmann::json outcome = nlohmann::json::parse(Lines(run.out).back());
  EXPECT_EQ(outcome["event"], "outcome");
  EXPECT_GE(outcome["rounds"].get<int>(), 3);
  EXPECT_GE(reader.RequestCount(0xFE), 3u);
}

TEST_F(CliToolsTest, ResetConfigurationSendsTheSelectionAndReportsRefusals) {
  sim::ReaderSimulator& reader = StartReader(3);

  const test::ProgramResult run = Run({"reset-config", "--port", "3", "--tag-types", "ISO"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Reset configuration (ISO) successful.\n"));
  EXPECT_EQ(Arguments(LastRequest(reader, 0x32)), (std::vector<std::uint8_t>{0x02}));

  reader.SetCommandStatus(0x32, 1);
  const test::ProgramResult refused =
      Run({"reset-config", "--port", "3", "--tag-types", "all"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_THAT(refused.err, HasSubstr("Reset configuration (TagIt,ISO) returned error -33. Reader "
                                     "may not support the command."));
}

TEST_F(CliToolsTest, ToolsOnAutoDetectWithoutAReaderSayNoReaderFound) {
  const test::ProgramResult run = Run({"afi"});
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_THAT(run.err, HasSubstr("No reader found."));
  EXPECT_THAT(run.out, Not(HasSubstr("Current AFI")));
}

}  // namespace
}  // namespace flashwright::cli_test
