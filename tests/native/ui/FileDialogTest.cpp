// The open-file dialog's settings in the platform's terms, and what it adds to the platform's
// dialog: the current directory as the starting folder, the default extension for a new name,
// the question before an existing file is replaced and the refusal of read-only files.
#include <gtest/gtest.h>

#include <string>

#include "sim/SimWindows.h"
#include "tests/support/MemoryControls.h"
#include "ui/FileDialog.h"

namespace {

TEST(OpenFileNameFlags, EachOptionMapsToItsFlagAndTheDialogIsExplorerStyle) {
  EXPECT_EQ(OpenFileNameFlags(0), kOfnExplorer);
  EXPECT_EQ(OpenFileNameFlags(ofOverwritePrompt), kOfnExplorer | 0x2u);
  EXPECT_EQ(OpenFileNameFlags(ofHideReadOnly), kOfnExplorer | 0x4u);
  EXPECT_EQ(OpenFileNameFlags(ofExtensionDifferent), kOfnExplorer | 0x400u);
  EXPECT_EQ(OpenFileNameFlags(ofPathMustExist), kOfnExplorer | 0x800u);
  EXPECT_EQ(OpenFileNameFlags(ofFileMustExist), kOfnExplorer | 0x1000u);
  EXPECT_EQ(OpenFileNameFlags(ofNoReadOnlyReturn), kOfnExplorer | 0x8000u);
  EXPECT_EQ(OpenFileNameFlags(ofEnableSizing), kOfnExplorer | 0x800000u);
  // The two commands' sets.
  EXPECT_EQ(OpenFileNameFlags(ofExtensionDifferent | ofPathMustExist | ofOverwritePrompt |
                              ofNoReadOnlyReturn | ofHideReadOnly | ofEnableSizing),
            0x80000u | 0x400u | 0x800u | 0x2u | 0x8000u | 0x4u | 0x800000u);
  EXPECT_EQ(OpenFileNameFlags(ofExtensionDifferent | ofPathMustExist | ofFileMustExist |
                              ofHideReadOnly | ofEnableSizing),
            0x80000u | 0x400u | 0x800u | 0x1000u | 0x4u | 0x800000u);
}

TEST(PlatformFilter, BarsBecomeTerminatorsAndTheListEndsWithTwo) {
  const std::string expected("Register files (*.mvn)\0*.MVN\0All Files (*.*)\0*.*\0\0", 50);
  EXPECT_EQ(PlatformFilter("Register files (*.mvn)|*.MVN|All Files (*.*)|*.*"), expected);
  EXPECT_EQ(PlatformFilter("Text|*.txt"), std::string("Text\0*.txt\0\0", 12));
}

TEST(HasExtension, LooksAtTheLastComponentOnly) {
  EXPECT_TRUE(HasExtension("C:\\Data\\tune.mvn"));
  EXPECT_TRUE(HasExtension("tune.MVN"));
  EXPECT_TRUE(HasExtension("C:\\Data\\tune."));  // a trailing dot asks for no extension
  EXPECT_FALSE(HasExtension("C:\\Data\\tune"));
  EXPECT_FALSE(HasExtension("C:\\My.Data\\tune"));
  EXPECT_FALSE(HasExtension("C:tune"));
  EXPECT_FALSE(HasExtension(""));
}

class OpenDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    win->fs.AddFolder("C:\\Data");
    ForceCurrentDirectory = false;
  }
  void TearDown() override { ForceCurrentDirectory = false; }

  sim::ScopedSimWindows win;
  MemoryMessageBox messages;
  MemoryOpenDialog dialog{messages};
};

TEST_F(OpenDialog, StartsInTheCurrentDirectoryOnlyWhenAskedAndWithoutAFolderOfItsOwn) {
  win->fs.AddFolder("C:\\Work");
  win->fs.currentDirectory = "C:\\Work";
  EXPECT_FALSE(dialog.Execute());
  ForceCurrentDirectory = true;
  EXPECT_FALSE(dialog.Execute());
  dialog.InitialDir = "C:\\Data";
  EXPECT_FALSE(dialog.Execute());
  ASSERT_EQ(dialog.shown.size(), 3u);
  EXPECT_EQ(dialog.shown[0].initialDir, "");
  EXPECT_EQ(dialog.shown[1].initialDir, "C:\\Work");
  EXPECT_EQ(dialog.shown[2].initialDir, "C:\\Data");
}

TEST_F(OpenDialog, KeepsTheChosenNameAndGivesItBackAtTheNextShow) {
  dialog.answers = {std::string("C:\\Data\\a.mvn"), std::nullopt, std::string("C:\\Data\\b.mvn")};
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "C:\\Data\\a.mvn");
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "C:\\Data\\a.mvn");
  EXPECT_TRUE(dialog.Execute());
  ASSERT_EQ(dialog.shown.size(), 3u);
  EXPECT_EQ(dialog.shown[0].fileName, "");
  EXPECT_EQ(dialog.shown[1].fileName, "C:\\Data\\a.mvn");
  EXPECT_EQ(dialog.shown[2].fileName, "C:\\Data\\a.mvn");
  EXPECT_EQ(dialog.FileName, "C:\\Data\\b.mvn");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(OpenDialog, ANewNameWithoutExtensionGetsTheDefaultOne) {
  dialog.DefaultExt = "mvn";
  dialog.answers = {std::string("C:\\Data\\tune"), std::string("C:\\Data\\tune."),
                    std::string("C:\\Data\\old")};
  win->fs.AddFile("C:\\Data\\old", "x");
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "C:\\Data\\tune.mvn");
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "C:\\Data\\tune.");
  // An existing file without extension is the file the user chose.
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "C:\\Data\\old");
  // Without a default extension nothing is added.
  dialog.DefaultExt.clear();
  dialog.answers = {std::string("C:\\Data\\plain")};
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "C:\\Data\\plain");
}

TEST_F(OpenDialog, AsksBeforeAnExistingFileIsReplacedAndShowsItselfAgainOnNo) {
  win->fs.AddFile("C:\\Data\\tune.mvn", "old");
  dialog.Options = ofOverwritePrompt;
  dialog.Title = "Open";
  dialog.answers = {std::string("C:\\Data\\tune.mvn"), std::string("C:\\Data\\tune.mvn")};
  messages.answers = {kMessageIdNo, kMessageIdYes};
  EXPECT_TRUE(dialog.Execute());
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[0].text,
            "C:\\Data\\tune.mvn already exists.\nDo you want to replace it?");
  EXPECT_EQ(messages.shown[0].caption, "Open");
  EXPECT_EQ(messages.shown[0].style, kMessageYesNo | kMessageIconExclamation);
  // Shown again with the refused name in its box.
  ASSERT_EQ(dialog.shown.size(), 2u);
  EXPECT_EQ(dialog.shown[1].fileName, "C:\\Data\\tune.mvn");
}

TEST_F(OpenDialog, CancellingAfterARefusalKeepsTheNameChosenBefore) {
  win->fs.AddFile("C:\\Data\\tune.mvn", "old");
  dialog.Options = ofOverwritePrompt;
  dialog.FileName = "C:\\Data\\before.mvn";
  dialog.answers = {std::string("C:\\Data\\tune.mvn"), std::nullopt};
  messages.answers = {kMessageIdNo};
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.FileName, "C:\\Data\\before.mvn");
}

TEST_F(OpenDialog, NeitherAsksForNewFilesNorWithoutTheOption) {
  win->fs.AddFile("C:\\Data\\tune.mvn", "old");
  dialog.answers = {std::string("C:\\Data\\tune.mvn")};
  EXPECT_TRUE(dialog.Execute());  // no overwrite prompt asked for
  dialog.Options = ofOverwritePrompt | ofNoReadOnlyReturn;
  dialog.answers = {std::string("C:\\Data\\new.mvn")};
  EXPECT_TRUE(dialog.Execute());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(OpenDialog, RefusesReadOnlyFilesWhenAskedTo) {
  win->fs.AddFile("C:\\Data\\locked.mvn", "old", os::kFileAttributeReadonly);
  dialog.Title = "Open";
  dialog.Options = ofNoReadOnlyReturn | ofOverwritePrompt;
  dialog.answers = {std::string("C:\\Data\\locked.mvn"), std::nullopt};
  EXPECT_FALSE(dialog.Execute());
  ASSERT_EQ(messages.shown.size(), 1u);  // refused, not asked about
  EXPECT_EQ(messages.shown[0].text,
            "C:\\Data\\locked.mvn\nThis file is set to read-only.\n"
            "Try again with a different file name.");
  EXPECT_EQ(messages.shown[0].style, kMessageOk | kMessageIconExclamation);
  EXPECT_EQ(dialog.shown.size(), 2u);
  // Loading may take a read-only file.
  dialog.Options = ofFileMustExist;
  dialog.answers = {std::string("C:\\Data\\locked.mvn")};
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(messages.shown.size(), 1u);
}

}  // namespace
