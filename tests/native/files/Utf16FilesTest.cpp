// Register files stored as UTF-16 (Notepad's "Unicode"): read as the system reads them, and
// saved back as UTF-16 with their byte-order mark and every other line as it was.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "files/IniFile.h"
#include "files/RegisterFile.h"
#include "tests/native/files/RegisterFileFixture.h"

namespace {

// UTF-16 bytes with a byte-order mark, written out unit by unit (independent of the code
// under test).
std::string Utf16(std::u16string_view text, bool little = true) {
  std::string out;
  auto put = [&](char16_t unit) {
    char low = static_cast<char>(unit & 0xFF);
    char high = static_cast<char>(unit >> 8);
    out += little ? low : high;
    out += little ? high : low;
  };
  put(0xFEFF);
  for (char16_t unit : text) put(unit);
  return out;
}

std::u16string Ascii16(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

TEST(Utf16Text, DecodingAndEncodingGiveBackEveryFileExactly) {
  const std::u16string texts[] = {
      u"",
      u"[DRAM]\r\nTcl=2\r\n",
      u"caf\u00E9 \u2603 \u6F22\u5B57\r\n",                       // Latin, symbol, CJK
      u"clef \U0001D11E end\n",                                   // a surrogate pair
      std::u16string(u"lone \xD800 high \xDC00 low \xDBFF", 19),  // unpaired surrogates
      std::u16string(u"nul\0inside\r\r\n", 14),
      u"\uFEFFsecond mark",
  };
  for (const std::u16string& text : texts) {
    for (bool little : {true, false}) {
      std::string bytes = Utf16(text, little);
      ini::Encoding encoding;
      std::string decoded = ini::DecodeText(bytes, &encoding);
      EXPECT_EQ(encoding, little ? ini::Encoding::Utf16Le : ini::Encoding::Utf16Be);
      EXPECT_EQ(ini::EncodeText(decoded, encoding), bytes);
    }
  }
  // ASCII comes out as ASCII, everything else as UTF-8.
  ini::Encoding encoding;
  EXPECT_EQ(ini::DecodeText(Utf16(u"Tcl=\u00E9\U0001D11E"), &encoding),
            "Tcl=\xC3\xA9\xF0\x9D\x84\x9E");
  // Every other file is taken byte for byte, a UTF-8 byte-order mark included.
  for (std::string_view bytes : {"[DRAM]\r\nTcl=1", "\xEF\xBB\xBF[DRAM]", "\xFF", "\xFE"}) {
    EXPECT_EQ(ini::DecodeText(bytes, &encoding), bytes);
    EXPECT_EQ(encoding, ini::Encoding::Bytes);
    EXPECT_EQ(ini::EncodeText(bytes, encoding), bytes);
  }
}

class Utf16FilesTest : public RegisterFileTest {};

// A file saved by hand in Notepad as "Unicode", with sections and comments of the user's own:
// every key loads, a save keeps it UTF-16 with its mark and changes only the keys' values.
TEST_F(Utf16FilesTest, AUserFileStaysUtf16AndKeepsEverythingElse) {
  for (bool little : {true, false}) {
    SCOPED_TRACE(little ? "little endian" : "big endian");
    FillDistinct(7);
    std::u16string dram = u"[DRAM]\r\n", link = u"[link]\r\n";
    for (const RegisterField& field : DramFields()) {
      dram += Ascii16(std::string(field.key) + "=" + std::to_string(FieldCode(field)) + "\r\n");
    }
    for (const RegisterField& field : LinkFields()) {
      link += Ascii16(std::string(field.key) + " = " + std::to_string(FieldCode(field)) + "\r\n");
    }
    const std::u16string mine =
        u"; r\u00E9glages \u2603 \U0001D11E\r\n[Mine]\r\nname=\u6F22\u5B57\r\n";
    fs.Remove(file);
    fs.AddFile(file, Utf16(mine + dram + u"; between\r\n" + link, little));
    const std::string want = CodesOf();

    Clear();
    ASSERT_TRUE(LoadRegisterFile(file));
    EXPECT_EQ(CodesOf(), want);  // all 38 keys

    FillDistinct(11);
    const std::string saved = CodesOf();
    ASSERT_TRUE(SaveRegisterFile(file));
    std::u16string newDram = u"[DRAM]\r\n", newLink = u"[link]\r\n";
    for (const RegisterField& field : DramFields()) {
      newDram += Ascii16(std::string(field.key) + "=" + std::to_string(FieldCode(field)) + "\r\n");
    }
    for (const RegisterField& field : LinkFields()) {
      // A rewritten key loses the blanks around its "=", as the system writes it.
      newLink += Ascii16(std::string(field.key) + "=" + std::to_string(FieldCode(field)) + "\r\n");
    }
    EXPECT_EQ(fs.Contents(file), Utf16(mine + newDram + u"; between\r\n" + newLink, little));
    Clear();
    ASSERT_TRUE(LoadRegisterFile(file));
    EXPECT_EQ(CodesOf(), saved);
  }
}

// A file cut short in its last character (a high surrogate without its low half, then half a
// unit): the half unit is no character and goes, the rest comes back as it was (its last line
// ended, as the system ends it), and saving again changes nothing: the file never grows.
TEST_F(Utf16FilesTest, AFileCutShortSavesBackWithoutGrowing) {
  struct Tail {
    std::u16string units;
    bool oddByte;
  };
  const Tail tails[] = {
      {u"", true},
      {std::u16string(1, u'\xD83D'), false},
      {std::u16string(1, u'\xD83D'), true},
      {std::u16string(u"x=\xDBFF\xD800", 4), true},
  };
  for (bool little : {false, true}) {
    for (const Tail& tail : tails) {
      SCOPED_TRACE(std::string(little ? "little" : "big") + " endian, " +
                   std::to_string(tail.units.size()) + " units" +
                   (tail.oddByte ? " and an odd byte" : ""));
      FillDistinct(5);
      const std::u16string text = Ascii16(FreshText() + "; end\r\n");
      fs.Remove(file);
      fs.AddFile(file, Utf16(text + tail.units, little) + (tail.oddByte ? "\xD8" : ""));
      const std::string expected =
          Utf16(text + tail.units + (tail.units.empty() ? u"" : u"\r\n"), little);
      Clear();
      ASSERT_TRUE(LoadRegisterFile(file));
      for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(SaveRegisterFile(file));
        EXPECT_EQ(fs.Contents(file), expected) << "save " << round + 1;
      }
    }
  }
}

// Sections a save adds go into the file in UTF-16 too, right after its last line.
TEST_F(Utf16FilesTest, SectionsASaveAddsAreUtf16) {
  fs.AddFile(file, Utf16(u"[Mine]\r\nx=\u00E9"));
  FillDistinct(3);
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), Utf16(u"[Mine]\r\nx=\u00E9\r\n" + Ascii16(FreshText())));
  // A file that is nothing but the mark gets the whole register set.
  fs.Remove(file);
  fs.AddFile(file, Utf16(u""));
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), Utf16(Ascii16(FreshText())));
}

}  // namespace
