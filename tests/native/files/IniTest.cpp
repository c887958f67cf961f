// Tests of the INI text engine: reading with profile rules and editing in place without
// losing any other line.
#include <gtest/gtest.h>

#include <string>

#include "files/Ini.h"

namespace {

using ini::Document;

TEST(IniTest, ReadsWithProfileRules) {
  Document doc(
      "; comment\r\n"
      "[Dram]\r\n"
      "  tcl =  5  \r\n"
      "Trc=\"15\"\r\n"
      "Trfc='7'\r\n"
      "Tras=\"unclosed\r\n"
      "Trp=\"\"\r\n"
      "Twr=\"'\r\n"
      "Trcd\r\n"
      "=9\r\n"
      "Empty=\r\n"
      "[ LINK ]\n"
      "LinkFreq=a=b\n");
  EXPECT_EQ(doc.Get("DRAM", "Tcl"), "5");
  EXPECT_EQ(doc.Get("dram", "TRC"), "15");
  EXPECT_EQ(doc.Get("DRAM", "Trfc"), "7");
  EXPECT_EQ(doc.Get("DRAM", "Tras"), "\"unclosed");
  EXPECT_EQ(doc.Get("DRAM", "Trp"), "");
  EXPECT_EQ(doc.Get("DRAM", "Twr"), "\"'");
  EXPECT_EQ(doc.Get("DRAM", "Trcd"), std::nullopt);  // no "=": not a key
  EXPECT_EQ(doc.Get("DRAM", ""), std::nullopt);
  EXPECT_EQ(doc.Get("DRAM", "Empty"), "");
  EXPECT_EQ(doc.Get("LINK", "LinkFreq"), "a=b");
  EXPECT_EQ(doc.Get("DRAM", "LinkFreq"), std::nullopt);  // keys belong to their section
  EXPECT_EQ(doc.Get("OTHER", "Tcl"), std::nullopt);
  EXPECT_EQ(doc.Get("; comment", "Tcl"), std::nullopt);
}

TEST(IniTest, FirstSectionAndFirstKeyCount) {
  Document doc("[DRAM]\nTcl=1\nTcl=2\n[LINK]\nTcl=9\n[dram]\nTcl=3\nTrc=4\n");
  EXPECT_EQ(doc.Get("DRAM", "Tcl"), "1");
  EXPECT_EQ(doc.Get("DRAM", "Trc"), std::nullopt);  // only in the second DRAM section
  ASSERT_TRUE(doc.Set("DRAM", "Tcl", "5"));
  ASSERT_TRUE(doc.Set("DRAM", "Trc", "6"));
  // Edits go where reads look: the first key of the first section.
  EXPECT_EQ(doc.Text(),
            "[DRAM]\r\nTcl=5\r\nTcl=2\r\nTrc=6\r\n[LINK]\r\nTcl=9\r\n[dram]\r\nTcl=3\r\nTrc=4\r\n");
  EXPECT_EQ(doc.Get("DRAM", "Tcl"), "5");
  EXPECT_EQ(doc.Get("DRAM", "Trc"), "6");
}

TEST(IniTest, EditsKeepEveryOtherLine) {
  std::string original =
      "; saved by hand\n"
      "[Other]\n"
      "Tcl=7\n"
      "\n"
      "[DRAM]\n"
      "  tcl = 2 ; old\n"
      "# note\n"
      "\n"
      "[LINK]\n"
      "LinkFreq=1\n";
  Document doc(original);
  ASSERT_TRUE(doc.Set("DRAM", "Tcl", "5"));
  ASSERT_TRUE(doc.Set("DRAM", "Trc", "3"));
  ASSERT_TRUE(doc.Set("LINK", "LinkFreq", "15"));
  ASSERT_TRUE(doc.Set("LINK", "WidthIN", "0"));
  ASSERT_TRUE(doc.Set("NEW", "Key", "1"));
  EXPECT_EQ(doc.Text(),
            "; saved by hand\r\n"
            "[Other]\r\n"
            "Tcl=7\r\n"
            "\r\n"
            "[DRAM]\r\n"
            "  tcl=5\r\n"  // in place, the file's own spelling
            "# note\r\n"
            "Trc=3\r\n"  // after the section's last line, before its blank separator
            "\r\n"
            "[LINK]\r\n"
            "LinkFreq=15\r\n"
            "WidthIN=0\r\n"
            "[NEW]\r\n"  // right after the last line, as the system's writer adds it
            "Key=1\r\n");
}

TEST(IniTest, NewDocumentLayout) {
  Document doc;
  EXPECT_EQ(doc.Text(), "");
  ASSERT_TRUE(doc.Set("DRAM", "Tcl", "1"));
  ASSERT_TRUE(doc.Set("DRAM", "Trc", "2"));
  ASSERT_TRUE(doc.Set("LINK", "LinkFreq", "3"));
  EXPECT_EQ(doc.Text(), "[DRAM]\r\nTcl=1\r\nTrc=2\r\n[LINK]\r\nLinkFreq=3\r\n");
}

TEST(IniTest, LineEnds) {
  EXPECT_EQ(Document("[A]\nk=1\n").Get("A", "k"), "1");
  EXPECT_EQ(Document("[A]\r\nk=1\r\n").Get("A", "k"), "1");
  EXPECT_EQ(Document("[A]\rk=1\r").Get("A", "k"), "1");  // old Mac line ends
  EXPECT_EQ(Document("[A]\r\n\rk=1").Get("A", "k"), "1");
  EXPECT_EQ(Document("[A]\nk=1").Text(), "[A]\r\nk=1\r\n");
  Document lines("a\r\n\r\n\nb");
  ASSERT_EQ(lines.LineCount(), 4u);
  EXPECT_EQ(lines.Line(0), "a");
  EXPECT_EQ(lines.Line(1), "");
  EXPECT_EQ(lines.Line(2), "");
  EXPECT_EQ(lines.Line(3), "b");
}

TEST(IniTest, ByteOrderMarkIsSetAsideAndKept) {
  Document doc("\xEF\xBB\xBF[DRAM]\r\nTcl=2\r\n");
  EXPECT_EQ(doc.Get("DRAM", "Tcl"), "2");
  ASSERT_TRUE(doc.Set("DRAM", "Tcl", "3"));
  EXPECT_EQ(doc.Text(), "\xEF\xBB\xBF[DRAM]\r\nTcl=3\r\n");
}

TEST(IniTest, BytesOtherEditorsLeaveAreKept) {
  std::string text("[DRAM]\r\nJunk=\0\xff\x80\r\nTcl=1\r\n", 25);
  Document doc(text);
  ASSERT_TRUE(doc.Set("DRAM", "Tcl", "4"));
  std::string expected = text;
  expected.replace(expected.find("Tcl=1"), 5, "Tcl=4");
  EXPECT_EQ(doc.Text(), expected);
  EXPECT_EQ(doc.Get("DRAM", "Junk"), std::string("\0\xff\x80", 3));
}

TEST(IniTest, RefusesEditsThatWouldNotReadBack) {
  Document doc("[DRAM]\r\nTcl=1\r\n");
  const std::string before = doc.Text();
  EXPECT_FALSE(doc.Set("DRAM", "Tcl", "1\r\n[LINK]"));
  EXPECT_FALSE(doc.Set("DRAM", "a=b", "1"));
  EXPECT_FALSE(doc.Set("DRAM", "", "1"));
  EXPECT_FALSE(doc.Set("DRAM", " Tcl", "1"));
  EXPECT_FALSE(doc.Set("DRAM", "[x", "1"));
  EXPECT_FALSE(doc.Set("DRAM", ";x", "1"));
  EXPECT_FALSE(doc.Set("DR]AM", "Tcl", "1"));
  EXPECT_FALSE(doc.Set("", "Tcl", "1"));
  EXPECT_FALSE(doc.Set("DRAM", "Tcl", " 1"));
  EXPECT_EQ(doc.Text(), before);
}

TEST(IniTest, SectionHeaders) {
  Document doc("[DRAM] ; trailing\r\nTcl=1\r\n[LINK\r\nLinkFreq=2\r\n[  ]\r\nx=1\r\n");
  EXPECT_EQ(doc.Get("DRAM", "Tcl"), "1");
  // An unclosed header is no section: its lines still belong to DRAM.
  EXPECT_EQ(doc.Get("LINK", "LinkFreq"), std::nullopt);
  EXPECT_EQ(doc.Get("DRAM", "LinkFreq"), "2");
  EXPECT_EQ(doc.Get("", "x"), "1");
}

}  // namespace
