// The registry hive read from a Wine prefix's system.reg.
#include "platform/registry.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/test_support/test_support.h"

namespace flashwright::platform {
namespace {

using test::SystemRegText;

std::shared_ptr<const RegistryHive> Parse(const std::string& text) {
  return std::make_shared<const RegistryHive>(ParseRegistryText(text));
}

std::vector<std::string> SubKeys(const RegistryKey& key, std::size_t buffer = 384) {
  std::vector<std::string> names;
  std::string name;
  for (std::uint32_t i = 0; key.EnumSubKey(i, buffer, &name) == kRegistryOk; ++i) {
    names.push_back(name);
  }
  return names;
}

// The value as a 4-byte query reads it (zero-filled first).
int QueryDword(const RegistryKey& key, const std::string& name, std::uint32_t* value) {
  std::uint8_t bytes[4] = {};
  std::uint32_t size = sizeof bytes;
  int result = key.QueryValue(name, nullptr, bytes, &size);
  *value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return result;
}

TEST(WineRegistryTest, KeysAndValuesAreFoundWithoutRegardToCase) {
  auto hive = Parse(SystemRegText()
                        .Key("Software\\Orvane\\Folio Systems\\Common\\Ravelin\\1.00")
                        .Dword("Port", 3)
                        .String("Name", "first")
                        .Key("Software\\Orvane\\Folio Systems\\Common\\Ravelin\\2.00")
                        .Dword("Port", 0xFFFFFFFE)
                        .Text());
  RegistryKey key;
  ASSERT_EQ(RegistryKey::OpenInHive(hive, "SOFTWARE\\ORVANE\\folio systems\\Common\\Ravelin",
                                    &key),
            kRegistryOk);
  EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"1.00", "2.00"}));

  RegistryKey sub;
  ASSERT_EQ(key.OpenSubKey("1.00", &sub), kRegistryOk);
  std::uint32_t port = 0;
  EXPECT_EQ(QueryDword(sub, "PORT", &port), kRegistryOk);
  EXPECT_EQ(port, 3u);
  std::uint32_t type = 0;
  char text[16] = {};
  std::uint32_t size = sizeof text;
  EXPECT_EQ(sub.QueryValue("name", &type, text, &size), kRegistryOk);
  EXPECT_EQ(type, kRegString);
  EXPECT_EQ(size, 6u);
  EXPECT_STREQ(text, "first");

  ASSERT_EQ(key.OpenSubKey("2.00", &sub), kRegistryOk);
  EXPECT_EQ(QueryDword(sub, "Port", &port), kRegistryOk);
  EXPECT_EQ(port, 0xFFFFFFFEu);
  EXPECT_EQ(QueryDword(sub, "Missing", &port), kRegistryNotFound);
  EXPECT_EQ(key.OpenSubKey("3.00", &sub), kRegistryNotFound);
  EXPECT_FALSE(sub.IsOpen());

  // A subkey stays usable after the key it was opened from is closed.
  ASSERT_EQ(key.OpenSubKey("1.00", &sub), kRegistryOk);
  key.Close();
  EXPECT_EQ(QueryDword(sub, "Port", &port), kRegistryOk);
  EXPECT_EQ(port, 3u);
  std::string name;
  EXPECT_EQ(key.EnumSubKey(0, 384, &name), kRegistryNotFound);
}

TEST(WineRegistryTest, ValueDataKeepsItsLengthAndALongerValueDoesNotFit) {
  auto hive = Parse(SystemRegText()
                        .Key("Software\\Test")
                        .Hex("Five", {1, 2, 3, 4, 5})
                        .Hex("Two", {0x07, 0x00})
                        .String("Digit", "3")
                        .Hex("Long", std::vector<std::uint8_t>(40, 0xAB))
                        .Line("\"Expand\"=str(2):\"%SystemRoot%\\\\x\"")
                        .Line("\"Wide\"=hex(1):41,00,e9,00,00,00")
                        .Line("@=\"default\"")
                        .Text());
  RegistryKey key;
  ASSERT_EQ(RegistryKey::OpenInHive(hive, "Software\\Test", &key), kRegistryOk);
  std::uint32_t value = 0;
  EXPECT_EQ(QueryDword(key, "Five", &value), kRegistryMoreData);
  EXPECT_EQ(value, 0u) << "nothing is copied when the value does not fit";
  EXPECT_EQ(QueryDword(key, "Two", &value), kRegistryOk);
  EXPECT_EQ(value, 7u);
  // The type is not looked at: a string "3" reads as its narrow bytes '3' and the zero.
  EXPECT_EQ(QueryDword(key, "Digit", &value), kRegistryOk);
  EXPECT_EQ(value, 0x33u);

  std::uint8_t buffer[64] = {};
  std::uint32_t size = sizeof buffer;
  std::uint32_t type = 0;
  ASSERT_EQ(key.QueryValue("Long", &type, buffer, &size), kRegistryOk);
  EXPECT_EQ(size, 40u) << "data continued over indented lines is joined";
  EXPECT_EQ(buffer[39], 0xAB);
  EXPECT_EQ(type, kRegBinary);

  size = sizeof buffer;
  ASSERT_EQ(key.QueryValue("Expand", &type, buffer, &size), kRegistryOk);
  EXPECT_EQ(type, kRegExpandString);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "%SystemRoot%\\x");

  size = sizeof buffer;
  ASSERT_EQ(key.QueryValue("Wide", &type, buffer, &size), kRegistryOk);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "A\xC3\xA9");

  size = sizeof buffer;
  ASSERT_EQ(key.QueryValue("", &type, buffer, &size), kRegistryOk);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "default");

  // Asking for the size alone.
  size = 0;
  EXPECT_EQ(key.QueryValue("Long", nullptr, nullptr, &size), kRegistryOk);
  EXPECT_EQ(size, 40u);
}

TEST(WineRegistryTest, SubkeyNamesMustFitTheNameBuffer) {
  const std::string fits(383, 'a');
  const std::string too_long(384, 'b');
  auto hive = Parse(SystemRegText()
                        .Key("Software\\Test\\" + fits)
                        .Key("Software\\Test\\" + too_long)
                        .Key("Software\\Test\\short")
                        .Text());
  RegistryKey key;
  ASSERT_EQ(RegistryKey::OpenInHive(hive, "Software\\Test", &key), kRegistryOk);
  std::string name;
  EXPECT_EQ(key.EnumSubKey(0, 384, &name), kRegistryOk);
  EXPECT_EQ(name, fits);
  EXPECT_EQ(key.EnumSubKey(1, 384, &name), kRegistryMoreData);
  EXPECT_EQ(key.EnumSubKey(2, 384, &name), kRegistryOk);
  EXPECT_EQ(name, "short");
  EXPECT_EQ(key.EnumSubKey(3, 384, &name), kRegistryNoMoreItems);
}

TEST(WineRegistryTest, EscapesInNamesAreRead) {
  auto hive = Parse(
      "WINE REGISTRY Version 2\r\n"
      "[Software\\\\Odd \\\"Name\\\" \\[x\\]\\\\caf\\x00e9] 1\r\n"
      "\"tab\\there\"=dword:0000000a\r\n");
  RegistryKey key;
  ASSERT_EQ(RegistryKey::OpenInHive(hive, "software\\Odd \"Name\" [x]\\CAF\xC3\xA9", &key),
            kRegistryOk);
  std::uint32_t value = 0;
  EXPECT_EQ(QueryDword(key, "TAB\there", &value), kRegistryOk);
  EXPECT_EQ(value, 10u);
}

TEST(WineRegistryTest, MalformedLinesArePassedOverAndTheRestIsRead) {
  auto hive = Parse(
      "WINE REGISTRY Version 2\n"
      "\"Orphan\"=dword:00000001\n"  // before any key: belongs nowhere
      "[Software\\\\Test] 1\n"
      "\"Bad1\"=dword:xyz\n"
      "\"Bad2\"=dword:123456789\n"
      "\"Bad3\"=hex:zz\n"
      "\"Bad4\"=\"unterminated\n"
      "\"Bad5\"dword:00000001\n"
      "\"Bad6\"=str(2:\"x\"\n"
      "\"Bad7\"=hex(:00\n"
      "garbage line\n"
      "[Software\\\\Unterminated\n"
      "\"Lost\"=dword:00000001\n"
      "[Software\\\\Test] 2\n"
      "\"Good\"=dword:00000005\n");
  RegistryKey key;
  ASSERT_EQ(RegistryKey::OpenInHive(hive, "Software\\Test", &key), kRegistryOk);
  std::uint32_t value = 0;
  for (const char* bad : {"Bad1", "Bad2", "Bad3", "Bad4", "Bad5", "Bad6", "Bad7", "Lost"}) {
    EXPECT_EQ(QueryDword(key, bad, &value), kRegistryNotFound) << bad;
  }
  EXPECT_EQ(QueryDword(key, "Good", &value), kRegistryOk);
  EXPECT_EQ(value, 5u);
  RegistryKey root;
  ASSERT_EQ(RegistryKey::OpenInHive(hive, "", &root), kRegistryOk);
  EXPECT_EQ(QueryDword(root, "Orphan", &value), kRegistryNotFound);

  // Without the header the text is not a registry.
  auto not_registry = Parse("[Software\\\\Test]\n\"Good\"=dword:00000005\n");
  EXPECT_FALSE(not_registry->valid);
  EXPECT_EQ(RegistryKey::OpenInHive(not_registry, "Software\\Test", &key), kRegistryNotFound);
  EXPECT_FALSE(ParseRegistryText("").valid);
}

TEST(WineRegistryTest, TheHiveIsReadFromTheWinePrefixAndNeverWritten) {
  test::TempDir prefix_dir;
  test::FakeWinePrefix prefix(prefix_dir.path());
  ASSERT_TRUE(prefix.WriteSystemReg(SystemRegText().Key("Software\\Test").Dword("Port", 9).Text()));
  const std::string before = test::TreeFingerprint(prefix_dir.path());
  RegistryKey key;
  std::uint32_t value = 0;
  {
    test::ScopedEnv env("WINEPREFIX", prefix_dir.path().c_str());
    ASSERT_EQ(RegistryKey::OpenLocalMachine("Software\\Test", RegistryView::kNative, &key), kRegistryOk);
    EXPECT_EQ(QueryDword(key, "Port", &value), kRegistryOk);
    EXPECT_EQ(value, 9u);
  }
  {
    test::TempDir home;
    std::filesystem::create_symlink(prefix_dir.path(), home.path() + "/.wine");
    test::ScopedEnv no_prefix("WINEPREFIX", nullptr);
    test::ScopedEnv env("HOME", home.path().c_str());
    EXPECT_EQ(WinePrefix(), home.path() + "/.wine");
    EXPECT_EQ(RegistryKey::OpenLocalMachine("Software\\Test", RegistryView::kNative, &key), kRegistryOk);
  }
  {
    test::ScopedEnv no_prefix("WINEPREFIX", nullptr);
    test::ScopedEnv no_home("HOME", nullptr);
    EXPECT_EQ(WinePrefix(), "");
    EXPECT_EQ(RegistryKey::OpenLocalMachine("Software\\Test", RegistryView::kNative, &key), kRegistryNotFound);
  }
  EXPECT_EQ(test::TreeFingerprint(prefix_dir.path()), before);
}

TEST(WineRegistryTest, ASystemRegThatIsNotAFileIsNoRegistry) {
  test::TempDir prefix_dir;
  test::ScopedEnv env("WINEPREFIX", prefix_dir.path().c_str());
  RegistryKey key;
  EXPECT_EQ(RegistryKey::OpenLocalMachine("Software", RegistryView::kNative, &key), kRegistryNotFound);
  std::filesystem::create_directory(prefix_dir.path() + "/system.reg");
  EXPECT_EQ(RegistryKey::OpenLocalMachine("Software", RegistryView::kNative, &key), kRegistryNotFound);
  std::filesystem::remove(prefix_dir.path() + "/system.reg");
  // A FIFO must not block the read.
  ASSERT_EQ(::mkfifo((prefix_dir.path() + "/system.reg").c_str(), 0600), 0);
  EXPECT_EQ(RegistryKey::OpenLocalMachine("Software", RegistryView::kNative, &key), kRegistryNotFound);
}

// A 64-bit prefix keeps the 32-bit view of SOFTWARE below Wow6432Node; a 32-bit prefix has
// one view. Each view is looked up by itself, with no fallback to the other.
TEST(WineRegistryTest, EachViewIsItsOwnKeyInA64BitPrefix) {
  test::TempDir prefix_dir;
  test::FakeWinePrefix prefix(prefix_dir.path());
  test::ScopedEnv env("WINEPREFIX", prefix_dir.path().c_str());
  RegistryKey key;
  std::uint32_t value = 0;
  ASSERT_TRUE(prefix.WriteSystemReg(SystemRegText(true)
                                        .Key("Software\\Wow6432Node\\Test")
                                        .Dword("Port", 3)
                                        .Key("Software\\Native")
                                        .Dword("Port", 7)
                                        .Text()));
  ASSERT_EQ(RegistryKey::OpenLocalMachine("SOFTWARE\\Test", RegistryView::k32Bit, &key),
            kRegistryOk);
  EXPECT_EQ(QueryDword(key, "Port", &value), kRegistryOk);
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(RegistryKey::OpenLocalMachine("SOFTWARE\\Test", RegistryView::kNative, &key),
            kRegistryNotFound);
  EXPECT_EQ(RegistryKey::OpenLocalMachine("SOFTWARE\\Native", RegistryView::k32Bit, &key),
            kRegistryNotFound);
  ASSERT_EQ(RegistryKey::OpenLocalMachine("SOFTWARE\\Native", RegistryView::kNative, &key),
            kRegistryOk);
  EXPECT_EQ(QueryDword(key, "Port", &value), kRegistryOk);
  EXPECT_EQ(value, 7u);
  // Keys outside SOFTWARE are the same in both views.
  ASSERT_TRUE(prefix.WriteSystemReg(
      SystemRegText(true).Key("System\\Other").Dword("Port", 4).Text()));
  EXPECT_EQ(RegistryKey::OpenLocalMachine("System\\Other", RegistryView::k32Bit, &key),
            kRegistryOk);

  // A 32-bit prefix: the plain key in either view.
  ASSERT_TRUE(prefix.WriteSystemReg(
      SystemRegText().Key("Software\\Test").Dword("Port", 5).Text()));
  for (const RegistryView view : {RegistryView::k32Bit, RegistryView::kNative}) {
    ASSERT_EQ(RegistryKey::OpenLocalMachine("Software\\Test", view, &key), kRegistryOk);
    EXPECT_EQ(QueryDword(key, "Port", &value), kRegistryOk);
    EXPECT_EQ(value, 5u);
  }
}

}  // namespace
}  // namespace flashwright::platform
