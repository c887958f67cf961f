// Saves over an existing register file: replaced (the file keeps its attributes), by a move
// where that cannot be used, and after a wait when another program holds the file open for a
// moment, also when the replace stopped halfway.
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

TEST_F(SaveInPlaceTest, TheFileIsReplacedAndKeepsItsAttributes) {
  // A program that shares everything keeps reading the old data, which has left the name.
  os::Handle reader = Hold(os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete);
  ASSERT_TRUE(SaveRegisterFile(file));
  EXPECT_EQ(fs.Contents(file), Fresh());
  EXPECT_EQ(fs.Attributes(file), os::kFileAttributeHidden | sim::kFileAttributeArchive);
  EXPECT_EQ(win->CallCount("ReplaceFileA"), 1);
  EXPECT_EQ(win->CallCount("MoveFileExA"), 1);  // the new file named complete first
  char head[24] = {};
  os::Dword read = 0;
  ASSERT_TRUE(win->ReadFile(reader, head, sizeof head, &read));
  EXPECT_EQ(std::string(head, read), kOld);
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
}

// The replace stops halfway (the new file could not take the name): the move into place is
// waited for as the replace is, the old file's data never stays under a name of the system's
// choosing, and a move that cannot be made leaves the old file in place, or the new one beside
// for the next read to put in place.
TEST_F(SaveInPlaceTest, AReplaceThatStopsHalfwayIsFinishedByAMove) {
  enum Outcome { Saved, OldKept, NewBeside };
  struct Case {
    os::Dword stop;       // what the replace answers, having done what it does then
    os::Dword moveError;  // the fallback move's failure, if any
    int moveFailures;     // how many times in a row (-1: always)
    Outcome outcome;
  };
  const int patience = ini::kReplaceAttempts;
  const Case cases[] = {
      {os::kErrorUnableToMoveReplacement, 0, 0, Saved},
      {os::kErrorUnableToMoveReplacement2, 0, 0, Saved},
      {os::kErrorUnableToMoveReplacement, os::kErrorSharingViolation, patience - 1, Saved},
      {os::kErrorUnableToMoveReplacement2, os::kErrorSharingViolation, patience - 1, Saved},
      {os::kErrorUnableToMoveReplacement2, os::kErrorLockViolation, 2, Saved},
      {os::kErrorUnableToMoveReplacement, os::kErrorAccessDenied, 1, OldKept},
      {os::kErrorUnableToMoveReplacement, os::kErrorSharingViolation, -1, OldKept},
      // The old file is put back from the backup name once the wait is over.
      {os::kErrorUnableToMoveReplacement2, os::kErrorSharingViolation, patience, OldKept},
      {os::kErrorUnableToMoveReplacement2, os::kErrorAccessDenied, 1, OldKept},
      // Not even that: the new file stays beside, whole.
      {os::kErrorUnableToMoveReplacement2, os::kErrorSharingViolation, -1, NewBeside},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.stop) + ", move failing " + std::to_string(c.moveFailures) +
                 " times with " + std::to_string(c.moveError));
    for (const std::string& name : fs.List(folder)) fs.Remove(folder + "\\" + name);
    fs.AddFile(file, kOld, os::kFileAttributeHidden);
    win->ClearFailures();
    win->sleptMilliseconds = 0;
    fs.replaceStopsWith = c.stop;
    // The first move names the new file complete; the ones after the replace are the fallback.
    if (c.moveFailures != 0) win->FailCall("MoveFileExA", c.moveError, 1, c.moveFailures);
    bool saved = SaveRegisterFile(file);
    EXPECT_EQ(saved, c.outcome == Saved);
    switch (c.outcome) {
      case Saved:
        EXPECT_EQ(fs.Contents(file), Fresh());
        EXPECT_NE(fs.Attributes(file) & os::kFileAttributeHidden, 0u);
        EXPECT_TRUE(OnlyTheFile());
        EXPECT_EQ(win->sleptMilliseconds,
                  ini::kReplaceRetryMilliseconds * static_cast<unsigned>(c.moveFailures));
        break;
      case OldKept:
        EXPECT_EQ(fs.Contents(file), kOld);
        EXPECT_TRUE(OnlyTheFile());
        break;
      case NewBeside:
        EXPECT_FALSE(fs.Exists(file));
        EXPECT_EQ(fs.Contents(file + ini::kSavedSuffix), Fresh());
        win->ClearFailures();
        EXPECT_TRUE(LoadRegisterFile(file));
        EXPECT_EQ(fs.Contents(file), Fresh());
        // The old data's copy goes with the next save.
        EXPECT_TRUE(SaveRegisterFile(file));
        EXPECT_TRUE(OnlyTheFile());
        break;
    }
    EXPECT_EQ(fs.replaceStopsWith, 0u);
  }
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
