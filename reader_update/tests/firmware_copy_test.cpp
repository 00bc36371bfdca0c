// "Copy Firmware To Memory Card..." through the view's menu command, on real folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/file_folder.h"
#include "shell/command_ids.h"
#include "tools/app_harness/app_harness.h"
#include "reader_update/firmware_copy.h"

using flashwright::test::AppHarness;
using flashwright::test::TempDir;

namespace flashwright {

namespace {

// The system's code for a path whose folder does not exist.
#if defined(_WIN32)
constexpr int kPathNotFound = 3;
#else
constexpr int kPathNotFound = ENOENT;
#endif

// Read-only for everyone (on Windows: the read-only attribute).
void MakeReadOnly(const std::string& path) {
  using std::filesystem::perms;
  std::filesystem::permissions(path, perms::owner_read | perms::group_read | perms::others_read);
}

// The folder the copy goes to in `chosen`, as the message names it.
std::string CardFirmware(const std::string& chosen) {
  return chosen + platform::kPathSeparator + "firmware";
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FirmwareCopyTest, CopiesImagesOnlyIntoFirmwareFolder) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  ASSERT_TRUE(harness.AddImage("Reader_2"));
  ASSERT_TRUE(harness.AddFile("Bundle.xml", test::PackageXml({"Reader_1", "Reader_2"})));
  ASSERT_TRUE(harness.AddFile("notes.txt", "not firmware"));
  TempDir card;
  harness.control_held = true;
  ASSERT_TRUE(harness.Start());
  // A chosen root ends with its separator: no doubled one in the destination.
  harness.folder_choice = ui::FolderChoice::kChosen;
  harness.folder_path = card.path() + platform::kPathSeparator;
  harness.Command(kCmdCopyFirmware);
  ASSERT_EQ(harness.boxes.size(), std::size_t{1});
  EXPECT_EQ(harness.boxes[0].text, "2 file(s) copied to " + CardFirmware(card.path()));
  EXPECT_EQ(harness.boxes[0].style & ui::kIconMask, 0u);
  EXPECT_EQ(FilesIn(card.Join("firmware")),
            (std::vector<std::string>{"Reader_1.hex", "Reader_2.hex"}));
  EXPECT_EQ(test::ReadFile(card.Join("firmware/Reader_1.hex")),
            test::ReadFile(harness.FirmwareFolder() + "/Reader_1.hex"));

  // Again, without the separator, replacing what is there.
  EXPECT_TRUE(test::WriteFile(card.Join("firmware/Reader_2.hex"), "old"));
  harness.folder_path = card.path();
  harness.Command(kCmdCopyFirmware);
  EXPECT_EQ(harness.boxes.back().text, "2 file(s) copied to " + CardFirmware(card.path()));
  EXPECT_EQ(test::ReadFile(card.Join("firmware/Reader_2.hex")),
            test::ReadFile(harness.FirmwareFolder() + "/Reader_2.hex"));
}

TEST(FirmwareCopyTest, ReadOnlyFileIsSkipped) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  ASSERT_TRUE(harness.AddImage("Reader_2"));
  TempDir card;
  std::filesystem::create_directory(card.Join("firmware"));
  EXPECT_TRUE(test::WriteFile(card.Join("firmware/Reader_1.hex"), "keep me"));
  MakeReadOnly(card.Join("firmware/Reader_1.hex"));
  harness.control_held = true;
  ASSERT_TRUE(harness.Start());
  harness.folder_choice = ui::FolderChoice::kChosen;
  harness.folder_path = card.path();
  harness.Command(kCmdCopyFirmware);
  ASSERT_EQ(harness.boxes.size(), std::size_t{1});
  EXPECT_EQ(harness.boxes[0].text, "1 file(s) copied to " + CardFirmware(card.path()));
  EXPECT_EQ(test::ReadFile(card.Join("firmware/Reader_1.hex")), std::string("keep me"));
}

TEST(FirmwareCopyTest, CopyingIntoTheProgramsOwnFolderReportsWhatHappened) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  ASSERT_TRUE(harness.AddImage("Reader_2"));
  const std::string before = test::ReadFile(harness.FirmwareFolder() + "/Reader_1.hex");
  harness.control_held = true;
  ASSERT_TRUE(harness.Start());
  // The program's own folder: the destination is the firmware folder itself. The images
  // exist, so "No firmware files to copy." would be wrong; nothing was copied, and the
  // images are left whole.
  harness.folder_choice = ui::FolderChoice::kChosen;
  harness.folder_path = harness.ProgramFolder();
  harness.Command(kCmdCopyFirmware);
  ASSERT_EQ(harness.boxes.size(), std::size_t{1});
  EXPECT_EQ(harness.boxes[0].text, "0 file(s) copied to " + harness.FirmwareFolder());
  EXPECT_EQ(harness.boxes[0].style & ui::kIconMask, 0u);
  EXPECT_EQ(test::ReadFile(harness.FirmwareFolder() + "/Reader_1.hex"), before);
  EXPECT_EQ(FilesIn(harness.FirmwareFolder()),
            (std::vector<std::string>{"Reader_1.hex", "Reader_2.hex"}));

  // Every destination file read-only: images were there to copy, none was copied.
  TempDir card;
  std::filesystem::create_directory(card.Join("firmware"));
  for (const char* name : {"firmware/Reader_1.hex", "firmware/Reader_2.hex"}) {
    EXPECT_TRUE(test::WriteFile(card.Join(name), "keep me"));
    MakeReadOnly(card.Join(name));
  }
  harness.folder_path = card.path();
  harness.Command(kCmdCopyFirmware);
  EXPECT_EQ(harness.boxes.back().text, "0 file(s) copied to " + CardFirmware(card.path()));
  EXPECT_EQ(test::ReadFile(card.Join("firmware/Reader_2.hex")), std::string("keep me"));
}

TEST(FirmwareCopyTest, NothingToCopy) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddFile("Bundle.xml", test::PackageXml({"Reader_1"})));
  TempDir card;
  harness.control_held = true;
  ASSERT_TRUE(harness.Start({"/D"}));
  harness.folder_choice = ui::FolderChoice::kChosen;
  harness.folder_path = card.path();
  harness.Command(kCmdCopyFirmware);
  ASSERT_EQ(harness.boxes.size(), std::size_t{1});
  EXPECT_EQ(harness.boxes[0].text, std::string("No firmware files to copy."));
  EXPECT_TRUE(!std::filesystem::exists(card.Join("firmware")));

  // The firmware folder itself vanished: the same report.
  std::filesystem::remove_all(harness.FirmwareFolder());
  harness.Command(kCmdCopyFirmware);
  EXPECT_EQ(harness.boxes.back().text, std::string("No firmware files to copy."));
}

TEST(FirmwareCopyTest, BrowserOutcomesAndCopyErrors) {
  AppHarness harness;
  ASSERT_TRUE(harness.AddImage("Reader_1"));
  ASSERT_TRUE(harness.AddImage("Reader_2"));
  harness.control_held = true;
  ASSERT_TRUE(harness.Start());
  harness.folder_choice = ui::FolderChoice::kCancelled;
  harness.Command(kCmdCopyFirmware);
  EXPECT_TRUE(harness.boxes.empty());

  harness.folder_choice = ui::FolderChoice::kNoPath;
  harness.Command(kCmdCopyFirmware);
  ASSERT_EQ(harness.boxes.size(), std::size_t{1});
  EXPECT_EQ(harness.boxes[0].text, std::string("Get path error."));
  EXPECT_EQ(harness.boxes[0].style & ui::kIconMask, unsigned{ui::kIconError});

  // A chosen folder that does not exist: the folder is made one level deep only, so the
  // first copy fails and stops the rest.
  TempDir card;
  harness.folder_choice = ui::FolderChoice::kChosen;
  harness.folder_path = card.Join("missing/deeper");
  harness.Command(kCmdCopyFirmware);
  EXPECT_EQ(harness.boxes.back().text,
            "File copy error " + std::to_string(kPathNotFound) + ". 0 file(s) were copied.");
  EXPECT_EQ(harness.boxes.back().style & ui::kIconMask, unsigned{ui::kIconError});
  EXPECT_TRUE(!std::filesystem::exists(card.Join("missing")));

  // A destination entry that is a folder cannot be replaced. Linux says so: a real error after
  // one copy. Windows answers access denied there, and the file is skipped as a read-only one.
  std::filesystem::create_directories(card.Join("firmware/Reader_2.hex"));
  const CopyResult result = CopyImages(harness.FirmwareFolder(), CopyDestination(card.path()));
  EXPECT_EQ(result.count, 1u);
#if defined(_WIN32)
  EXPECT_EQ(result.error, 0);
#else
  EXPECT_TRUE(result.error != 0);
#endif
}

}  // namespace
}  // namespace flashwright
