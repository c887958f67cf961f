// Saves over an existing register file: replaced in place (the file keeps its identity and
// attributes), by a move where that cannot be used, and after a wait when another program
// holds the file open for a moment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/IniFile.h"
#include "files/RegisterFile.h"
#include "tests/native/files/RegisterFileFixture.h"

namespace {

constexpr char kOld[] = "; mine\r\n[DRAM]\r\nTcl=1\r\n";

class SaveInPlaceTest : public RegisterFileTest {
 protected:
  void SetUp() override {
    RegisterFileTest::SetUp();
    fs.AddFile(file, kOld, os::kFileAttributeHidden | sim::kFileAttributeArchive);
    FillDistinct(5);
  }
  std::string Fresh() { return std::string("; mine\r\n") + FreshText(); }
  bool OnlyTheFile() { return fs.List(folder) == std::vector<std::string>{"regs.mvn"}; }
  os::Handle Hold(os::Dword share) {
    return win->CreateFileA(file.c_str(), os::kGenericRead, share, os::kOpenExisting, 0);
  }
};

TEST_F(SaveInPlaceTest, TheFileIsReplacedInPlaceAndKeepsItsIdentityAndAttributes) {
  // A program that shares everything keeps reading the same file, now with the new text.
  os::Handle reader = Hold(os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete);
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), Fresh());
  EXPECT_EQ(fs.Attributes(file), os::kFileAttributeHidden | sim::kFileAttributeArchive);
  EXPECT_EQ(win->CallCount("ReplaceFileA"), 1);
  EXPECT_EQ(win->CallCount("MoveFileExA"), 1);  // the new file named complete first
  char head[8] = {};
  os::Dword read = 0;
  ASSERT_TRUE(win->ReadFile(reader, head, sizeof head, &read));
  EXPECT_EQ(std::string(head, read), "; mine\r\n");
  EXPECT_EQ(fs.Contents(file).substr(8, 8), "[DRAM]\r\n");
  win->CloseHandle(reader);
  EXPECT_TRUE(OnlyTheFile());
}

TEST_F(SaveInPlaceTest, ANewFileIsMovedIntoPlace) {
  fs.Remove(file);
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), FreshText());
  EXPECT_EQ(win->CallCount("ReplaceFileA"), 0);
  EXPECT_EQ(win->CallCount("MoveFileExA"), 1);
}

// What each answer of ReplaceFileA leads to.
TEST_F(SaveInPlaceTest, EveryAnswerOfTheReplace) {
  enum Outcome { Moved, Waited, Refused };
  struct Case {
    os::Dword error;
    Outcome outcome;
  };
  const Case cases[] = {
      {os::kErrorInvalidFunction, Moved},  // a file system without it
      {os::kErrorNotSupported, Moved},
      {os::kErrorInvalidParameter, Moved},
      {os::kErrorCallNotImplemented, Moved},
      {os::kErrorFileNotFound, Moved},             // the old file went meanwhile
      {os::kErrorUnableToMoveReplacement, Moved},  // the old file went, the new one stayed
      {os::kErrorSharingViolation, Waited},
      {os::kErrorLockViolation, Waited},
      {os::kErrorUnableToRemoveReplaced, Waited},
      {os::kErrorAccessDenied, Refused},
      {os::kErrorDiskFull, Refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    fs.Remove(file);
    fs.AddFile(file, kOld, os::kFileAttributeHidden);
    win->ClearFailures();
    win->calls.clear();
    win->sleptMilliseconds = 0;
    win->FailCall("ReplaceFileA", c.error);
    bool saved = SaveRegisterFile(file);
    EXPECT_EQ(saved, c.outcome != Refused);
    EXPECT_EQ(fs.Contents(file), saved ? Fresh() : kOld);
    EXPECT_EQ(win->CallCount("MoveFileExA"), c.outcome == Moved ? 2 : 1);
    EXPECT_EQ(win->CallCount("ReplaceFileA"), c.outcome == Waited ? 2 : 1);
    EXPECT_EQ(win->sleptMilliseconds, c.outcome == Waited ? ini::kReplaceRetryMilliseconds : 0u);
    EXPECT_NE(fs.Attributes(file) & os::kFileAttributeHidden, 0u);
    EXPECT_TRUE(OnlyTheFile());
  }
  // The old file went and the new one cannot take its name either: it stays beside, whole.
  win->ClearFailures();
  win->FailCall("ReplaceFileA", os::kErrorUnableToMoveReplacement);
  win->FailCall("MoveFileExA", os::kErrorAccessDenied, 1);
  EXPECT_FALSE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file + ini::kSavedSuffix), Fresh());
}

// A replace is two steps; a crash between them leaves the complete new file under its own
// name and none under the file's. The next read (a load, or the read before a save) puts it in
// place. With the old file still there, an earlier save did not finish and its leftovers go.
TEST_F(SaveInPlaceTest, AReplaceInterruptedBetweenItsStepsIsFinishedByTheNextRead) {
  const std::string saved = file + ini::kSavedSuffix;
  const std::string codes = CodesOf();
  const std::string fresh = Fresh();
  fs.Remove(file);
  fs.AddFile(saved, fresh);
  Clear();
  ASSERT_TRUE(LoadRegisterFile(file));
  EXPECT_EQ(CodesOf(), codes);
  EXPECT_EQ(fs.Contents(file), fresh);
  EXPECT_TRUE(OnlyTheFile());

  fs.Remove(file);
  fs.AddFile(saved, fresh);
  FillDistinct(9);
  ASSERT_TRUE(SaveLinkSection(file));  // updates the recovered file
  EXPECT_EQ(fs.Contents(file).substr(0, 60), fresh.substr(0, 60));
  EXPECT_TRUE(OnlyTheFile());

  // The old file in place: a leftover is never read, and a save discards it.
  fs.AddFile(saved, "[DRAM]\r\nTcl=7\r\n");
  fs.AddFile(file + ini::kSavingSuffix, "[DRAM]\r\nTc");
  const std::string now = fs.Contents(file);
  Clear();
  ASSERT_TRUE(LoadRegisterFile(file));
  EXPECT_NE(Code("Tcl"), 7u);
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), now);
  EXPECT_TRUE(OnlyTheFile());
  // Nothing to finish: a missing file stays missing.
  fs.Remove(file);
  EXPECT_FALSE(LoadRegisterFile(file));
  EXPECT_TRUE(fs.List(folder).empty());
}

// Another program holds the file open for a moment: the save waits and then succeeds; one
// that holds it for longer than about a second gets "Save Error" and the old file.
TEST_F(SaveInPlaceTest, AFileHeldOpenForAMomentIsWaitedFor) {
  for (bool replaceSupported : {true, false}) {
    SCOPED_TRACE(replaceSupported ? "ReplaceFileA" : "MoveFileExA");
    fs.replaceSupported = replaceSupported;
    for (int releasedAfter : {1, 3, ini::kReplaceAttempts - 1, ini::kReplaceAttempts}) {
      SCOPED_TRACE(releasedAfter);
      fs.Remove(file);
      fs.AddFile(file, kOld);
      os::Handle holder = Hold(os::kFileShareRead);
      int sleeps = 0;
      win->sleptMilliseconds = 0;
      win->calls.clear();
      win->onSleep = [&](os::Dword) {
        if (++sleeps == releasedAfter) win->CloseHandle(holder);
      };
      bool saved = SaveRegisterFile(file);
      bool waitedLongEnough = releasedAfter < ini::kReplaceAttempts;
      EXPECT_EQ(saved, waitedLongEnough);
      EXPECT_EQ(fs.Contents(file), saved ? Fresh() : kOld);
      EXPECT_EQ(sleeps, std::min(releasedAfter, ini::kReplaceAttempts - 1));
      EXPECT_EQ(win->sleptMilliseconds,
                static_cast<std::uint64_t>(sleeps) * ini::kReplaceRetryMilliseconds);
      // Nothing is moved while the file is held: the replace is asked for only once it is free.
      EXPECT_EQ(win->CallCount("ReplaceFileA"), saved ? 1 : 0);
      if (!waitedLongEnough) win->CloseHandle(holder);
      EXPECT_TRUE(OnlyTheFile());
      EXPECT_EQ(win->OpenHandleCount(sim::HandleKind::File), 0);
    }
  }
  // The whole wait is about a second.
  EXPECT_EQ((ini::kReplaceAttempts - 1) * ini::kReplaceRetryMilliseconds, 1000u);
}

}  // namespace
