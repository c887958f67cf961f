// The command tail split off the program name.
#include <gtest/gtest.h>

#include "app/CommandTail.h"

TEST(CommandTail, QuotedProgramNameRunsToTheClosingQuote) {
  EXPECT_EQ(CommandTail("\"C:\\Program Files\\Morvane\\morvane.exe\" C:\\a b\\startup.mvn"),
            "C:\\a b\\startup.mvn");
  EXPECT_EQ(CommandTail("\"C:\\x.exe\"file.mvn"), "file.mvn");  // no blank needed after it
  EXPECT_EQ(CommandTail("\"C:\\x.exe\""), "");
  // A tab ends a quoted name too, and is then skipped with the blanks after it.
  EXPECT_EQ(CommandTail("\"C:\\x\tfile.mvn"), "file.mvn");
  // An unterminated quote takes the rest as the name.
  EXPECT_EQ(CommandTail("\"C:\\Program Files\\morvane.exe file.mvn"), "");
}

TEST(CommandTail, BareProgramNameRunsToTheFirstBlankOrTab) {
  EXPECT_EQ(CommandTail("morvane.exe C:\\r.mvn"), "C:\\r.mvn");
  EXPECT_EQ(CommandTail("morvane.exe\tC:\\r.mvn"), "C:\\r.mvn");
  EXPECT_EQ(CommandTail("C:\\dir\\morvane.exe"), "");
  // A quote inside a bare name is part of it.
  EXPECT_EQ(CommandTail("mor\"vane x\".exe tail"), "x\".exe tail");
}

TEST(CommandTail, LeadingAndSeparatingBlanksAreSkippedTheRestIsKeptWhole) {
  EXPECT_EQ(CommandTail("  \t morvane.exe \t  a  b \"c\"  "), "a  b \"c\"  ");
  EXPECT_EQ(CommandTail("morvane.exe \"C:\\my files\\r.mvn\""), "\"C:\\my files\\r.mvn\"");
  EXPECT_EQ(CommandTail("morvane.exe    "), "");
  EXPECT_EQ(CommandTail(""), "");
  EXPECT_EQ(CommandTail("   "), "");
  EXPECT_EQ(CommandTail(nullptr), "");
}

TEST(CommandTail, BytesAboveAsciiAndLongTailsPassUnchanged) {
  std::string accented = "C:\\R\xE9glages\\m\xE9moire 1.mvn";  // CP1252 bytes
  EXPECT_EQ(CommandTail(("x.exe " + accented).c_str()), accented);
  // The tail has no length limit of its own; the file operations judge long paths.
  std::string longPath = "C:\\" + std::string(297, 'a');
  ASSERT_EQ(longPath.size(), 300u);
  EXPECT_EQ(CommandTail(("\"C:\\x y\\morvane.exe\" " + longPath).c_str()), longPath);
}
