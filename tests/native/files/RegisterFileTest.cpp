// Tests of register-file saves and loads over the simulated Windows: layout, in-place
// rewrites, value forms, refusals, and saves that fail at any step leaving the old file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "files/IniFile.h"
#include "files/RegisterFile.h"
#include "tests/native/files/RegisterFileFixture.h"

namespace {

TEST_F(RegisterFileTest, FreshSaveWritesBothSectionsInTableOrder) {
  FillDistinct(3);
  ASSERT_TRUE(SaveDramSection(file));
  ASSERT_TRUE(SaveLinkSection(file));
  EXPECT_EQ(fs.Contents(file), FreshText());
  EXPECT_NE(fs.Contents(file).find("\r\nWidthIN="), std::string::npos);
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
  EXPECT_EQ(win->OpenHandleCount(sim::HandleKind::File), 0);

  Clear();
  fs.Remove(file);
  FillDistinct(3);
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), FreshText());
}

TEST_F(RegisterFileTest, SavesAndLoadsRoundTripEveryField) {
  for (std::uint32_t seed : {0u, 1u, 5u, 15u}) {
    Clear();
    FillDistinct(seed);
    std::string saved = CodesOf();
    ASSERT_TRUE(SaveDramSection(file) && SaveLinkSection(file));
    Clear();
    ASSERT_TRUE(LoadDramSection(file) && LoadLinkSection(file));
    EXPECT_EQ(CodesOf(), saved);
    Clear();
    ASSERT_TRUE(LoadRegisterFile(file));
    EXPECT_EQ(CodesOf(), saved);
  }
}

TEST_F(RegisterFileTest, LoadTakesOnlyWhatTheFileHolds) {
  fs.AddFile(file, "[DRAM]\r\nTcl=2\r\n");
  for (PciRegister& reg : Registers) reg.value = 0x5A5A5A5A;
  ASSERT_TRUE(LoadDramSection(file));
  ASSERT_TRUE(LoadLinkSection(file));
  EXPECT_EQ(Registers[0].value, (0x5A5A5A5Au & ~7u) | 2u);
  for (int i = 1; i < kRegisterCount; ++i) EXPECT_EQ(Registers[i].value, 0x5A5A5A5Au);
  // A file with no sections at all still loads.
  fs.AddFile(file, "just text\r\n");
  EXPECT_TRUE(LoadRegisterFile(file));
}

TEST_F(RegisterFileTest, SaveOverAFileWithOtherSectionsAndComments) {
  const std::string old =
      "; my timings\r\n"
      "[Notes]\r\n"
      "Tcl=keep me\r\n"
      "\r\n"
      "[dram]\r\n"
      "  TRC = 3\r\n"
      "tcl=1\r\n"
      "Custom=x\r\n"
      "\r\n"
      "[Third]\r\n"
      "a=b\r\n";
  fs.AddFile(file, old);
  FillDistinct(9);
  std::string trc = std::to_string(Code("Trc"));
  std::string tcl = std::to_string(Code("Tcl"));
  ASSERT_TRUE(SaveDramSection(file) && SaveLinkSection(file));
  std::string saved = fs.Contents(file);
  // Existing keys in place with the file's spelling; the rest added to their section.
  std::string head = "; my timings\r\n[Notes]\r\nTcl=keep me\r\n\r\n[dram]\r\n  TRC=" + trc +
                     "\r\ntcl=" + tcl + "\r\nCustom=x\r\nTrfc=";
  EXPECT_EQ(saved.substr(0, head.size()), head);
  EXPECT_NE(saved.find("\r\n\r\n[Third]\r\na=b\r\n[LINK]\r\nLinkFreq="), std::string::npos);
  std::string keys = CodesOf();
  Clear();
  ASSERT_TRUE(LoadRegisterFile(file));
  EXPECT_EQ(CodesOf(), keys);
  // Saving the same set again changes nothing.
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), saved);
}

TEST_F(RegisterFileTest, NamesMatchWithoutRegardToCase) {
  fs.AddFile(file, "[dram]\r\ntcl=5\r\nTRAS=9\r\n[link]\r\nwidthin=3\r\n");
  ASSERT_TRUE(LoadRegisterFile(file));
  EXPECT_EQ(Code("Tcl"), 5u);
  EXPECT_EQ(Code("Tras"), 9u);
  EXPECT_EQ(Code("WidthIN"), 3u);
}

TEST_F(RegisterFileTest, ValueFormsOfTrcAndTwr) {
  for (const char* value : {"0x0F", "$F", "15", "0XF", "$f", "+15", "\"15\"", "'0xf'", "  15  "}) {
    SCOPED_TRACE(value);
    Clear();
    fs.AddFile(file, std::string("[DRAM]\r\nTrc=") + value + "\r\n");
    ASSERT_TRUE(LoadDramSection(file));
    EXPECT_EQ(Code("Trc"), 15u);
  }
  for (const char* value : {"16", "-1", "abc", "", "1 5", "0x", "$", "15h", "\" 15\"", "1e1",
                            "4294967311", "0x10000000F", "--1", "-", "+"}) {
    SCOPED_TRACE(value);
    SetCode("Trc", 6);
    fs.AddFile(file, std::string("[DRAM]\r\nTrc=") + value + "\r\n");
    ASSERT_TRUE(LoadDramSection(file));
    EXPECT_EQ(Code("Trc"), 6u);
    EXPECT_TRUE(win->session.messageBoxes.empty());
  }
  fs.AddFile(file, "[DRAM]\r\nTwr=2\r\n");
  ASSERT_TRUE(LoadDramSection(file));
  EXPECT_EQ(Code("Twr"), 0u);
  fs.AddFile(file, "[DRAM]\r\nTwr=1\r\n");
  ASSERT_TRUE(LoadDramSection(file));
  EXPECT_EQ(Code("Twr"), 1u);
  fs.AddFile(file, "[DRAM]\r\nTwr=-0\r\n");
  ASSERT_TRUE(LoadDramSection(file));
  EXPECT_EQ(Code("Twr"), 0u);
}

TEST_F(RegisterFileTest, CodesWithoutAChoiceStillLoad) {
  fs.AddFile(file, "[LINK]\r\nLinkFreq=9\r\nWidthOut=6\r\n");
  ASSERT_TRUE(LoadLinkSection(file));
  EXPECT_EQ(Code("LinkFreq"), 9u);
  EXPECT_EQ(CurrentChoice(F("LinkFreq")), &NoChoice);
  EXPECT_EQ(Code("WidthOut"), 6u);
}

TEST_F(RegisterFileTest, ParsesNumbersWithinSigned32Bits) {
  std::int32_t v = 0;
  EXPECT_TRUE(ParseFieldValue("2147483647", &v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(ParseFieldValue("-2147483648", &v));
  EXPECT_EQ(v, -2147483647 - 1);
  EXPECT_FALSE(ParseFieldValue("2147483648", &v));
  EXPECT_FALSE(ParseFieldValue("-2147483649", &v));
  EXPECT_TRUE(ParseFieldValue("0x7FFFFFFF", &v));
  EXPECT_FALSE(ParseFieldValue("0x80000000", &v));
  EXPECT_FALSE(ParseFieldValue("$FFFFFFFF", &v));
  EXPECT_TRUE(ParseFieldValue("-$10", &v));
  EXPECT_EQ(v, -16);
  EXPECT_TRUE(ParseFieldValue("000000000000000000000007", &v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(ParseFieldValue("-0", &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(ParseFieldValue(std::string_view("1\0", 2), &v));
  EXPECT_FALSE(ParseFieldValue("99999999999999999999999", &v));
}

// A load of a file that cannot be read fails and changes nothing.
TEST_F(RegisterFileTest, LoadOfAMissingOrUnreadableFileFails) {
  for (PciRegister& reg : Registers) reg.value = 0x12345678;
  const std::string missing = folder + "\\none.mvn";
  EXPECT_FALSE(LoadDramSection(missing));
  EXPECT_FALSE(LoadLinkSection(missing));
  EXPECT_FALSE(LoadRegisterFile(missing));
  fs.AddFile(file, "[DRAM]\r\nTcl=1\r\n");
  EXPECT_FALSE(LoadRegisterFile("\"" + file + "\""));  // a quoted command tail
  EXPECT_FALSE(LoadRegisterFile(folder));              // a folder
  EXPECT_FALSE(LoadRegisterFile(""));
  win->FailCall("ReadFile", os::kErrorGenFailure);
  EXPECT_FALSE(LoadRegisterFile(file));
  os::Handle locked = win->CreateFileA(file.c_str(), os::kGenericWrite, 0, os::kOpenExisting, 0);
  EXPECT_FALSE(LoadRegisterFile(file));  // another program holds it exclusively
  win->CloseHandle(locked);
  for (const PciRegister& reg : Registers) EXPECT_EQ(reg.value, 0x12345678u);
  EXPECT_FALSE(ReadFieldKey(F("Tcl"), "DRAM", missing));
  EXPECT_EQ(win->OpenHandleCount(sim::HandleKind::File), 0);
}

TEST_F(RegisterFileTest, SavesThatCannotBeWrittenChangeNothing) {
  FillDistinct(1);
  fs.AddFile(file, "[DRAM]\r\nTcl=0\r\n", os::kFileAttributeReadonly);
  EXPECT_FALSE(SaveDramSection(file));
  EXPECT_FALSE(SaveRegisterFile(file));
  EXPECT_FALSE(WriteFieldKey(F("Tcl"), "DRAM", file));
  EXPECT_EQ(fs.Contents(file), "[DRAM]\r\nTcl=0\r\n");
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});

  EXPECT_FALSE(SaveRegisterFile("C:\\gone\\regs.mvn"));  // missing folder
  EXPECT_FALSE(fs.Exists("C:\\gone"));
  EXPECT_FALSE(SaveRegisterFile(folder + "\\a|b.mvn"));  // invalid name
  EXPECT_FALSE(SaveRegisterFile(folder));                // a folder
  fs.SetFolderWritable(folder, false);
  EXPECT_FALSE(SaveRegisterFile(folder + "\\new.mvn"));
  fs.SetFolderWritable(folder, true);
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});

  // A path whose full form does not fit MAX_PATH (259 characters and the terminator).
  std::string deep = "C:\\" + std::string(240, 'd');
  fs.AddFolder(deep);
  std::string fits = deep + "\\" + std::string(259 - deep.size() - 1, 'f');
  ASSERT_EQ(fits.size(), 259u);
  EXPECT_TRUE(SaveRegisterFile(fits));  // the new file goes beside under a short name
  EXPECT_TRUE(LoadRegisterFile(fits));
  EXPECT_FALSE(SaveRegisterFile(fits + "g"));
  EXPECT_FALSE(LoadRegisterFile(fits + "g"));
  EXPECT_EQ(fs.List(deep).size(), 1u);
  EXPECT_EQ(win->OpenHandleCount(sim::HandleKind::File), 0);
}

TEST_F(RegisterFileTest, RelativePathsFollowTheCurrentDirectory) {
  fs.AddFolder("C:\\Other");
  ASSERT_TRUE(SaveRegisterFile("a.mvn"));
  EXPECT_TRUE(fs.Exists(folder + "\\a.mvn"));
  ASSERT_TRUE(win->SetCurrentDirectoryA("C:\\Other"));
  ASSERT_TRUE(SaveRegisterFile("a.mvn"));
  EXPECT_TRUE(fs.Exists("C:\\Other\\a.mvn"));
  EXPECT_TRUE(SaveRegisterFile("..\\Program Files\\Morvane\\b.mvn"));
  EXPECT_TRUE(fs.Exists(folder + "\\b.mvn"));
  win->FailCall("GetFullPathNameA", os::kErrorGenFailure);
  EXPECT_FALSE(SaveRegisterFile("c.mvn"));
  EXPECT_FALSE(fs.Exists("C:\\Other\\c.mvn"));
}

TEST_F(RegisterFileTest, HiddenFileStaysHiddenAfterASave) {
  fs.AddFile(file, "[DRAM]\r\nTcl=1\r\n", os::kFileAttributeHidden);
  SetCode("Tcl", 5);
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_NE(fs.Attributes(file) & os::kFileAttributeHidden, 0u);
  EXPECT_EQ(fs.Contents(file).substr(0, 15), "[DRAM]\r\nTcl=5\r\n");
}

TEST_F(RegisterFileTest, SaveWhileAnotherProgramHasTheFileOpen) {
  fs.AddFile(file, "old\r\n");
  os::Handle reader =
      win->CreateFileA(file.c_str(), os::kGenericRead, os::kFileShareRead, os::kOpenExisting, 0);
  EXPECT_FALSE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), "old\r\n");
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
  win->CloseHandle(reader);
  EXPECT_TRUE(SaveRegisterFile(file));
}

TEST_F(RegisterFileTest, LeftoverOfAnInterruptedSaveIsReplaced) {
  fs.AddFile(file + ini::kSavingSuffix, "half", os::kFileAttributeHidden);
  fs.AddFile(file, "[DRAM]\r\nTcl=0\r\n");
  SetCode("Tcl", 3);
  ASSERT_TRUE(SaveDramSection(file));
  EXPECT_EQ(fs.Contents(file).substr(0, 15), "[DRAM]\r\nTcl=3\r\n");
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
}

TEST_F(RegisterFileTest, WindowsWithoutReplacingMoves) {
  win->machine.SetPlatform(sim::Platform::Windows9x);  // neither ReplaceFileA nor MoveFileExA
  win->FailCall("MoveFileExA", os::kErrorCallNotImplemented, 0, -1);
  FillDistinct(4);
  ASSERT_TRUE(SaveRegisterFile(file));  // new file
  EXPECT_EQ(fs.Contents(file), FreshText());
  FillDistinct(8);
  ASSERT_TRUE(SaveRegisterFile(file));  // over the old one
  EXPECT_EQ(fs.Contents(file), FreshText());
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
  EXPECT_GE(win->CallCount("MoveFileA"), 2);

  // The old file cannot go: nothing changes.
  std::string before = fs.Contents(file);
  FillDistinct(12);
  win->FailCall("DeleteFileA", os::kErrorAccessDenied, 3);  // the three leftover checks pass
  EXPECT_FALSE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), before);
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});

  // The rename fails after the old file went: the new one stays beside, complete, and the
  // next read puts it in place.
  win->FailCall("MoveFileA", os::kErrorAccessDenied, 1);  // the first names it complete
  EXPECT_FALSE(SaveRegisterFile(file));
  EXPECT_FALSE(fs.Exists(file));
  EXPECT_EQ(fs.Contents(file + ini::kSavedSuffix), FreshText());
  const std::string codes = CodesOf();
  Clear();
  ASSERT_TRUE(LoadRegisterFile(file));
  EXPECT_EQ(CodesOf(), codes);
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
}

// A save interrupted at each call it makes leaves the old file whole, or the new one.
TEST_F(RegisterFileTest, SaveFailingAtAnyStepLeavesTheOldOrTheNewFile) {
  const std::string old = "; keep\r\n[DRAM]\r\nTcl=1\r\n[Mine]\r\nx=y\r\n";
  FillDistinct(6);
  // One clean run tells how often each call happens.
  fs.AddFile(file, old);
  win->calls.clear();
  ASSERT_TRUE(SaveRegisterFile(file));
  const std::string fresh = fs.Contents(file);
  const std::vector<std::string> trace = win->calls;
  int cases = 0;
  for (const char* call :
       {"GetFullPathNameA", "GetFileAttributesA", "CreateFileA", "ReadFile", "WriteFile",
        "FlushFileBuffers", "CloseHandle", "DeleteFileA", "ReplaceFileA"}) {
    int count = static_cast<int>(std::count(trace.begin(), trace.end(), call));
    ASSERT_GT(count, 0) << call;
    for (int skip = 0; skip < count; ++skip) {
      SCOPED_TRACE(std::string(call) + " #" + std::to_string(skip));
      ++cases;
      win->ClearFailures();
      fs.Remove(file);
      fs.Remove(file + ini::kSavingSuffix);
      fs.AddFile(file, old);
      win->FailCall(call, os::kErrorDiskFull, skip);
      bool saved = SaveRegisterFile(file);
      std::string now = fs.Contents(file);
      EXPECT_TRUE(now == old || now == fresh) << now;
      EXPECT_EQ(saved, now == fresh);
      // Only a failed close can keep the new file's handle, and with it the file.
      bool closeFailed = std::string(call) == "CloseHandle";
      // The old data's copy, whose deletion after the replace failed, stays until the next
      // save discards it.
      bool backupKept = std::string(call) == "DeleteFileA" && skip == count - 1;
      if (backupKept) {
        EXPECT_EQ(fs.List(folder), (std::vector<std::string>{"regs.mvn", "regs.mvn.replaced"}));
        win->ClearFailures();
        EXPECT_TRUE(SaveRegisterFile(file));
      }
      if (!closeFailed) {
        EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
      }
      // The process ends: the system closes what it left open, and with the last handle a
      // file whose deletion was pending goes.
      fs.EndProcess();
      EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
    }
  }
  EXPECT_GE(cases, 10);
}

TEST_F(RegisterFileTest, SectionSavesEachLeaveACompleteFile) {
  const std::string old = "[DRAM]\r\nTcl=1\r\n[LINK]\r\nLinkFreq=2\r\n";
  fs.AddFile(file, old);
  FillDistinct(2);
  std::vector<std::uint32_t> wanted;
  for (const RegisterField& field : AllFields()) wanted.push_back(FieldCode(field));
  // The LINK save fails: the DRAM save stands, the LINK keys keep their old codes.
  win->FailCall("ReplaceFileA", os::kErrorDiskFull, 1);
  EXPECT_TRUE(SaveDramSection(file));
  EXPECT_FALSE(SaveLinkSection(file));
  Clear();
  ASSERT_TRUE(LoadRegisterFile(file));
  for (const RegisterField& field : DramFields()) {
    EXPECT_EQ(FieldCode(field), wanted[&field - Fields]) << field.key;
  }
  for (const RegisterField& field : LinkFields()) {
    EXPECT_EQ(FieldCode(field), std::string(field.key) == "LinkFreq" ? 2u : 0u) << field.key;
  }
  EXPECT_EQ(fs.List(folder), std::vector<std::string>{"regs.mvn"});
}

}  // namespace
