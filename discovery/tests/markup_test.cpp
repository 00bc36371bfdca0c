#include "discovery/markup.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace flashwright {
namespace {

// The texts of every element named `name` below the root, in document order.
std::vector<std::string> ChildTexts(CMarkup& markup, const char* name) {
  std::vector<std::string> texts;
  if (!markup.FindElement() || !markup.EnterElement()) return texts;
  while (markup.FindElement(name)) texts.push_back(markup.GetElementData());
  return texts;
}

TEST(MarkupTest, EmptyOrNullDocumentIsNotWellFormed) {
  CMarkup markup;
  EXPECT_FALSE(markup.SetDocument(nullptr));
  EXPECT_FALSE(markup.SetDocument(""));
  EXPECT_FALSE(markup.SetDocument("   \r\n\t"));
  EXPECT_EQ(markup.GetError(), "Element tag not found");
  EXPECT_FALSE(markup.FindElement());
}

TEST(MarkupTest, PrologNodesBeforeRootAreSkipped) {
  CMarkup markup;
  const char* document =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<!-- firmware list <not an element> -->\r\n"
      "<!DOCTYPE Package [\r\n"
      "  <!ELEMENT Package (FirmwareFile*)>\r\n"
      "  <!ENTITY vendor \"a ] > b\">\r\n"
      "]>\r\n"
      "<Package><FirmwareFile>one</FirmwareFile></Package>";
  ASSERT_TRUE(markup.SetDocument(document)) << markup.GetError();
  EXPECT_EQ(ChildTexts(markup, "FirmwareFile"), std::vector<std::string>{"one"});
}

TEST(MarkupTest, PackageChildrenInOrderWithWhiteSpaceKept) {
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument(
      "<Package>\n"
      "  <FirmwareFile> first </FirmwareFile>\n"
      "  <!-- between -->\n"
      "  <Note>ignored</Note>\n"
      "  <FirmwareFile>second</FirmwareFile>\n"
      "  <FirmwareFiles>not this one</FirmwareFiles>\n"
      "  <FirmwareFile>\tthird\n</FirmwareFile>\n"
      "</Package>"));
  EXPECT_EQ(ChildTexts(markup, "FirmwareFile"),
            (std::vector<std::string>{" first ", "second", "\tthird\n"}));
  // Without a name every child is visited.
  ASSERT_TRUE(markup.SetDocument("<r><a/><b>x</b><c></c></r>"));
  ASSERT_TRUE(markup.FindElement());
  ASSERT_TRUE(markup.EnterElement());
  int children = 0;
  while (markup.FindElement()) ++children;
  EXPECT_EQ(children, 3);
}

TEST(MarkupTest, NameMatchDoesNotTakeLongerOrShorterNames) {
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument(
      "<r><FirmwareFiles>a</FirmwareFiles><FirmwareFil>b</FirmwareFil></r>"));
  EXPECT_TRUE(ChildTexts(markup, "FirmwareFile").empty());
  ASSERT_TRUE(markup.SetDocument("<r><FirmwareFile attr='1'>c</FirmwareFile></r>"));
  EXPECT_EQ(ChildTexts(markup, "FirmwareFile"), std::vector<std::string>{"c"});
  // The name matches case-sensitively.
  ASSERT_TRUE(markup.SetDocument("<r><firmwarefile>d</firmwarefile></r>"));
  EXPECT_TRUE(ChildTexts(markup, "FirmwareFile").empty());
}

TEST(MarkupTest, FindFailureLeavesTheWalkAlone) {
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument("<r><a>1</a><b>2</b></r>"));
  ASSERT_TRUE(markup.FindElement("r"));
  ASSERT_TRUE(markup.EnterElement());
  ASSERT_TRUE(markup.FindElement("b"));
  EXPECT_FALSE(markup.FindElement("a"));  // a lies before b
  EXPECT_EQ(markup.GetElementData(), "2");
  EXPECT_EQ(markup.GetNodeType(), 1);
}

TEST(MarkupTest, OnlyTheFiveNamedReferencesAreDecoded) {
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument(
      "<r><e>a&amp;b&#65;</e><f>&lt;&gt;&apos;&quot;&amp;amp;&LT;&</f><g>x&am</g></r>"));
  ASSERT_TRUE(markup.FindElement());
  ASSERT_TRUE(markup.EnterElement());
  ASSERT_TRUE(markup.FindElement("e"));
  EXPECT_EQ(markup.GetElementData(), "a&b&#65;");
  ASSERT_TRUE(markup.FindElement("f"));
  EXPECT_EQ(markup.GetElementData(), "<>'\"&amp;&LT;&");
  ASSERT_TRUE(markup.FindElement("g"));
  EXPECT_EQ(markup.GetElementData(), "x&am");  // a reference cut off by the end tag stays
}

TEST(MarkupTest, CdataSectionIsReturnedUndecoded) {
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument(
      "<r><e><![CDATA[x<y]]></e><f>  <![CDATA[a&amp;</f>]]></f></r>"));
  ASSERT_TRUE(markup.FindElement());
  ASSERT_TRUE(markup.EnterElement());
  ASSERT_TRUE(markup.FindElement("e"));
  EXPECT_EQ(markup.GetElementData(), "x<y");
  ASSERT_TRUE(markup.FindElement("f"));
  EXPECT_EQ(markup.GetElementData(), "a&amp;</f>");
}

TEST(MarkupTest, ElementsWithChildrenOrEmptyHaveNoData) {
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument("<r>text<a/>more</r>"));
  ASSERT_TRUE(markup.FindElement());
  EXPECT_EQ(markup.GetElementData(), "");
  ASSERT_TRUE(markup.EnterElement());
  ASSERT_TRUE(markup.FindElement("a"));
  EXPECT_EQ(markup.GetElementData(), "");
  EXPECT_FALSE(markup.EnterElement() && markup.FindElement());
}

TEST(MarkupTest, ParseErrorsCarryTheirTexts) {
  struct Case {
    const char* document;
    const char* error;
  };
  const Case cases[] = {
      {"plain text", "Element tag not found"},
      {"<", "Abrupt end within tag"},
      {"<\"r\">", "Tag starts with quote"},
      {"<!", "Invalid node"},
      {"<?xml version='1.0'", "Invalid node"},
      {"<!DOCTYPE r [ <!ELEMENT r ANY>", "Invalid node"},
      {"< ?x?><r/>", "Invalid node"},
      {"<r", "End of tag not found"},
      {"<r>", "Element tag not found"},
      {"<r><b></c></r>", "End tag does not correspond to b"},
      {"<r></r", "End tag not completed for element r"},
      {"<r></>", "End tag not completed for element r"},
      {"<a><b></b>", "Element tag not found"},
  };
  for (const Case& c : cases) {
    CMarkup markup;
    EXPECT_FALSE(markup.SetDocument(c.document)) << c.document;
    EXPECT_EQ(markup.GetError(), c.error) << c.document;
    EXPECT_FALSE(markup.FindElement()) << c.document;
  }
}

TEST(MarkupTest, RootFollowedByGarbageIsWellFormed) {
  CMarkup markup;
  EXPECT_TRUE(markup.SetDocument("<r><a>1</a></r> trailing <junk & stuff"));
  EXPECT_TRUE(markup.GetError().empty());
  EXPECT_EQ(ChildTexts(markup, "a"), std::vector<std::string>{"1"});
}

TEST(MarkupTest, ReparseReplacesTheOldDocument) {
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument("<r><a>old</a></r>"));
  ASSERT_TRUE(markup.FindElement());
  EXPECT_FALSE(markup.SetDocument("<r><a>"));
  EXPECT_FALSE(markup.FindElement());
  ASSERT_TRUE(markup.SetDocument("<s><a>new</a></s>"));
  EXPECT_EQ(ChildTexts(markup, "a"), std::vector<std::string>{"new"});
}

TEST(MarkupTest, ManyAndDeeplyNestedElements) {
  // Far more elements than the position table starts with, and nesting deeper than a
  // recursive parser's stack would take.
  std::string wide = "<r>";
  for (int i = 0; i < 5000; ++i) wide += "<FirmwareFile>f" + std::to_string(i) + "</FirmwareFile>";
  wide += "</r>";
  CMarkup markup;
  ASSERT_TRUE(markup.SetDocument(wide.c_str()));
  const std::vector<std::string> texts = ChildTexts(markup, "FirmwareFile");
  ASSERT_EQ(texts.size(), 5000u);
  EXPECT_EQ(texts.back(), "f4999");

  constexpr int kDepth = 200000;
  std::string deep;
  for (int i = 0; i < kDepth; ++i) deep += "<a>";
  deep += "x";
  for (int i = 0; i < kDepth; ++i) deep += "</a>";
  ASSERT_TRUE(markup.SetDocument(deep.c_str()));
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_TRUE(markup.FindElement("a"));
    if (i + 1 < kDepth) {
      ASSERT_TRUE(markup.EnterElement());
    }
  }
  EXPECT_EQ(markup.GetElementData(), "x");
  deep.resize(deep.size() - 4);  // the root's end tag is missing
  EXPECT_FALSE(markup.SetDocument(deep.c_str()));
  EXPECT_EQ(markup.GetError(), "Element tag not found");
}

TEST(MarkupTest, MultiByteCharactersStepAsOne) {
  CMarkup markup;
  // Names and text in UTF-8; a stray lead byte right before markup does not hide it.
  ASSERT_TRUE(markup.SetDocument("<r><Datei>\xC3\xA4nderung \xE2\x82\xAC</Datei>"
                                 "<b>\xE2</b><\xC3\xA9l>v</\xC3\xA9l></r>"));
  ASSERT_TRUE(markup.FindElement());
  ASSERT_TRUE(markup.EnterElement());
  ASSERT_TRUE(markup.FindElement("Datei"));
  EXPECT_EQ(markup.GetElementData(), "\xC3\xA4nderung \xE2\x82\xAC");
  ASSERT_TRUE(markup.FindElement("b"));
  EXPECT_EQ(markup.GetElementData(), "\xE2");
  ASSERT_TRUE(markup.FindElement("\xC3\xA9l"));
  EXPECT_EQ(markup.GetElementData(), "v");
}

}  // namespace
}  // namespace flashwright
