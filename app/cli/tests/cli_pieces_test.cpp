// The pieces of flashwright-cli with rules of their own: the progress bar position and status
// texts of the reader update view, and the reading of command-line values.
#include <gtest/gtest.h>

#include "app/cli/cli_arguments.h"
#include "app/cli/event_output.h"
#include "reader_update/run_progress_text.h"

namespace flashwright::cli {
namespace {

ProgressNote Note(std::uint16_t start, std::uint16_t end, std::uint32_t consumed,
                  std::uint32_t total, std::uint32_t line = 8) {
  ProgressNote note;
  note.range_start = start;
  note.range_end = end;
  note.image_index = 1;
  note.image_count = 1;
  note.consumed = consumed;
  note.total = total;
  note.line = line;
  return note;
}

TEST(ProgressBarPosition, FillsTheImagesPartInProportion) {
  EXPECT_EQ(ProgramBarPosition(Note(0, 100, 50, 200)), 25);
  EXPECT_EQ(ProgramBarPosition(Note(0, 100, 200, 200)), 100);
  EXPECT_EQ(ProgramBarPosition(Note(50, 100, 100, 200)), 75);
  // Line 0 (the switch into download mode) and an empty file stay at the start.
  EXPECT_EQ(ProgramBarPosition(Note(50, 100, 100, 200, 0)), 50);
  EXPECT_EQ(ProgramBarPosition(Note(50, 100, 0, 0)), 50);
  // The end is only reached once every byte is consumed.
  EXPECT_EQ(ProgramBarPosition(Note(0, 100, 1999, 2000)), 99);
  EXPECT_EQ(ProgramBarPosition(Note(0, 50, 2001, 2000)), 50);
}

TEST(ProgressStatusText, CarriesThePackagePrefixAndTheEnd) {
  ProgressNote note = Note(0, 100, 0, 100, 24);
  EXPECT_EQ(VerifyStatusText(note), "Verify Line: 24");
  EXPECT_EQ(ProgramStatusText(note), "Program Line: 24");
  note.image_index = 2;
  note.image_count = 3;
  note.last = 1;
  EXPECT_EQ(VerifyStatusText(note), "(2 of 3) Verify Line: 24...Finishing...");
  EXPECT_EQ(ProgramStatusText(note), "(2 of 3) Program Line: 24...Finishing...");
  note.line = 0;
  note.last = 0;
  EXPECT_EQ(ProgramStatusText(note), "(2 of 3) Initializing...");
}

TEST(ProgressBarText, FitsTheTerminal) {
  EXPECT_EQ(RenderProgressBar(50, "Program Line: 8", 80),
            "[###############---------------]  50% Program Line: 8");
  EXPECT_EQ(RenderProgressBar(150, "", 80), "[##############################] 100% ");
  EXPECT_EQ(RenderProgressBar(0, "Verify Line: 8", 20).size(), 19u);
}

TEST(ConstraintArguments, FollowTheRulesOfTheSwitches) {
  const std::vector<std::string> defaults{"L2.1"};
  EXPECT_EQ(ApplyConstraintArguments(defaults, {}), defaults);
  EXPECT_EQ(ApplyConstraintArguments(defaults, {"l2.0", "g3"}),
            (std::vector<std::string>{"L2.0", "G3"}));
  EXPECT_EQ(ApplyConstraintArguments(defaults, {"none"}), std::vector<std::string>{});
  EXPECT_EQ(ApplyConstraintArguments(defaults, {"L2.0", "NONE", "4.1"}),
            (std::vector<std::string>{"4.1"}));

  for (const char* good : {"L2.1", "g2", "4.241.8", "0", "G255.255.255"}) {
    EXPECT_TRUE(IsVersionConstraint(good)) << good;
  }
  for (const char* bad : {"", "L", "X2", "2.256", "1.2.3.4", "2..1", "2.", "-1", "L 2", "G2.a"}) {
    EXPECT_FALSE(IsVersionConstraint(bad)) << bad;
  }
}

TEST(PortArgument, TakesAutoNumbersAndComNames) {
  EXPECT_EQ(ParsePortArgument("auto"), 0);
  EXPECT_EQ(ParsePortArgument("AUTO"), 0);
  EXPECT_EQ(ParsePortArgument("3"), 3);
  EXPECT_EQ(ParsePortArgument("com12"), 12);
  EXPECT_EQ(ParsePortArgument("65535"), 65535);
  for (const char* bad : {"", "0", "COM", "COM0", "65536", "-1", "3x", " 3", "1e3"}) {
    EXPECT_FALSE(ParsePortArgument(bad).has_value()) << bad;
  }
}

TEST(UsbDeviceArgument, TakesAnIndexOrABusPathAsTheSystemNamesIt) {
  EXPECT_EQ(ParseUsbDeviceArgument("0")->index, 0);
  EXPECT_EQ(ParseUsbDeviceArgument("0")->bus_path, "");
  // Out of range, but an index: the device lookup names the range.
  EXPECT_EQ(ParseUsbDeviceArgument("300")->index, 300);
  for (const char* path : {"1-3", "1-3.2", "12-1.4.3", "3-1.2.3.4.5.6.7"}) {
    const auto parsed = ParseUsbDeviceArgument(path);
    ASSERT_TRUE(parsed.has_value()) << path;
    EXPECT_EQ(parsed->bus_path, path);
    EXPECT_EQ(parsed->index, -1) << path;
  }
  for (const char* bad : {"", "-1", "1-", "-3", "1-3.", "1-.3", "1--3", "0-1", "1-0", "1-3.0",
                          "usb1", "1:3", "1-3.2a", " 1-3", "3-1.2.3.4.5.6.7.8", "1-256"}) {
    EXPECT_FALSE(ParseUsbDeviceArgument(bad).has_value()) << bad;
  }
}

TEST(FirmwareName, IsFoundAsTheFirmwareListShowsIt) {
  const std::vector<FirmwareFileEntry> files{
      {"Reader_42418", false}, {"both", false}, {"both", true}, {"bundle", true}};
  EXPECT_EQ(FindFirmwareFile(files, "reader_42418.HEX")->base_name, "Reader_42418");
  EXPECT_FALSE(FindFirmwareFile(files, "both")->is_package);
  EXPECT_TRUE(FindFirmwareFile(files, "both.xml")->is_package);
  EXPECT_TRUE(FindFirmwareFile(files, "BUNDLE")->is_package);
  EXPECT_FALSE(FindFirmwareFile(files, "bundle.hex").has_value());
  EXPECT_FALSE(FindFirmwareFile(files, "reader").has_value());
}

}  // namespace
}  // namespace flashwright::cli
