// flashwright-cli update against the reader simulator: what reaches the reader, and what the
// user or the calling script is told.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/cli/tests/cli_fixture.h"

namespace flashwright::cli_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint8_t kEnterDownload = 0x3C;
constexpr std::uint8_t kVersionQuery = 0x11;
constexpr std::uint8_t kResetConfiguration = 0x32;

class CliUpdateTest : public CliTest {};

TEST_F(CliUpdateTest, UpdateOnAGivenPortLoadsTheImageAndResetsTheConfiguration) {
  sim::ReaderSimulator& reader = StartReader(3);
  const auto image = WriteImage("demo", SmallImage(20));

  const test::ProgramResult run = Run(UpdateArgs("3", "demo"));

  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(reader.Image(), AsSimRecords(image));
  EXPECT_EQ(reader.RequestCount(kEnterDownload), 1u);
  // The default tag types are both technologies: D6 00 04 32 03 after the update.
  ASSERT_EQ(reader.RequestCount(kResetConfiguration), 1u);
  const std::vector<std::uint8_t> reset = reader.Requests().back().bytes;
  ASSERT_GE(reset.size(), 5u);
  EXPECT_EQ(reset[3], kResetConfiguration);
  EXPECT_EQ(reset[4], 0x03);

  EXPECT_THAT(run.out, HasSubstr("Reader on COM 3: 4.241.8*, Bootloader:2.03, Platform:520/530"));
  EXPECT_THAT(run.out, HasSubstr("Firmware update in progress...DO NOT POWER OFF THE DEVICE..."));
  // Without a terminal every progress report is a line of its own.
  EXPECT_THAT(run.out, HasSubstr("Verify Line: 8 (0%)"));
  EXPECT_THAT(run.out, HasSubstr("Program Line: 8 ("));
  // The bytes after the end-of-file record are never read: the bar stops short of the end.
  EXPECT_THAT(run.out, HasSubstr("Program Line: 22...Finishing... (99%)"));
  // Reports that would repeat the line before are not shown again.
  EXPECT_THAT(run.out, Not(HasSubstr("Initializing... (0%)\nInitializing...")));
  EXPECT_THAT(run.out, HasSubstr("Reader firmware on COM 3 successfully updated.\n"
                                 "Reset configuration (TagIt,ISO) successful."));
  // Bootloader 2.03 is not an older one.
  EXPECT_THAT(run.out, Not(HasSubstr("RESET POWER ON READER.")));
  EXPECT_EQ(run.err, "");
}

TEST_F(CliUpdateTest, AutoDetectThroughSysfsWithJsonEvents) {
  AddAdapter("ttyUSB0");
  sim::ReaderSimulator& reader = StartReader(5, {}, "ttyUSB0");
  const auto image = WriteImage("demo", SmallImage(20));

  const test::ProgramResult run =
      Run(UpdateArgs("auto", "demo", {"--json", "--tag-types", "none"}));

  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(reader.Image(), AsSimRecords(image));
  EXPECT_EQ(reader.RequestCount(kResetConfiguration), 0u);

  std::vector<nlohmann::json> events;
  for (const std::string& line : Lines(run.out)) {
    ASSERT_TRUE(nlohmann::json::accept(line)) << line;
    events.push_back(nlohmann::json::parse(line));
    ASSERT_TRUE(events.back().contains("event")) << line;
  }
  ASSERT_GE(events.size(), 4u);
  const nlohmann::json& found = events.front();
  EXPECT_EQ(found["event"], "reader");
  EXPECT_EQ(found["port"], 5);
  EXPECT_EQ(found["version"], "4.241.8");
  EXPECT_EQ(found["version_value"], 0x0A04F108);
  EXPECT_EQ(found["bootloader_value"], 0x0203);
  EXPECT_EQ(found["flags"], 1);
  EXPECT_EQ(found["source"], "FTDI Ports");
  EXPECT_EQ(events[1]["event"], "message");
  EXPECT_EQ(events[1]["text"], "Firmware update in progress...DO NOT POWER OFF THE DEVICE...");

  int verify = 0;
  int program = 0;
  int last_position = -1;
  bool ended = false;
  for (const nlohmann::json& event : events) {
    if (event["event"] != "progress") continue;
    for (const char* field :
         {"pass", "status", "position", "image", "images", "line", "consumed", "total", "last"}) {
      EXPECT_TRUE(event.contains(field)) << field << " in " << event.dump();
    }
    EXPECT_EQ(event["image"], 1);
    EXPECT_EQ(event["images"], 1);
    if (event["pass"] == "verify") ++verify;
    if (event["pass"] == "program") {
      ++program;
      EXPECT_GE(event["position"].get<int>(), last_position) << "the bar never goes back";
      last_position = event["position"];
      ended = event["last"];
    }
  }
  EXPECT_GE(verify, 3);  // the start, line 8 and the end-of-file record
  EXPECT_GE(program, 3);
  EXPECT_TRUE(ended);
  EXPECT_EQ(last_position, 99);

  const nlohmann::json& outcome = events.back();
  EXPECT_EQ(outcome["event"], "outcome");
  EXPECT_EQ(outcome["status"], 0);
  EXPECT_EQ(outcome["kind"], "success");
  EXPECT_EQ(outcome["text"], "Reader firmware on COM 5 successfully updated.");
  EXPECT_EQ(outcome["port"], 5);
  EXPECT_EQ(outcome["firmware"], "demo");
  EXPECT_EQ(outcome["result"], 0);
  EXPECT_EQ(outcome["line"], 22);
}

TEST_F(CliUpdateTest, ARecordRefusedWhileProgrammingFailsWithExitStatusOne) {
  sim::ReaderSimulator& reader = StartReader(3);
  WriteImage("demo", SmallImage(20));
  // Records 0 and 1 are the first record twice; record 3 is line 3.
  reader.SetRecordAckStatus(3, 2);

  const test::ProgramResult run = Run(UpdateArgs("3", "demo"));

  EXPECT_EQ(run.exit_status, 1);
  // Nobody could be asked "Try again?": the outcome points to recover mode.
  EXPECT_THAT(run.err,
              HasSubstr("Reader update on COM 3 failed. Check reader power and serial cables.\n"
                        "Before trying again, reset power on device and select Tools: Recover "
                        "from Download Error.\n"
                        "(Err:-8,Line:3)\n"
                        "To try again in recover mode: flashwright-cli update --recover --port 3 "
                        "--firmware demo\n"));
  EXPECT_THAT(run.out, Not(HasSubstr("successfully")));
  EXPECT_EQ(reader.RequestCount(kResetConfiguration), 0u);
}

TEST_F(CliUpdateTest, AnImageForAnotherPlatformIsRefusedBeforeAnythingIsSent) {
  sim::ReaderSimOptions desklet;
  desklet.platform = 1;
  sim::ReaderSimulator& reader = StartReader(3, desklet);
  WriteImage("demo", SmallImage(4, /*platform=*/0));

  const test::ProgramResult run = Run(UpdateArgs("3", "demo", {"--json"}));

  EXPECT_EQ(run.exit_status, 1);
  EXPECT_THAT(run.err, HasSubstr("Verify platform error. Firmware file demo is not compatible "
                                 "with the reader.\n(Err:-11,Line:1)"));
  EXPECT_TRUE(reader.RecordLog().empty());
  EXPECT_EQ(reader.RequestCount(kEnterDownload), 0u);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_FALSE(lines.empty());
  const nlohmann::json outcome = nlohmann::json::parse(lines.back());
  EXPECT_EQ(outcome["status"], 1);
  EXPECT_EQ(outcome["kind"], "error");
  EXPECT_EQ(outcome["result"], -11);
  EXPECT_EQ(outcome["failed_in_check"], true);
}

TEST_F(CliUpdateTest, RecoverModeSendsTheRecordsToAReaderThatWaitsForThem) {
  sim::ReaderSimOptions waiting;
  waiting.start_in_download_mode = true;
  sim::ReaderSimulator& reader = StartReader(3, waiting);
  const auto image = WriteImage("demo", SmallImage(12));

  const test::ProgramResult run = Run(UpdateArgs("3", "demo", {"--recover", "--tag-types", "none"}));

  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(reader.Image(), AsSimRecords(image));
  // The reader is not asked anything and not switched into download mode.
  EXPECT_EQ(reader.RequestCount(kEnterDownload), 0u);
  EXPECT_EQ(reader.RequestCount(kVersionQuery), 0u);
  // Nobody knows its bootloader: the user is told to reset the power.
  EXPECT_THAT(run.out, HasSubstr("Reader firmware on COM 3 successfully updated.\n"
                                 "RESET POWER ON READER."));
}

TEST_F(CliUpdateTest, CheckOnlyAsksTheReaderAndSendsNoRecord) {
  sim::ReaderSimulator& reader = StartReader(3);
  WriteImage("demo", SmallImage(20));

  const test::ProgramResult run = Run(UpdateArgs("3", "DEMO.HEX", {"--check-only"}));

  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Verify Line: 22...Finishing..."));
  EXPECT_THAT(run.out, HasSubstr("Firmware file demo passed the check for the reader on COM 3. "
                                 "Nothing was sent."));
  EXPECT_GE(reader.RequestCount(kVersionQuery), 1u);
  EXPECT_TRUE(reader.RecordLog().empty());
  EXPECT_EQ(reader.RequestCount(kEnterDownload), 0u);
  EXPECT_EQ(reader.RequestCount(kResetConfiguration), 0u);
}

TEST_F(CliUpdateTest, CheckOnlyFindsWhatTheCheckPassRefuses) {
  // Descriptor class 0 needs the capability bit that this reader lacks.
  sim::ReaderSimOptions plain;
  plain.capability = 0x00;
  sim::ReaderSimulator& reader = StartReader(3, plain);
  WriteImage("needs_capability", SmallImage(4, 0, /*descriptor_class=*/0));

  const test::ProgramResult run = Run(UpdateArgs("3", "needs_capability", {"--check-only"}));

  EXPECT_EQ(run.exit_status, 1);
  EXPECT_THAT(run.err, HasSubstr("Verify file error. Firmware file needs_capability may not be "
                                 "supported by the reader.\n(Err:-7,Line:1)"));
  EXPECT_TRUE(reader.RecordLog().empty());
}

TEST_F(CliUpdateTest, CheckOnlyOfAPackageChecksEveryImageAndNamesAMissingOne) {
  sim::ReaderSimulator& reader = StartReader(3);
  WriteImage("first", SmallImage(8));
  WriteImage("second", SmallImage(8));
  WritePackage("both", {"first", "second"});
  WritePackage("broken", {"first", "missing"});

  const test::ProgramResult both = Run(UpdateArgs("3", "both", {"--check-only"}));
  EXPECT_EQ(both.exit_status, 0) << both.err;
  EXPECT_THAT(both.out, HasSubstr("(1 of 2) Verify Line: 8"));
  EXPECT_THAT(both.out, HasSubstr("(2 of 2) Verify Line: 10...Finishing..."));

  const test::ProgramResult broken = Run(UpdateArgs("3", "broken", {"--check-only"}));
  EXPECT_EQ(broken.exit_status, 1);
  EXPECT_THAT(broken.err, HasSubstr("Firmware file missing not found. Check firmware directory at " +
                                    firmware_dir_ + "."));
  EXPECT_TRUE(reader.RecordLog().empty());
}

TEST_F(CliUpdateTest, TheVersionGateFollowsTheConstraintOptions) {
  sim::ReaderSimOptions old_reader;
  old_reader.version = 0x0A020005;  // 2.0.5, below the default L2.1
  sim::ReaderSimulator& old_one = StartReader(3, old_reader);
  StartReader(4);
  WriteImage("demo", SmallImage(4));

  const test::ProgramResult refused = Run(UpdateArgs("3", "demo"));
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_THAT(refused.err, HasSubstr("Cannot update reader firmware on COM 3. The reader version "
                                     "is 2.0.5. Contact service."));

  // "none" empties the too-old list, as /O NONE does.
  const test::ProgramResult allowed =
      Run(UpdateArgs("3", "demo", {"--too-old", "none", "--check-only"}));
  EXPECT_EQ(allowed.exit_status, 0) << allowed.err;
  EXPECT_TRUE(old_one.RecordLog().empty());

  // Giving the option replaces the default list: 2.0.5 is not below l2.0.
  const test::ProgramResult replaced =
      Run(UpdateArgs("3", "demo", {"--too-old", "l2.0", "--check-only"}));
  EXPECT_EQ(replaced.exit_status, 0) << replaced.err;

  const test::ProgramResult too_new =
      Run(UpdateArgs("4", "demo", {"--too-new", "G4.200", "--too-new", "4.241"}));
  EXPECT_EQ(too_new.exit_status, 1);
  EXPECT_THAT(too_new.err, HasSubstr("Updating reader firmware on COM 4 is not allowed. The "
                                     "reader version is 4.241.8."));
}

TEST_F(CliUpdateTest, NoReaderWhereTheCommandLooksForOneIsExitStatusThree) {
  WriteImage("demo", SmallImage(4));
  sim::ReaderSimulator& silent = StartReader(3);
  silent.SetFault(sim::SimFault::NoAnswer);

  const test::ProgramResult nothing = Run(UpdateArgs("auto", "demo"));
  EXPECT_EQ(nothing.exit_status, 3);
  EXPECT_THAT(nothing.err, HasSubstr("No reader found."));

  const test::ProgramResult absent = Run(UpdateArgs("4", "demo"));
  EXPECT_EQ(absent.exit_status, 3);
  EXPECT_THAT(absent.err, HasSubstr("COM 4 does not exist. Select a different COM port."));

  const test::ProgramResult quiet = Run(UpdateArgs("3", "demo"));
  EXPECT_EQ(quiet.exit_status, 3);
  EXPECT_THAT(quiet.err, HasSubstr("No reader found on COM 3. Select a different COM port."));
  EXPECT_TRUE(silent.RecordLog().empty());
}

}  // namespace
}  // namespace flashwright::cli_test
