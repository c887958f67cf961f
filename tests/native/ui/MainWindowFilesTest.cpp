// The main window's "Save ..." and "Load ..." commands over memory dialogs and the simulated
// file system: the dialog's exact settings, cancelled dialogs, saved and loaded files, the
// error messages, a load that fails half-way, and the file name the dialog remembers.
#include <string>
#include <vector>

#include "files/RegisterFile.h"
#include "tests/native/ui/MainWindowFixture.h"

namespace {

class MainWindowFiles : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Create();
  }

  MemoryOpenDialog& Dialog() { return Mem(form->OpenDialog); }

  // The user confirms `path` in the next dialog (nullopt: cancels it).
  void Answer(std::optional<std::string> path) { Dialog().answers.push_back(std::move(path)); }

  // A register file as another run of the program would have saved the caches with the
  // given code for CAS latency.
  std::string SavedFile(std::uint32_t casCode) {
    std::uint32_t saved = Registers[0].value;
    SetFieldCode(F("Tcl"), casCode);
    const std::string path = "C:\\Data\\other.mvn";
    EXPECT_TRUE(SaveDramSection(path) && SaveLinkSection(path));
    Registers[0].value = saved;
    std::string contents = win.fs.Contents(path);
    win.fs.Remove(path);
    return contents;
  }

  std::vector<std::string> ListTexts() {
    std::vector<std::string> texts;
    for (ChoiceBox* list : form->BoundLists()) texts.push_back(list->Text());
    return texts;
  }
};

constexpr OpenOptions kSaveOptions = ofExtensionDifferent | ofPathMustExist | ofOverwritePrompt |
                                     ofNoReadOnlyReturn | ofHideReadOnly | ofEnableSizing;
constexpr OpenOptions kLoadOptions =
    ofExtensionDifferent | ofPathMustExist | ofFileMustExist | ofHideReadOnly | ofEnableSizing;

TEST_F(MainWindowFiles, BothCommandsSetEveryDialogSettingBeforeEachShow) {
  // Settings left behind by the other command, or by anyone, do not leak into the next show.
  Dialog().Options = ofFileMustExist | ofOverwritePrompt;
  Dialog().Title = "Other";
  Dialog().FilterIndex = 2;
  Dialog().DefaultExt = "txt";
  form->SaveClick();
  form->RestoreClick();
  form->SaveClick();
  ASSERT_EQ(Dialog().shown.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const MemoryOpenDialog::Shown& s = Dialog().shown[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(s.options, i == 1 ? kLoadOptions : kSaveOptions);
    EXPECT_EQ(s.filter, "Register files (*.mvn)|*.MVN|All Files (*.*)|*.*");
    EXPECT_EQ(s.filterIndex, 1);
    EXPECT_EQ(s.title, "Open");
    EXPECT_EQ(s.defaultExt, "mvn");
    // Without a folder of its own the dialog opens in the current directory.
    EXPECT_TRUE(s.forceCurrentDirectory);
    EXPECT_EQ(s.initialDir, win.fs.currentDirectory);
  }
  // One dialog object serves both commands.
  EXPECT_EQ(factory.dialogs.size(), 1u);
}

TEST_F(MainWindowFiles, CancelledDialogsChangeAndShowNothing) {
  const std::vector<std::string> before = ListTexts();
  // The caches change behind the window's back: a cancelled load must not redisplay them.
  SetFieldCode(F("Tcl"), 1);
  form->RestoreClick();
  EXPECT_EQ(ListTexts(), before);
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
  form->SaveClick();
  EXPECT_EQ(ListTexts(), before);
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
  EXPECT_TRUE(factory.messages.shown.empty());
  EXPECT_TRUE(win.fs.List("C:\\Data").empty());
  EXPECT_EQ(FieldCode(F("Tcl")), 1u);
  // With "Set" enabled, a cancelled load leaves it enabled.
  Pick(form->RowCycleTime, "12");
  form->RestoreClick();
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
}

TEST_F(MainWindowFiles, SaveWritesBothSectionsAndTouchesNeitherListsNorSet) {
  Pick(form->CASLatency, "3.0");
  const std::vector<std::string> before = ListTexts();
  Answer("C:\\Data\\tune.mvn");
  Mem(form->Save1).Click();
  EXPECT_TRUE(factory.messages.shown.empty());
  std::string contents = win.fs.Contents("C:\\Data\\tune.mvn");
  EXPECT_NE(contents.find("[DRAM]"), std::string::npos);
  EXPECT_NE(contents.find("[LINK]"), std::string::npos);
  EXPECT_NE(contents.find("Tcl=2"), std::string::npos);
  EXPECT_LT(contents.find("[DRAM]"), contents.find("[LINK]"));
  EXPECT_EQ(ListTexts(), before);
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  EXPECT_EQ(Chip(2, 0x88), 0x13723335u);  // saving writes no hardware
}

TEST_F(MainWindowFiles, SaveGivesANewNameTheRegisterFileExtension) {
  Answer("C:\\Data\\tune");
  form->SaveClick();
  EXPECT_TRUE(win.fs.Exists("C:\\Data\\tune.mvn"));
  EXPECT_FALSE(win.fs.Exists("C:\\Data\\tune"));
  EXPECT_EQ(Dialog().FileName, "C:\\Data\\tune.mvn");
}

TEST_F(MainWindowFiles, AFailedSaveShowsTheSaveErrorAndKeepsTheOldFile) {
  win.fs.AddFile("C:\\Data\\tune.mvn", "[DRAM]\r\nTcl=1\r\n");
  win.fs.SetFolderWritable("C:\\Data", false);
  Answer("C:\\Data\\tune.mvn");
  factory.messages.answers = {kMessageIdYes};  // yes, replace it
  form->SaveClick();
  ASSERT_EQ(factory.messages.shown.size(), 2u);
  EXPECT_EQ(factory.messages.shown[1].text,
            "There was an error saving to file \"C:\\Data\\tune.mvn\".");
  EXPECT_EQ(factory.messages.shown[1].caption, "Save Error");
  EXPECT_EQ(factory.messages.shown[1].style, kMessageOk);
  EXPECT_EQ(win.fs.Contents("C:\\Data\\tune.mvn"), "[DRAM]\r\nTcl=1\r\n");
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
}

TEST_F(MainWindowFiles, SaveAsksBeforeReplacingAFileAndOnNoOffersTheDialogAgain) {
  win.fs.AddFile("C:\\Data\\tune.mvn", "old");
  Answer("C:\\Data\\tune.mvn");
  Answer(std::nullopt);
  factory.messages.answers = {kMessageIdNo};
  form->SaveClick();
  EXPECT_EQ(Dialog().shown.size(), 2u);
  ASSERT_EQ(factory.messages.shown.size(), 1u);
  EXPECT_EQ(factory.messages.shown[0].caption, "Open");
  EXPECT_EQ(factory.messages.shown[0].style, kMessageYesNo | kMessageIconExclamation);
  EXPECT_EQ(win.fs.Contents("C:\\Data\\tune.mvn"), "old");
  // Yes replaces it.
  Answer("C:\\Data\\tune.mvn");
  factory.messages.answers = {kMessageIdYes};
  form->SaveClick();
  EXPECT_NE(win.fs.Contents("C:\\Data\\tune.mvn").find("[DRAM]"), std::string::npos);
  EXPECT_EQ(factory.messages.shown.size(), 2u);
}

TEST_F(MainWindowFiles, SaveRefusesAReadOnlyFile) {
  win.fs.AddFile("C:\\Data\\locked.mvn", "old", os::kFileAttributeReadonly);
  Answer("C:\\Data\\locked.mvn");
  Answer(std::nullopt);
  form->SaveClick();
  ASSERT_EQ(factory.messages.shown.size(), 1u);
  EXPECT_NE(factory.messages.shown[0].text.find("read-only"), std::string::npos);
  EXPECT_EQ(win.fs.Contents("C:\\Data\\locked.mvn"), "old");
  EXPECT_EQ(Dialog().shown.size(), 2u);
}

TEST_F(MainWindowFiles, LoadShowsTheLoadedValuesAndEnablesSet) {
  win.fs.AddFile("C:\\Data\\tune.mvn", SavedFile(2));
  Answer("C:\\Data\\tune.mvn");
  Mem(form->Restore1).Click();
  EXPECT_TRUE(factory.messages.shown.empty());
  EXPECT_EQ(FieldCode(F("Tcl")), 2u);
  EXPECT_EQ(form->CASLatency.Text(), "3.0");
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  EXPECT_EQ(Chip(2, 0x88), 0x13723335u);  // loading writes no hardware
  ExpectListsShowTheCaches();
}

TEST_F(MainWindowFiles, LoadingTheValuesAlreadyThereStillEnablesSet) {
  Answer("C:\\Data\\same.mvn");
  form->SaveClick();
  const std::vector<std::uint32_t> before = {Registers[0].value, Registers[6].value};
  Answer("C:\\Data\\same.mvn");
  form->RestoreClick();
  EXPECT_EQ((std::vector<std::uint32_t>{Registers[0].value, Registers[6].value}), before);
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
}

TEST_F(MainWindowFiles, ALoadThatFailsHalfWayShowsWhatWasLoadedWithSetEnabled) {
  const std::string path = "C:\\Data\\tune.mvn";
  std::string file = SavedFile(2);
  // A file whose LINK section would change the link frequency as well.
  auto at = file.find("LinkFreq=");
  ASSERT_NE(at, std::string::npos);
  file.replace(at, file.find('\r', at) - at, "LinkFreq=0");
  win.fs.AddFile(path, file);
  // The calls the DRAM section takes: the same first call of the LINK section fails.
  std::uint32_t saved[kRegisterCount];
  for (int i = 0; i < kRegisterCount; ++i) saved[i] = Registers[i].value;
  std::size_t start = win.calls.size();
  ASSERT_TRUE(LoadDramSection(path));
  std::vector<std::string> dramCalls(win.calls.begin() + static_cast<long>(start), win.calls.end());
  ASSERT_FALSE(dramCalls.empty());
  for (int i = 0; i < kRegisterCount; ++i) Registers[i].value = saved[i];
  int skip = static_cast<int>(std::count(dramCalls.begin(), dramCalls.end(), dramCalls[0]));
  win.FailCall(dramCalls[0], os::kErrorSharingViolation, skip, -1);

  Answer(path);
  form->RestoreClick();
  win.ClearFailures();
  ASSERT_EQ(factory.messages.shown.size(), 1u);
  EXPECT_EQ(factory.messages.shown[0].text,
            "There was an error loading from file \"C:\\Data\\tune.mvn\".\n"
            "Some values may not have been loaded.");
  EXPECT_EQ(factory.messages.shown[0].caption, "Load Error");
  EXPECT_EQ(factory.messages.shown[0].style, kMessageOk);
  // The DRAM section came in and is shown; the LINK section did not.
  EXPECT_EQ(form->CASLatency.Text(), "3.0");
  EXPECT_EQ(form->LinkFreq.Text(), "5.0x");
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  ExpectListsShowTheCaches();
}

TEST_F(MainWindowFiles, ALoadFailingAtOnceStillRedisplaysAndEnablesSet) {
  win.fs.AddFile("C:\\Data\\tune.mvn", SavedFile(2));
  win.FailCall("CreateFileA", os::kErrorAccessDenied, 0, -1);
  Answer("C:\\Data\\tune.mvn");
  form->RestoreClick();
  win.ClearFailures();
  ASSERT_EQ(factory.messages.shown.size(), 1u);
  EXPECT_EQ(factory.messages.shown[0].caption, "Load Error");
  EXPECT_EQ(form->CASLatency.Text(), "2.5");
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
}

TEST_F(MainWindowFiles, TheDialogStartsWithTheFileChosenLastByEitherCommand) {
  Answer("C:\\Data\\a.mvn");
  form->SaveClick();
  form->RestoreClick();  // cancelled
  Answer("C:\\Data\\a.mvn");
  form->RestoreClick();
  win.fs.AddFile("C:\\Data\\b.mvn", SavedFile(1));
  Answer("C:\\Data\\b.mvn");
  form->RestoreClick();
  form->SaveClick();  // cancelled
  ASSERT_EQ(Dialog().shown.size(), 5u);
  EXPECT_EQ(Dialog().shown[0].fileName, "");
  EXPECT_EQ(Dialog().shown[1].fileName, "C:\\Data\\a.mvn");
  EXPECT_EQ(Dialog().shown[2].fileName, "C:\\Data\\a.mvn");
  EXPECT_EQ(Dialog().shown[3].fileName, "C:\\Data\\a.mvn");
  EXPECT_EQ(Dialog().shown[4].fileName, "C:\\Data\\b.mvn");
}

}  // namespace
