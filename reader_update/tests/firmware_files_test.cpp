// The firmware folder, its listing and packages, on real files.
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader_update/firmware_folder.h"
#include "reader_update/firmware_source.h"
#include "reader_update/package_reader.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(FirmwareFolderTest, DefaultSetAndBesideTheProgram) {
  EXPECT_EQ(FirmwareFolder(), "./firmware");
  SetFirmwareFolder("/srv/fw");
  EXPECT_EQ(FirmwareFolder(), "/srv/fw");
  const std::string program_folder = ProgramFolder();
  ASSERT_FALSE(program_folder.empty());
  EXPECT_TRUE(std::filesystem::exists(program_folder + "/firmware_files_test"));
  EXPECT_EQ(FirmwareFolderBesideProgram(), program_folder + "/firmware");
}

TEST(FirmwareFolderTest, PathsAreBuiltAndLimited) {
  std::string path;
  ASSERT_TRUE(BuildFirmwarePath("/fw", "rdr.4.2", kImageExtension, &path));
  EXPECT_EQ(path, "/fw/rdr.4.2.hex");
  const std::string folder = "/" + std::string(250, 'f');  // 251 characters
  EXPECT_TRUE(BuildFirmwarePath(folder, "abc", kImageExtension, &path));  // 259
  EXPECT_EQ(path.size(), 259u);
  EXPECT_FALSE(BuildFirmwarePath(folder, "abcd", kImageExtension, &path));  // 260
  EXPECT_TRUE(path.empty());
}

TEST(FirmwareFolderTest, ListsImagesThenPackagesByBaseName) {
  TempDir dir;
  for (const char* name : {"b.xml", "ABC.hex", "rdr.4.241.hex", "a.xml", "notes.txt", "x.HEX",
                           "hexfile", "y.hex.bak", ".hex"}) {
    ASSERT_TRUE(WriteFile(dir.Join(name), ":00000001FF\r\n"));
  }
  std::filesystem::create_directory(dir.Join("folder.hex"));
  std::filesystem::create_symlink(dir.Join("ABC.hex"), dir.Join("link.hex"));
  std::filesystem::create_symlink(dir.Join("gone.hex"), dir.Join("dangling.hex"));

  const std::vector<FirmwareFileEntry> expected = {
      {"ABC", false}, {"link", false}, {"rdr.4.241", false},
      {"a", true}, {"b", true},
  };
  EXPECT_EQ(ListFirmwareFiles(dir.path()), expected);
  EXPECT_TRUE(ListFirmwareFiles(dir.Join("missing")).empty());
}

TEST(FirmwareFolderTest, AListingScopeReadsEachFolderOnce) {
  TempDir dir;
  TempDir other;
  ASSERT_TRUE(WriteFile(dir.Join("a.hex"), ":00000001FF\r\n"));
  ASSERT_TRUE(WriteFile(other.Join("p.xml"), "<Package/>"));
  const std::vector<FirmwareFileEntry> first = {{"a", false}};
  {
    FirmwareListingScope start;
    EXPECT_EQ(ListFirmwareFiles(dir.path()), first);
    ASSERT_TRUE(WriteFile(dir.Join("b.hex"), ":00000001FF\r\n"));
    // The same folder again: the first reading answers.
    EXPECT_EQ(ListFirmwareFiles(dir.path()), first);
    // Another folder is read for itself.
    EXPECT_EQ(ListFirmwareFiles(other.path()), (std::vector<FirmwareFileEntry>{{"p", true}}));
    {
      FirmwareListingScope nested;
    }
    EXPECT_EQ(ListFirmwareFiles(dir.path()), first);
  }
  // The scope is over: the folder is read as it is now, also in a scope that comes later.
  const std::vector<FirmwareFileEntry> both = {{"a", false}, {"b", false}};
  EXPECT_EQ(ListFirmwareFiles(dir.path()), both);
  FirmwareListingScope later;
  EXPECT_EQ(ListFirmwareFiles(dir.path()), both);
}

TEST(PackageReaderTest, ListsTheFirmwareFilesOfThePackage) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.Join("pack.xml"),
                        "<?xml version=\"1.0\"?>\r\n<Package>\r\n"
                        "  <FirmwareFile>boot</FirmwareFile>\r\n"
                        "  <!-- then the application -->\r\n"
                        "  <Other>x</Other>\r\n"
                        "  <FirmwareFile>app&amp;data</FirmwareFile>\r\n"
                        "</Package>\r\n"));
  EXPECT_EQ(ReadPackage(dir.path(), "pack"), (std::vector<std::string>{"boot", "app&data"}));

  // Not XML, not well-formed, no FirmwareFile, only FirmwareFiles, empty, missing, binary.
  ASSERT_TRUE(WriteFile(dir.Join("text.xml"), "boot\r\napp\r\n"));
  ASSERT_TRUE(WriteFile(dir.Join("broken.xml"), "<Package><FirmwareFile>boot</Package>"));
  ASSERT_TRUE(WriteFile(dir.Join("none.xml"), "<Package><Image>boot</Image></Package>"));
  ASSERT_TRUE(WriteFile(dir.Join("plural.xml"),
                        "<Package><FirmwareFiles>boot</FirmwareFiles></Package>"));
  ASSERT_TRUE(WriteFile(dir.Join("empty.xml"), ""));
  ASSERT_TRUE(WriteFile(dir.Join("binary.xml"), std::string("<\0\xFF<a>\x01", 7)));
  for (const char* name : {"text", "broken", "none", "plural", "empty", "missing", "binary"}) {
    EXPECT_TRUE(ReadPackage(dir.path(), name).empty()) << name;
  }
}

TEST(ImageFileTest, AFileThatShrinksOrIsTooLargeIsAnErrorNotGarbage) {
  TempDir dir;
  const std::string path = dir.Join("shrinks.hex");
  std::string text;
  for (int i = 0; i < 64; ++i) text += ":0400000001020304F2\r\n";
  text += ":00000001FF\r\n";
  ASSERT_TRUE(WriteFile(path, text));
  ImageFile file;
  ASSERT_EQ(file.Open(path.c_str()), 0);
  ASSERT_EQ(file.Size(), text.size());
  // Cut short after its size was taken, as when it is replaced while the run starts.
  std::filesystem::resize_file(path, 100);
  std::unique_ptr<FirmwareSource> source;
  EXPECT_EQ(FirmwareSource::Create(file.Size(), &file, ReadImageFile, nullptr, &source),
            kLinkEndOfData);
  EXPECT_EQ(source, nullptr);

  // 4 GiB and more do not fit the 32-bit sizes of the source and the progress notes.
  const std::string huge = dir.Join("huge.hex");
  ASSERT_TRUE(WriteFile(huge, ""));
  std::error_code error;
  std::filesystem::resize_file(huge, 0x100000000ull, error);  // sparse: takes no space
  if (error) GTEST_SKIP() << "no sparse files here: " << error.message();
  EXPECT_EQ(file.Open(huge.c_str()), EFBIG);
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace flashwright
