// The sibling product's configuration: its XML files, then its registry key, read from a
// fake Wine prefix.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "discovery/find_reader.h"
#include "platform/registry.h"
#include "platform/xml_dom.h"
#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using test::RavelinXml;
using test::SystemRegText;

constexpr const char* kFirstXml = "Halvern/Common/Ravelin/1.00.xml";
constexpr const char* kSecondXml = "Orvane Folio Systems/Common/Ravelin/1.00.xml";
constexpr const char* kRavelinKey = "Software\\Orvane\\Folio Systems\\Common\\Ravelin";

// Looks `name` up in the "//value" elements of `xml`.
bool Lookup(const std::string& xml, const char* name, std::uint32_t* value) {
  test::TempDir dir;
  const std::string path = dir.Join("config.xml");
  EXPECT_TRUE(test::WriteFile(path, xml));
  std::vector<platform::XmlElement> values;
  EXPECT_EQ(platform::SelectXmlElements(path, "value", &values), 0);
  return CFindReader::FindXmlValue(values, name, value);
}

TEST(FindXmlValueTest, TakesTheFirstElementWhoseDwConverts) {
  std::uint32_t value = 99;
  EXPECT_TRUE(Lookup(RavelinXml({{"Port", "3"}, {"Port", "4"}}), "Port", &value));
  EXPECT_EQ(value, 3u);
  // Names compare with regard to case.
  value = 99;
  EXPECT_FALSE(Lookup(RavelinXml({{"port", "3"}, {"PORT", "4"}}), "Port", &value));
  EXPECT_EQ(value, 99u) << "the output is left alone when nothing is found";
  // Elements that lie about their attributes are passed over, and the search goes on.
  const std::string lying =
      "<c><value name='Port'/><value dw='1'/><value/><value name='Port' dw='abc'/>"
      "<value name='Port' dw='-1'/><value name='Port' dw='4294967296'/><value name='Port' dw=''/>"
      "<value name='Port' dw='3x'/><other name='Port' dw='8'/>"
      "<deep><value name='Port' dw=' 12 '/></deep></c>";
  EXPECT_TRUE(Lookup(lying, "Port", &value));
  EXPECT_EQ(value, 12u);
}

TEST(FindXmlValueTest, DwConvertsAsATypedNumber) {
  struct Case {
    const char* dw;
    bool converts;
    std::uint32_t value;
  } cases[] = {
      {"0", true, 0},          {"4294967295", true, 4294967295u}, {"+7", true, 7},
      {"\t7\r\n", true, 7},    {"3.4", true, 3},                  {"3.5", true, 4},
      {"2.5", true, 2},        {"2.51", true, 3},                 {".6", true, 1},
      {"5.", true, 5},         {"0x10", false, 0},                {"1 2", false, 0},
      {"-0", false, 0},        {".", false, 0},                   {"4294967295.5", false, 0},
      {"99999999999999999999", false, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t value = 12345;
    EXPECT_EQ(Lookup(RavelinXml({{"Port", c.dw}}), "Port", &value), c.converts) << c.dw;
    if (c.converts) {
      EXPECT_EQ(value, c.value) << c.dw;
    }
  }
}

class ConfigurationTest : public ::testing::Test {
 protected:
  ConfigurationTest() : prefix_(prefix_dir_.path()), env_("WINEPREFIX", prefix_dir_.path().c_str()) {}

  void TearDown() override {
    // Reading the configuration never changes the prefix.
    if (!fingerprint_.empty()) {
      EXPECT_EQ(test::TreeFingerprint(prefix_dir_.path()), fingerprint_);
    }
  }
  void Freeze() { fingerprint_ = test::TreeFingerprint(prefix_dir_.path()); }

  void WriteRegistry(const std::vector<std::pair<std::string, std::uint32_t>>& subkeys) {
    SystemRegText text;
    text.Key("Software\\Wine").Dword("Version", 1);
    for (const auto& [name, port] : subkeys) text.Key(std::string(kRavelinKey) + "\\" + name).Dword("Port", port);
    ASSERT_TRUE(prefix_.WriteSystemReg(text.Text()));
  }

  test::TempDir prefix_dir_;
  test::FakeWinePrefix prefix_;
  test::ScopedEnv env_;
  std::string fingerprint_;
};

TEST_F(ConfigurationTest, FirstXmlFileWithASerialReaderGivesItsPort) {
  ASSERT_TRUE(prefix_.WriteProgramDataFile(
      "halvern/COMMON/ravelin/1.00.XML",
      RavelinXml({{"ReaderType", "2"}, {"Port", "5"}, {"ConnectMethod", "1"}})));
  ASSERT_TRUE(prefix_.WriteProgramDataFile(
      kSecondXml, RavelinXml({{"ReaderType", "1"}, {"Port", "6"}, {"ConnectMethod", "1"}})));
  WriteRegistry({{"1.00", 7}});
  Freeze();
  int port = -1;
  std::string source;
  EXPECT_TRUE(CFindReader::ReadXmlConfiguration(&port, &source));
  EXPECT_EQ(port, 5);
  EXPECT_EQ(source, "Ravelin Xml");
  source.clear();
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 5);
  EXPECT_EQ(source, "Ravelin Xml");
}

TEST_F(ConfigurationTest, EveryQualifyingReaderTypeCounts) {
  for (const char* type : {"1", "2", "9"}) {
    ASSERT_TRUE(prefix_.WriteProgramDataFile(
        kFirstXml, RavelinXml({{"ReaderType", type}, {"Port", "5"}, {"ConnectMethod", "1"}})));
    int port = 0;
    std::string source;
    EXPECT_TRUE(CFindReader::ReadXmlConfiguration(&port, &source)) << type;
    EXPECT_EQ(port, 5);
  }
  for (const char* type : {"0", "3", "10"}) {
    ASSERT_TRUE(prefix_.WriteProgramDataFile(
        kFirstXml, RavelinXml({{"ReaderType", type}, {"Port", "5"}, {"ConnectMethod", "1"}})));
    int port = -1;
    std::string source;
    EXPECT_FALSE(CFindReader::ReadXmlConfiguration(&port, &source)) << type;
    EXPECT_EQ(port, 0);
    EXPECT_EQ(source, "");
  }
}

TEST_F(ConfigurationTest, ConnectMethod2StopsTheXmlStageAndTheRegistryIsConsulted) {
  ASSERT_TRUE(prefix_.WriteProgramDataFile(
      kFirstXml, RavelinXml({{"ReaderType", "1"}, {"Port", "5"}, {"ConnectMethod", "2"}})));
  // The second file would qualify, but it is not read once the first has a Port.
  ASSERT_TRUE(prefix_.WriteProgramDataFile(
      kSecondXml, RavelinXml({{"ReaderType", "1"}, {"Port", "6"}, {"ConnectMethod", "1"}})));
  WriteRegistry({{"1.00", 3}});
  Freeze();
  int port = -1;
  std::string source;
  EXPECT_FALSE(CFindReader::ReadXmlConfiguration(&port, &source));
  EXPECT_EQ(port, 0);
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 3);
  EXPECT_EQ(source, "Ravelin Reg 1.00");
}

TEST_F(ConfigurationTest, ABrokenFirstFileMovesOnToTheSecond) {
  const std::string second =
      RavelinXml({{"ReaderType", "9"}, {"Port", "8"}, {"ConnectMethod", "1"}});
  ASSERT_TRUE(prefix_.WriteProgramDataFile(kSecondXml, second));
  const std::string first_files[] = {
      "",                                          // empty
      "<Configuration><value name='Port' dw='5'",  // does not parse
      RavelinXml({{"ReaderType", "1"}, {"ConnectMethod", "1"}}),  // no Port
      RavelinXml({{"Port", "five"}, {"ConnectMethod", "1"}}),     // a Port that lies
      "\xff\xfe<\0?\0",                            // not text at all
  };
  for (const std::string& first : first_files) {
    ASSERT_TRUE(prefix_.WriteProgramDataFile(kFirstXml, first));
    int port = 0;
    std::string source;
    EXPECT_TRUE(CFindReader::ReadXmlConfiguration(&port, &source)) << first;
    EXPECT_EQ(port, 8);
    EXPECT_EQ(source, "Ravelin Orvane Xml");
  }
  // Something that is not a file under that name is no file either.
  std::filesystem::remove(prefix_.ProgramData() + "/" + kFirstXml);
  std::filesystem::create_directory(prefix_.ProgramData() + "/" + kFirstXml);
  int port = 0;
  std::string source;
  EXPECT_TRUE(CFindReader::ReadXmlConfiguration(&port, &source));
  EXPECT_EQ(port, 8);
  std::filesystem::remove(prefix_.ProgramData() + "/" + kFirstXml);
  ASSERT_EQ(::mkfifo((prefix_.ProgramData() + "/" + kFirstXml).c_str(), 0600), 0);
  EXPECT_TRUE(CFindReader::ReadXmlConfiguration(&port, &source)) << "a FIFO must not block";
  EXPECT_EQ(port, 8);
}

TEST_F(ConfigurationTest, AQualifyingPort0EndsTheSearchWithoutTheRegistry) {
  ASSERT_TRUE(prefix_.WriteProgramDataFile(
      kFirstXml, RavelinXml({{"ReaderType", "1"}, {"Port", "0"}, {"ConnectMethod", "1"}})));
  WriteRegistry({{"1.00", 3}});
  std::string source;
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 0);
  EXPECT_EQ(source, "Ravelin Xml");
}

TEST_F(ConfigurationTest, RegistrySubkeysAreTriedFromTheGreatestNameDown) {
  WriteRegistry({{"1.00", 3}, {"2.00", 0}});
  Freeze();
  std::string source;
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 3);
  EXPECT_EQ(source, "Ravelin Reg 1.00");
}

TEST_F(ConfigurationTest, RegistryValuesThatDoNotFitOrAreMissingArePassedOver) {
  SystemRegText text;
  text.Key(std::string(kRavelinKey) + "\\1.00").Dword("Port", 4);
  text.Key(std::string(kRavelinKey) + "\\1.50").Hex("Port", {9, 0, 0, 0, 0});  // 5 bytes
  text.Key(std::string(kRavelinKey) + "\\2.00").Dword("Other", 9);
  text.Key(std::string(kRavelinKey) + "\\3.00");
  ASSERT_TRUE(prefix_.WriteSystemReg(text.Text()));
  std::string source;
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 4);
  EXPECT_EQ(source, "Ravelin Reg 1.00");

  // A value shorter than four bytes fills the low bytes.
  text.Key(std::string(kRavelinKey) + "\\4.00").Hex("Port", {6});
  ASSERT_TRUE(prefix_.WriteSystemReg(text.Text()));
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 6);
  EXPECT_EQ(source, "Ravelin Reg 4.00");

  // Any nonzero value ends the visit, even one that is no port.
  text.Key(std::string(kRavelinKey) + "\\5.00").Dword("Port", 0xFFFFFFFF);
  ASSERT_TRUE(prefix_.WriteSystemReg(text.Text()));
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), -1);
  EXPECT_EQ(source, "Ravelin Reg 5.00");
}

TEST_F(ConfigurationTest, NoConfigurationGivesNoPort) {
  std::string source;
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 0);
  EXPECT_EQ(source, "");
  ASSERT_TRUE(prefix_.WriteSystemReg("this is not a registry\n[Software\\\\Orvane]\n"));
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 0);
  WriteRegistry({});
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 0);
  EXPECT_EQ(source, "");
  test::ScopedEnv no_prefix("WINEPREFIX", nullptr);
  test::ScopedEnv no_home("HOME", nullptr);
  std::string folder = "unchanged";
  EXPECT_NE(CFindReader::GetCommonDataFolder(&folder), 0);
  EXPECT_EQ(CFindReader::GetConfiguredPort(&source), 0);
}

TEST(EnumSubKeysSortedTest, SortsWithoutRegardToCaseAndStopsAtANameTooLong) {
  auto hive = std::make_shared<const platform::RegistryHive>(platform::ParseRegistryText(
      SystemRegText()
          .Key("Root\\b")
          .Key("Root\\C")
          .Key("Root\\A")
          .Key("Root\\a1")
          .Key("Root\\" + std::string(384, 'z'))
          .Key("Root\\0")
          .Text()));
  platform::RegistryKey key;
  ASSERT_EQ(platform::RegistryKey::OpenInHive(hive, "Root", &key), 0);
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(CFindReader::EnumSubKeysSorted(key, &names), platform::kRegistryMoreData);
  EXPECT_EQ(names, (std::vector<std::string>{"A", "a1", "b", "C"}));

  ASSERT_EQ(platform::RegistryKey::OpenInHive(hive, "Root\\b", &key), 0);
  EXPECT_EQ(CFindReader::EnumSubKeysSorted(key, &names), platform::kRegistryNoMoreItems);
  EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace flashwright
