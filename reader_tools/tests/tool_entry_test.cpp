// The entry rules of the settings tools and the status line texts.
#include <gtest/gtest.h>

#include "reader_tools/security_method.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/tool_status_text.h"

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
