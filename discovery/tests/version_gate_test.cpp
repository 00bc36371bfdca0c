// The reader version gate and its constraint strings.
#include <gtest/gtest.h>

#include "discovery/find_reader.h"
#include "discovery/version_gate.h"

namespace flashwright {
namespace {

constexpr std::uint32_t Version(unsigned major, unsigned minor, unsigned build,
                                unsigned family = 0x0A) {
  return family << 24 | major << 16 | minor << 8 | build;
}

bool Match(std::uint32_t version, const char* constraint) {
  return CFindReader::MatchVersionConstraint(version, constraint);
}

TEST(VersionConstraintTest, GreaterCountsMissingComponentsAs255) {
  EXPECT_TRUE(Match(Version(3, 0, 0), "G2"));
  EXPECT_FALSE(Match(Version(2, 255, 255), "G2"));
  EXPECT_TRUE(Match(Version(2, 2, 0), "G2.1"));
  EXPECT_FALSE(Match(Version(2, 1, 255), "G2.1"));
  EXPECT_TRUE(Match(Version(2, 1, 6), "G2.1.5"));
  EXPECT_FALSE(Match(Version(2, 1, 5), "G2.1.5"));
  EXPECT_FALSE(Match(Version(255, 255, 255), "G")) << "G alone is 255.255.255";
}

TEST(VersionConstraintTest, LessCountsMissingComponentsAs0) {
  EXPECT_TRUE(Match(Version(2, 0, 255), "L2.1"));
  EXPECT_FALSE(Match(Version(2, 1, 0), "L2.1"));
  EXPECT_TRUE(Match(Version(1, 255, 255), "L2"));
  EXPECT_FALSE(Match(Version(2, 0, 0), "L2"));
  EXPECT_FALSE(Match(Version(0, 0, 0), "L")) << "L alone is 0.0.0";
}

TEST(VersionConstraintTest, NoLetterMatchesEqualWithMissingComponentsTakenFromTheVersion) {
  for (unsigned build : {0u, 1u, 128u, 255u}) {
    EXPECT_TRUE(Match(Version(2, 1, build), "2.1")) << build;
  }
  EXPECT_FALSE(Match(Version(2, 2, 0), "2.1"));
  EXPECT_FALSE(Match(Version(3, 1, 0), "2.1"));
  EXPECT_TRUE(Match(Version(4, 9, 9), "4"));
  EXPECT_TRUE(Match(Version(4, 241, 8), "4.241.8"));
  EXPECT_FALSE(Match(Version(4, 241, 9), "4.241.8"));
  EXPECT_TRUE(Match(Version(7, 7, 7), "")) << "an empty constraint is the version itself";
  // Only the low 24 bits take part.
  EXPECT_TRUE(Match(Version(2, 1, 0, 0x0B), "2.1.0"));
}

TEST(VersionConstraintTest, ComponentsAreReadLikeATokenizerAndStringToInteger) {
  EXPECT_TRUE(Match(Version(2, 1, 3), "2..1...3"));  // runs of separators are one
  EXPECT_TRUE(Match(Version(2, 1, 3), ".2.1.3"));    // leading separators are skipped
  EXPECT_TRUE(Match(Version(2, 1, 3), "2.1.3.9"));   // a fourth component is not read
  EXPECT_TRUE(Match(Version(2, 1, 0), "2a.1b.x"));   // digits up to the first other character
  EXPECT_TRUE(Match(Version(1, 0, 0), "257"));       // components keep their low 8 bits
  EXPECT_TRUE(Match(Version(255, 0, 0), "-1"));
  // A component too long for an int is held at the int's limit rather than overflowing.
  EXPECT_TRUE(Match(Version(255, 0, 0), "99999999999999999999"));
  EXPECT_TRUE(Match(Version(0, 0, 0), "-99999999999999999999"));
  EXPECT_FALSE(Match(Version(2, 0, 0), "g2")) << "letters are upper case";
}

TEST(VersionGateTest, FamilyOtherThan0AIsTooOld) {
  const std::vector<std::string> none;
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(4, 241, 8, 0x0B), none, none), -1);
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(4, 241, 8, 0x00), none, none), -1);
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(4, 241, 8), none, none), 0);
  // Even a too-new constraint that matches does not turn a foreign family into "too new".
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(4, 241, 8, 0x0B), none, {"4"}), -1);
}

TEST(VersionGateTest, DefaultListsRefuseReadersBelow2_1) {
  const VersionLimits limits;
  ASSERT_EQ(limits.too_old, std::vector<std::string>{"L2.1"});
  EXPECT_TRUE(limits.too_new.empty());
  auto gate = [&](std::uint32_t v) {
    return CFindReader::CheckReaderVersion(v, limits.too_old, limits.too_new);
  };
  EXPECT_EQ(gate(Version(2, 0, 255)), -1);
  EXPECT_EQ(gate(Version(2, 1, 0)), 0);
  EXPECT_EQ(gate(Version(9, 9, 9)), 0);
}

TEST(VersionGateTest, TooOldIsDecidedBeforeTooNewAndBothListsAreWalked) {
  // A version that matches constraints in both lists is too old.
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(3, 0, 0), {"L2.1", "3"}, {"G2"}), -1);
  // Any entry of a list can match, not only the last one walked first.
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(1, 0, 0), {"L2.1", "5"}, {}), -1);
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(5, 0, 0), {"L2.1", "6"}, {"G4", "1.2"}), 1);
  EXPECT_EQ(CFindReader::CheckReaderVersion(Version(4, 0, 0), {"L2.1"}, {"G4", "1.2"}), 0);
}

}  // namespace
}  // namespace flashwright
