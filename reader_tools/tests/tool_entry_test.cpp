// The entry rules of the settings tools and the status line texts.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "reader_link/tag_technology.h"
#include "reader_tools/power_level.h"
#include "reader_tools/security_method.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/tool_status_text.h"
#include "reader_tools/transmit_mode.h"

namespace flashwright {
namespace {

TEST(HexEntry, AcceptsOneOrTwoHexDigitsOfEitherCase) {
  EXPECT_EQ(ParseHexEntry("da"), 0xDA);
  EXPECT_EQ(ParseHexEntry("DA"), 0xDA);
  EXPECT_EQ(ParseHexEntry("7"), 0x07);
  EXPECT_EQ(ParseHexEntry("00"), 0x00);
  EXPECT_EQ(ParseHexEntry("fF"), 0xFF);
  for (const char* refused : {"", "G1", "1 ", " 1", "-1", "+1", "0x", "x1", "123", "\t"}) {
    EXPECT_FALSE(ParseHexEntry(refused)) << '"' << refused << '"';
  }
}

TEST(SecurityEntry, MethodFromPositionAndTheEasAndNoneRules) {
  auto afi = ParseSecurityEntry(0, "0a");
  ASSERT_TRUE(afi);
  EXPECT_EQ(afi->method, kSecurityAfi);
  EXPECT_EQ(afi->value, 0x0A);

  auto eas = ParseSecurityEntry(1, "01");
  ASSERT_TRUE(eas);
  EXPECT_EQ(eas->method, kSecurityEas);
  EXPECT_EQ(eas->value, 1);
  EXPECT_TRUE(ParseSecurityEntry(1, "0"));
  EXPECT_FALSE(ParseSecurityEntry(1, "2"));
  EXPECT_FALSE(ParseSecurityEntry(1, "FF"));

  auto dsfid = ParseSecurityEntry(2, "00");
  ASSERT_TRUE(dsfid);
  EXPECT_EQ(dsfid->method, kSecurityDsfid);

  // None ignores the value text entirely.
  for (const char* text : {"", "zz", "55"}) {
    auto none = ParseSecurityEntry(3, text);
    ASSERT_TRUE(none) << text;
    EXPECT_EQ(none->method, kSecurityNone);
    EXPECT_EQ(none->value, 0);
  }
  EXPECT_FALSE(ParseSecurityEntry(0, ""));
  EXPECT_EQ(ParseSecurityEntry(-1, "12")->method, kSecurityAfi);
}

// The names the dialogs list are the names the command line accepts, in any letter case, and
// each one leads back to the setting it names.
TEST(SettingNames, EachNameAndKeywordLeadsBackToItsSetting) {
  for (int position = 0; position < 4; ++position) {
    const std::uint8_t method = SecurityMethodAtPosition(position);
    const std::string name = SecurityMethodName(method);
    EXPECT_EQ(SecurityMethodPositionOfName(name), position) << name;
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(SecurityMethodPositionOfName(lower), position) << lower;
  }
  EXPECT_EQ(SecurityMethodAtPosition(4), kSecurityAfi);
  EXPECT_FALSE(SecurityMethodPositionOfName("AF"));
  EXPECT_FALSE(SecurityMethodPositionOfName("AFI "));

  EXPECT_EQ(TransmitModeFromKeyword("4"), 0);
  EXPECT_EQ(TransmitModeFromKeyword("256"), 1);
  EXPECT_FALSE(TransmitModeFromKeyword("1 out of 4"));
  EXPECT_FALSE(TransmitModeFromKeyword("2"));
  EXPECT_STREQ(TransmitModeName(1), "1 out of 256");
  EXPECT_STREQ(TransmitModeName(2), "(unknown)");

  EXPECT_EQ(PowerLevelFromKeyword("100MW"), kPower100mW);
  EXPECT_EQ(PowerLevelFromKeyword("1w"), kPower1W);
  EXPECT_EQ(PowerLevelFromKeyword("400mW"), kPower400mW);
  EXPECT_FALSE(PowerLevelFromKeyword("100 mW"));
  EXPECT_FALSE(PowerLevelFromKeyword("2W"));
  for (int position = 0; position < 4; ++position) {
    EXPECT_EQ(PowerLevelFromKeyword(kPowerLevels[static_cast<std::size_t>(position)].keyword),
              PowerLevelAtPosition(position));
  }
  EXPECT_FALSE(PowerLevelAtPosition(4));
  EXPECT_FALSE(PowerLevelAtPosition(-1));

  EXPECT_EQ(TagTechnologyFromKeyword("all"), kTechTagIt | kTechIso);
  EXPECT_EQ(TagTechnologyFromKeyword("Iso"), kTechIso);
  EXPECT_EQ(TagTechnologyFromKeyword("TI"), kTechTagIt);
  EXPECT_EQ(TagTechnologyFromKeyword("none"), kTechNone);
  EXPECT_FALSE(TagTechnologyFromKeyword("tagit"));
  EXPECT_FALSE(TagTechnologyFromKeyword(""));
}

TEST(ToolStatusText, ErrorCodesSentencesAndCommandNotSupported) {
  EXPECT_EQ(ToolStatusText(0), "");
  EXPECT_EQ(ToolStatusText(-5), "(Reader Error -5)");
  EXPECT_EQ(ToolStatusText(2), "(Reader Error 2) Command Not Supported");
  EXPECT_EQ(ToolStatusText(49), "(Reader Error 49)");
  EXPECT_EQ(ToolStatusText(49, "Reader does not support the selected level."),
            "Reader does not support the selected level.");
  EXPECT_EQ(ToolStatusText(2, "Reader does not support the selected level."),
            "(Reader Error 2) Command Not Supported");
}

}  // namespace
}  // namespace flashwright
