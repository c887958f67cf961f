// Hostile register files: what a load of each makes of the fields, and that a save over each
// keeps every line other than the 38 keys while the saved codes read back.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "files/Ini.h"
#include "files/RegisterFile.h"
#include "tests/native/files/RegisterFileFixture.h"

namespace {

using namespace std::string_literals;

bool IsFieldKeyLine(const std::string& line) {
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  std::string key = line.substr(0, equals);
  while (!key.empty() && ini::IsBlank(key.back())) key.pop_back();
  while (!key.empty() && ini::IsBlank(key.front())) key.erase(key.begin());
  for (const RegisterField& field : AllFields()) {
    if (key.size() != std::strlen(field.key)) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(key[i])) ==
             std::tolower(static_cast<unsigned char>(field.key[i]));
    }
    if (same) return true;
  }
  return false;
}

// Every line of `before` that is not a field key line appears in `after`, in order.
::testing::AssertionResult KeepsOtherLines(const std::string& before, const std::string& after) {
  const ini::Document oldDocument(before);
  const ini::Document newDocument(after);
  std::size_t at = 0;
  for (std::size_t i = 0; i < oldDocument.LineCount(); ++i) {
    std::string_view line = oldDocument.Line(i);
    if (IsFieldKeyLine(std::string(line))) continue;
    while (at < newDocument.LineCount() && newDocument.Line(at) != line) ++at;
    if (at == newDocument.LineCount()) {
      return ::testing::AssertionFailure()
             << "line " << i << " lost: \"" << line.substr(0, 60) << "\"";
    }
    ++at;
  }
  return ::testing::AssertionSuccess();
}

std::string Garbage(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

class HostileFilesTest : public RegisterFileTest {
 protected:
  struct Case {
    std::string name;
    std::string contents;
    std::vector<std::pair<const char*, std::uint32_t>> loaded;  // codes a load sets
  };

  // Loads the file over a known register set, checks what changed, then saves a new set
  // over it and checks that the other lines stayed and the new codes read back.
  void Check(const Case& c) {
    SCOPED_TRACE(c.name);
    fs.Remove(file);
    fs.AddFile(file, c.contents);
    FillDistinct(11);
    std::vector<std::uint32_t> expected;
    for (const RegisterField& field : AllFields()) expected.push_back(FieldCode(field));
    for (const auto& [key, code] : c.loaded) expected[FindField(key) - Fields] = code;
    ASSERT_TRUE(LoadRegisterFile(file));
    for (const RegisterField& field : AllFields()) {
      EXPECT_EQ(FieldCode(field), expected[&field - Fields]) << field.key;
    }

    FillDistinct(5);
    std::string saved = CodesOf();
    ASSERT_TRUE(SaveDramSection(file) && SaveLinkSection(file));
    std::string after = fs.Contents(file);
    EXPECT_TRUE(KeepsOtherLines(c.contents, after));
    Clear();
    ASSERT_TRUE(LoadRegisterFile(file));
    EXPECT_EQ(CodesOf(), saved);
    EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
  }
};

TEST_F(HostileFilesTest, EmptyGarbageAndNulBytes) {
  Check({"empty", "", {}});
  Check({"garbage", Garbage(64 * 1024, 1), {}});
  Check({"garbage with a section",
         Garbage(4096, 2) + "\r\n[DRAM]\r\nTcl=4\r\n" + Garbage(4096, 3),
         {{"Tcl", 4}}});
  Check({"NUL bytes",
         "[DRAM]\0junk\r\nTcl=\0 3\r\nTrc=2\r\n\0\0\0\r\nTwr=1"s,
         {{"Trc", 2}, {"Twr", 1}}});
  Check({"only NULs", std::string(1000, '\0'), {}});
}

TEST_F(HostileFilesTest, LargeFiles) {
  std::string tenMegabytes;
  tenMegabytes.reserve(10u << 20);
  while (tenMegabytes.size() < (10u << 20)) tenMegabytes += "; filler line of a large file\r\n";
  Check({"10 MB", tenMegabytes + "[DRAM]\r\nTcl=6\r\n", {{"Tcl", 6}}});

  std::string sections;
  for (int i = 0; i < 100000; ++i) sections += "[S" + std::to_string(i) + "]\r\nk=v\r\n";
  Check({"100,000 sections", sections + "[LINK]\r\nLinkFreq=5\r\n", {{"LinkFreq", 5}}});

  Check({"1 MB line",
         "[DRAM]\r\nTcl=" + std::string(1u << 20, '1') + "\r\n; " + std::string(1u << 20, 'x') +
             "\r\nTrc=9\r\n",
         {{"Trc", 9}}});
  Check({"1 MB of blanks around a value",
         "[DRAM]\r\nTcl=" + std::string(1u << 20, ' ') + "3" + std::string(1u << 20, '\t'),
         {{"Tcl", 3}}});
}

TEST_F(HostileFilesTest, FilesBeyondTheSizeLimitAreRefused) {
  std::string huge(17u << 20, ';');
  fs.AddFile(file, huge);
  FillDistinct(3);
  std::string before = CodesOf();
  EXPECT_FALSE(LoadRegisterFile(file));
  EXPECT_EQ(CodesOf(), before);
  EXPECT_FALSE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file).size(), huge.size());
}

TEST_F(HostileFilesTest, LineEndsAndByteOrderMark) {
  Check({"CR only", "; mac\r[DRAM]\rTcl=2\rTrc=3\r[x]\ry=z\r", {{"Tcl", 2}, {"Trc", 3}}});
  Check({"LF only", "[DRAM]\nTcl=2\n", {{"Tcl", 2}}});
  Check({"mixed", "[DRAM]\r\nTcl=2\nTrc=3\rTrfc=4", {{"Tcl", 2}, {"Trc", 3}, {"Trfc", 4}}});
  Check({"UTF-8 mark", "\xEF\xBB\xBF[DRAM]\r\nTcl=7\r\n", {{"Tcl", 7}}});
  Check({"UTF-16 text", "\xFF\xFE[\0D\0R\0A\0M\0]\0\r\0\n\0"s, {}});
  fs.AddFile(file, "\xEF\xBB\xBF[DRAM]\r\nTcl=7\r\n");
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file).substr(0, 11), "\xEF\xBB\xBF[DRAM]\r\n");
}

TEST_F(HostileFilesTest, DuplicateSectionsAndKeys) {
  const std::string text =
      "[DRAM]\r\nTcl=1\r\nTcl=2\r\n[LINK]\r\nLinkFreq=3\r\n[DRAM]\r\nTcl=5\r\nTrc=6\r\n"
      "[link]\r\nWidthIN=1\r\n";
  Check({"duplicates", text, {{"Tcl", 1}, {"LinkFreq", 3}}});
  // The save rewrote the first key of the first section; the others stay as they were.
  fs.AddFile(file, text);
  Clear();
  SetCode("Tcl", 4);
  ASSERT_TRUE(SaveDramSection(file));
  std::string after = fs.Contents(file);
  const std::string head = "[DRAM]\r\nTcl=4\r\nTcl=2\r\nTrc=0\r\nTrfc=0\r\n";
  EXPECT_EQ(after.substr(0, head.size()), head);
  EXPECT_NE(after.find("[DRAM]\r\nTcl=5\r\nTrc=6\r\n"), std::string::npos);
}

TEST_F(HostileFilesTest, NumbersThatAreNotCodes) {
  Check({"numbers",
         "[DRAM]\r\n"
         "Tcl=4294967298\r\n"   // beyond 32 bits
         "Trc=0x100000002\r\n"  // beyond 32 bits in hex
         "Trfc=-0\r\n"          // zero
         "Trcd=0x\r\n"          // a prefix without digits
         "Trrd=$\r\n"           //
         "Tras=1 2\r\n"         // blanks inside
         "Trp=\"3\r\n"          // unclosed quote
         "Twr=\" 1\"\r\n"       // a blank inside the quotes
         "Twtr=-1\r\n"          // negative
         "Trtw=8\r\n"           // one beyond a 3-bit field
         "Tref=15\r\n"          // the largest 4-bit code
         "ReadWriteQueueBypass=0X3\r\n"
         "ControllerMode=1\r\n"
         "ECCMode=+1\r\n",
         {{"Trfc", 0},
          {"Tref", 15},
          {"ReadWriteQueueBypass", 3},
          {"ControllerMode", 1},
          {"ECCMode", 1}}});
}

TEST_F(HostileFilesTest, OddLinesAroundTheKeys) {
  Check({"odd lines",
         "=no key\r\n[\r\n]\r\n[]\r\nTcl=1\r\n[DRAM\r\nTrc=2\r\n[ DRAM ]\r\n  Tcl\t=\t3\r\n"
         "Trc\r\n;Trfc=4\r\n[DRAM] extra\r\nTrfc=5\r\n",
         {{"Tcl", 3}}});
}

}  // namespace
