// The port number in the friendly name of the reader's serial port.
#include <gtest/gtest.h>

#include "readerprobe/detect_reader.h"

namespace flashwright::probe {
namespace {

TEST(ParsePortNumberTest, ReadsTheDigitsBetweenComAndTheClosingBracket) {
  EXPECT_EQ(ParsePortNumber("USB Serial Port (COM5)"), 5);
  EXPECT_EQ(ParsePortNumber("RFID Reader (COM12)"), 12);
  EXPECT_EQ(ParsePortNumber("(COM99999)"), 99999);
  // Whatever the four characters after "(" are, they are passed over.
  EXPECT_EQ(ParsePortNumber("Port (XYZ7)"), 7);
  // The runtime's conversion: blanks and a sign, then digits up to the first other character.
  EXPECT_EQ(ParsePortNumber("Port (COM 8)"), 8);
  EXPECT_EQ(ParsePortNumber("Port (COM-3)"), -3);
  EXPECT_EQ(ParsePortNumber("Port (COM4a)"), 4);
  EXPECT_EQ(ParsePortNumber("Port (COMab)"), 0);
}

TEST(ParsePortNumberTest, NamesWithoutANumberGive0) {
  EXPECT_EQ(ParsePortNumber(""), 0);
  EXPECT_EQ(ParsePortNumber("USB Serial Port"), 0);
  EXPECT_EQ(ParsePortNumber("USB Serial Port (COM5"), 0);
  EXPECT_EQ(ParsePortNumber("USB Serial Port COM5)"), 0);
  EXPECT_EQ(ParsePortNumber("Port (COM)"), 0);
  EXPECT_EQ(ParsePortNumber("Port (COM123456)"), 0) << "more than five characters";
  // A ")" before or inside "(COM" leaves no characters at all; it must not be read as a
  // span running backwards.
  EXPECT_EQ(ParsePortNumber("Port ) (COM5)"), 0);
  EXPECT_EQ(ParsePortNumber("Port (C)OM5"), 0);
  EXPECT_EQ(ParsePortNumber("Port ()"), 0);
  EXPECT_EQ(ParsePortNumber("("), 0);
  EXPECT_EQ(ParsePortNumber(")("), 0);
}

}  // namespace
}  // namespace flashwright::probe
