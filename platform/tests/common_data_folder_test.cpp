// The common application data folder of the Wine prefix and Windows paths below it.
#include "platform/common_data_folder.h"

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/test_support/test_support.h"

namespace flashwright::platform {
namespace {

TEST(CommonDataFolderTest, IsProgramDataOfTheWinePrefix) {
  test::TempDir prefix;
  std::string folder;
  {
    test::ScopedEnv env("WINEPREFIX", prefix.path().c_str());
    // Not there yet: the path is still the one to look in, and it is not made.
    EXPECT_EQ(CommonDataFolder(&folder), 0);
    EXPECT_EQ(folder, prefix.path() + "/drive_c/ProgramData");
    EXPECT_FALSE(std::filesystem::exists(folder));
    // A prefix that spells the folder in another case.
    std::filesystem::create_directories(prefix.path() + "/drive_c/programdata");
    EXPECT_EQ(CommonDataFolder(&folder), 0);
    EXPECT_EQ(folder, prefix.path() + "/drive_c/programdata");
  }
  {
    test::ScopedEnv no_prefix("WINEPREFIX", nullptr);
    test::ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(CommonDataFolder(&folder), 0);
    EXPECT_EQ(folder, "/home/someone/.wine/drive_c/ProgramData");
  }
  {
    test::ScopedEnv no_prefix("WINEPREFIX", nullptr);
    test::ScopedEnv no_home("HOME", nullptr);
    EXPECT_EQ(CommonDataFolder(&folder), ENOENT);
    EXPECT_EQ(folder, "");
  }
}

TEST(CommonDataFolderTest, WindowsPathsResolveWithoutRegardToCase) {
  test::TempDir root;
  test::FakeWinePrefix prefix(root.path());
  ASSERT_TRUE(prefix.WriteProgramDataFile("HALVERN/common/Ravelin/1.00.XML", "<a/>"));
  const std::string data = prefix.ProgramData();
  EXPECT_EQ(ResolveBelow(data, "\\Halvern\\Common\\Ravelin\\1.00.xml"),
            data + "/HALVERN/common/Ravelin/1.00.XML");
  EXPECT_EQ(ResolveBelow(data, "/halvern/COMMON/ravelin/1.00.xml"),
            data + "/HALVERN/common/Ravelin/1.00.XML");
  EXPECT_EQ(ResolveBelow(data, "\\Halvern\\Common\\Ravelin\\2.00.xml"), "");
  EXPECT_EQ(ResolveBelow(data, "\\Orvane Folio Systems\\Common\\Ravelin\\1.00.xml"), "");
  // Nothing above the folder can be reached.
  EXPECT_EQ(ResolveBelow(data + "/HALVERN", "\\..\\HALVERN\\common"), "");

  // An exact match wins over other spellings; otherwise the first in name order.
  ASSERT_TRUE(prefix.WriteProgramDataFile("Twice/a.xml", "1"));
  ASSERT_TRUE(prefix.WriteProgramDataFile("twice/a.xml", "2"));
  EXPECT_EQ(ResolveBelow(data, "\\twice\\a.xml"), data + "/twice/a.xml");
  EXPECT_EQ(ResolveBelow(data, "\\TWICE\\A.XML"), data + "/Twice/a.xml");
}

}  // namespace
}  // namespace flashwright::platform
