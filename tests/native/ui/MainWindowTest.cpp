// The main window's behaviour over memory controls and the simulated chip: what creation
// reads and shows, the user's picks and typing, "Refresh", "Set", the About and Exit commands
// and the two start-up commands.
#include <string>
#include <vector>

#include "app/Startup.h"
#include "files/StartupSettings.h"
#include "regs/Groups.h"
#include "tests/native/ui/MainWindowFixture.h"

namespace {

using MainWindow = MainWindowTest;

constexpr std::uint32_t kPowerOnTimingLow = 0x13723335u;  // CL2.5, Trc 10, ...
constexpr std::uint32_t kPowerOnLinkControl = 0x11110020u;

TEST_F(MainWindow, CreationReadsBothGroupsOnceAndShowsThemWithSetDisabled) {
  Create();
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
  // Seven registers read, each between one open and close of the device; nothing written.
  EXPECT_EQ(win.machine.deviceOpens, 7);
  EXPECT_TRUE(ConfigWrites().empty());
  EXPECT_EQ(Registers[0].value, kPowerOnTimingLow);
  ExpectListsShowTheCaches();
  EXPECT_EQ(form->CASLatency.Text(), "2.5");
  EXPECT_EQ(form->RowCycleTime.Text(), "10");
  EXPECT_EQ(form->LinkWidthIn.Text(), "16 bits");
  EXPECT_EQ(form->LinkWidthOut.Text(), "16 bits");
  EXPECT_EQ(form->LinkFreq.Text(), "5.0x");
  EXPECT_EQ(form->Ecc.Text(), "Disable");
  EXPECT_EQ(form->TwoT.Text(), "Enable");
  EXPECT_TRUE(factory.messages.shown.empty());
}

TEST_F(MainWindow, WithoutADriverTheListsShowTheEmptyCaches) {
  delete DeviceDriver;
  DeviceDriver = nullptr;
  Create();
  // Every code is 0: the first-listed choice for code 0, or its place in the list.
  EXPECT_EQ(form->CASLatency.Text(), "1.0 *");
  EXPECT_EQ(form->LinkFreq.Text(), "1.0x");
  EXPECT_EQ(form->LinkWidthOut.Text(), "8 bits");
  ExpectListsShowTheCaches();
  EXPECT_TRUE(factory.messages.shown.empty());  // the window reports nothing itself
}

TEST_F(MainWindow, SetWritesNothingWhileARegisterCouldNotBeRead) {
  // The window's first read of F0x88 answers all ones; without a driver nothing reads at all.
  for (bool withDriver : {true, false}) {
    SCOPED_TRACE(withDriver);
    factory.messages.shown.clear();
    if (withDriver) {
      win.machine.allOnesReadAt = win.machine.configAccesses + 5;
    } else {
      delete DeviceDriver;
      DeviceDriver = nullptr;
    }
    Create();
    Pick(form->CASLatency, "3.0");
    const std::uint32_t writes = SimNbWriteCount();
    Mem(form->SetRegistersButton).Click();
    EXPECT_EQ(SimNbWriteCount(), writes);
    EXPECT_EQ(Chip(2, 0x88), kPowerOnTimingLow);
    ASSERT_EQ(factory.messages.shown.size(), 1u);
    EXPECT_EQ(factory.messages.shown[0].text,
              "Unable to read the northbridge registers; nothing was written.\n");
    EXPECT_EQ(factory.messages.shown[0].caption, "Morvane");
    EXPECT_EQ(factory.messages.shown[0].style, kMessageOk | kMessageIconExclamation);
    EXPECT_TRUE(form->SetRegistersButton.Enabled());
    DestroyForms();
    form.reset();
  }
  // With the driver back, a Refresh reads everything and Set writes again.
  DeviceDriver = Initialized().release();
  Create();
  win.machine.allOnesReadAt = win.machine.configAccesses;
  Mem(form->RefreshButton).Click();
  EXPECT_FALSE(RegistersWritable());
  Mem(form->RefreshButton).Click();
  Pick(form->CASLatency, "3.0");
  Mem(form->SetRegistersButton).Click();
  EXPECT_EQ(Chip(2, 0x88), (kPowerOnTimingLow & ~7u) | 2u);
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
}

TEST_F(MainWindow, APickChangesOnlyTheCacheAndEnablesSet) {
  Create();
  Pick(form->CASLatency, "3.0");
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  EXPECT_EQ(FieldCode(F("Tcl")), 2u);
  EXPECT_EQ(Registers[0].value, (kPowerOnTimingLow & ~7u) | 2u);
  EXPECT_EQ(Chip(2, 0x88), kPowerOnTimingLow);  // the hardware waits for "Set"
  EXPECT_TRUE(ConfigWrites().empty());
  EXPECT_EQ(form->CASLatency.Text(), "3.0");
  ExpectListsShowTheCaches();
}

TEST_F(MainWindow, APickOfTheChoiceAlreadyShownStillEnablesSet) {
  Create();
  Pick(form->CASLatency, "2.5");
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  EXPECT_EQ(Registers[0].value, kPowerOnTimingLow);
}

TEST_F(MainWindow, APickIsShownInEveryListOfTheSameRegister) {
  Create();
  // Another list of the same register shows the new cached value at once, and the shared
  // choice list of the four clocks keeps the fields apart.
  Pick(form->MemClk2, "Disable");
  EXPECT_EQ(form->MemClk2.Text(), "Disable");
  EXPECT_EQ(form->MemClk1.Text(), "Enable");
  EXPECT_EQ(form->MemClk3.Text(), "Enable");
  EXPECT_EQ(form->TwoT.Text(), "Enable");  // bit 28 of another register
  ExpectListsShowTheCaches();
}

TEST_F(MainWindow, TypedTextGivesWayToTheCurrentChoiceAndLeavesSetAlone) {
  Create();
  Mem(form->CASLatency).UserType("2.7");
  EXPECT_EQ(form->CASLatency.Text(), "2.5");
  EXPECT_EQ(form->CASLatency.ItemIndex(), IndexOf(form->CASLatency, "2.5"));
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
  EXPECT_EQ(Registers[0].value, kPowerOnTimingLow);
  // Once enabled, typing does not disable it either.
  Pick(form->RowCycleTime, "12");
  Mem(form->CASLatency).UserType("");
  EXPECT_EQ(form->CASLatency.Text(), "2.5");
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  ExpectListsShowTheCaches();
}

TEST_F(MainWindow, TypingWhileTheListStillReportsItsItemReappliesThatItem) {
  Create();
  // A platform may keep the item selected while the user types: that item is applied again.
  Mem(form->CASLatency).UserType("2.", /*keepSelection=*/true);
  EXPECT_EQ(form->CASLatency.Text(), "2.5");
  EXPECT_EQ(Registers[0].value, kPowerOnTimingLow);
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
}

TEST_F(MainWindow, ACodeWithoutAChoiceShowsUnknownAndStaysUntilPicked) {
  Create();
  SetFieldCode(F("LinkFreq"), 9);
  SetFieldCode(F("WidthIN"), 2);
  form->ShowAllFields();
  EXPECT_EQ(form->LinkFreq.Text(), "UNKNOWN");
  EXPECT_EQ(form->LinkFreq.ItemIndex(), -1);
  EXPECT_EQ(form->LinkWidthIn.Text(), "UNKNOWN");
  EXPECT_EQ(form->LinkWidthIn.ItemIndex(), -1);
  // Typing into such a list changes nothing.
  Mem(form->LinkWidthIn).UserType("32 bits");
  EXPECT_EQ(form->LinkWidthIn.Text(), "UNKNOWN");
  EXPECT_EQ(FieldCode(F("WidthIN")), 2u);
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
  // Picking "2 bits" stores its code, 4.
  Pick(form->LinkWidthIn, "2 bits");
  EXPECT_EQ(FieldCode(F("WidthIN")), 4u);
  EXPECT_EQ(form->LinkWidthIn.Text(), "2 bits");
  EXPECT_EQ(form->LinkFreq.Text(), "UNKNOWN");
  EXPECT_EQ(FieldCode(F("LinkFreq")), 9u);
}

TEST_F(MainWindow, LinkFreqCode15SelectsTheFirstItem) {
  Create();
  SetFieldCode(F("LinkFreq"), 15);
  form->ShowAllFields();
  EXPECT_EQ(form->LinkFreq.ItemIndex(), 0);
  EXPECT_EQ(form->LinkFreq.Text(), "0.5x");
}

TEST_F(MainWindow, RefreshShowsTheHardwareAgainAndLeavesSetEnabled) {
  Create();
  Pick(form->CASLatency, "3.0");
  win.machine.deviceOpens = 0;
  form->RefreshButtonClick();
  EXPECT_EQ(win.machine.deviceOpens, 7);
  EXPECT_EQ(form->CASLatency.Text(), "2.5");
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  EXPECT_TRUE(ConfigWrites().empty());
  // "Set" then writes back the values just read.
  form->SetRegistersButtonClick();
  EXPECT_EQ(Chip(2, 0x88), kPowerOnTimingLow);
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
  // Refresh leaves a disabled button disabled.
  form->RefreshButtonClick();
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
}

TEST_F(MainWindow, RefreshShowsChangesMadeInTheChipMeanwhile) {
  Create();
  SimNbConfigWrite(2, 0x88, (kPowerOnTimingLow & ~7u) | 1u);
  EXPECT_EQ(form->CASLatency.Text(), "2.5");
  Mem(form->RefreshButton).Click();
  EXPECT_EQ(form->CASLatency.Text(), "2.0");
  ExpectListsShowTheCaches();
}

TEST_F(MainWindow, SetWritesAllSevenRegistersAndShowsTheReadBack) {
  Create();
  Pick(form->CASLatency, "3.0");
  // The chip takes no width out (those bits report the link's maximum): the read-back after
  // "Set" shows the old width again.
  Pick(form->LinkWidthOut, "8 bits");
  EXPECT_EQ(form->LinkWidthOut.Text(), "8 bits");
  win.machine.requests.clear();
  Mem(form->SetRegistersButton).Click();
  std::vector<std::uint32_t> written = ConfigWrites();
  EXPECT_EQ(written, (std::vector<std::uint32_t>{0x8000C288u, 0x8000C28Cu, 0x8000C290u, 0x8000C294u,
                                                 0x8000C088u, 0x8000C084u, 0x8000C090u}));
  EXPECT_EQ(Chip(2, 0x88), (kPowerOnTimingLow & ~7u) | 2u);
  EXPECT_EQ((Chip(0, 0x84) >> 20) & 7u, (kPowerOnLinkControl >> 20) & 7u);
  EXPECT_EQ(form->CASLatency.Text(), "3.0");
  EXPECT_EQ(form->LinkWidthOut.Text(), "16 bits");
  EXPECT_FALSE(form->SetRegistersButton.Enabled());
  ExpectListsShowTheCaches();
  // A disabled "Set" takes no click.
  win.machine.requests.clear();
  Mem(form->SetRegistersButton).Click();
  EXPECT_TRUE(ConfigWrites().empty());
}

TEST_F(MainWindow, SetWritesEvenTheRegistersNoneOfWhoseFieldsChanged) {
  Create();
  Pick(form->Ecc, "Disable");  // the value it already had
  win.machine.requests.clear();
  form->SetRegistersButtonClick();
  EXPECT_EQ(ConfigWrites().size(), 7u);
  EXPECT_EQ(SimNbDramCommandCount(), 0u);  // putting values back starts nothing in the chip
}

TEST_F(MainWindow, ExitClosesTheWindowWithoutAsking) {
  Create();
  Pick(form->CASLatency, "3.0");
  Mem(form->Exit1).Click();
  EXPECT_TRUE(Mem(form->Window).closed);
  EXPECT_TRUE(factory.messages.shown.empty());
  EXPECT_EQ(Chip(2, 0x88), kPowerOnTimingLow);  // unwritten changes are dropped
}

TEST_F(MainWindow, AboutShowsTheAboutWindowModallyAndIgnoresItsResult) {
  CreateForms(factory);
  ASSERT_NE(SetDRAMRegisterForm, nullptr);
  ASSERT_NE(FormAbout, nullptr);
  // The main window is created first, the About window after it.
  ASSERT_EQ(factory.forms.size(), 2u);
  EXPECT_EQ(&SetDRAMRegisterForm->Window, factory.forms[0].get());
  EXPECT_EQ(&FormAbout->Window, factory.forms[1].get());
  MemoryForm& about = Mem(FormAbout->Window);
  bool mainShownMeanwhile = true;
  about.whileModal = [&](MemoryForm& w) {
    mainShownMeanwhile = false;
    w.PressKey(kKeyEscape);
  };
  Pick(SetDRAMRegisterForm->CASLatency, "3.0");
  Mem(SetDRAMRegisterForm->About1).Click();
  EXPECT_EQ(about.modalShows, 1);
  EXPECT_FALSE(mainShownMeanwhile);
  EXPECT_FALSE(about.visible);
  EXPECT_TRUE(SetDRAMRegisterForm->SetRegistersButton.Enabled());
  EXPECT_EQ(FormAbout->Window.Caption(), SetDRAMRegisterForm->Window.Caption());
  about.whileModal = [](MemoryForm& w) { w.Close(); };
  SetDRAMRegisterForm->About1Click();
  EXPECT_EQ(about.modalShows, 2);
  DestroyForms();
  EXPECT_EQ(SetDRAMRegisterForm, nullptr);
  EXPECT_EQ(FormAbout, nullptr);
}

TEST_F(MainWindow, AboutBeforeTheAboutWindowExistsDoesNothing) {
  Create();
  form->About1Click();
  EXPECT_EQ(factory.forms.size(), 1u);
}

TEST_F(MainWindow, StartupCommandsRegisterAndRemoveTheRunValueAndLeaveTheWindowAlone) {
  const std::string run = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  ProgramDirectory = "C:\\Program Files\\Morvane\\";
  ProgramFilePath = ProgramDirectory + "\\morvane.exe";
  StartupFilePath = ProgramDirectory + "\\startup.mvn";
  win.session.AddKey(run);
  Create();
  Pick(form->CASLatency, "3.0");
  Mem(form->Setstartup1).Click();
  EXPECT_TRUE(factory.messages.shown.empty());
  EXPECT_EQ(win.session.StringValue(run, "Morvane"),
            StartupCommandLine(ProgramFilePath, StartupFilePath));
  EXPECT_TRUE(win.fs.Exists("C:\\Program Files\\Morvane\\startup.mvn"));
  EXPECT_NE(win.fs.Contents("C:\\Program Files\\Morvane\\startup.mvn").find("Tcl=2"),
            std::string::npos);
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  EXPECT_EQ(form->CASLatency.Text(), "3.0");
  Mem(form->Removestartupsettings1).Click();
  EXPECT_FALSE(win.session.StringValue(run, "Morvane").has_value());
  EXPECT_TRUE(form->SetRegistersButton.Enabled());
  // A refused registration is reported through the window's message box.
  win.session.DenyWrites(run);
  form->ApplyStartupSettingsClick();
  ASSERT_EQ(factory.messages.shown.size(), 1u);
  EXPECT_EQ(factory.messages.shown[0].caption, "Registry Error");
  ProgramDirectory.clear();
  ProgramFilePath.clear();
  StartupFilePath.clear();
}

// On Vista and later the same commands register and delete the log-on task, and a refused
// registration names the task with the system's text for the error.
TEST_F(MainWindow, StartupCommandsOnVistaAndLaterUseTheLogonTask) {
  win.machine.SetPlatform(sim::Platform::NtWow64);
  ProgramDirectory = "C:\\Program Files\\Morvane\\";
  ProgramFilePath = ProgramDirectory + "\\morvane.exe";
  StartupFilePath = ProgramDirectory + "\\startup.mvn";
  Create();
  Mem(form->Setstartup1).Click();
  EXPECT_TRUE(factory.messages.shown.empty());
  ASSERT_NE(win.session.FindTask("Morvane"), nullptr);
  EXPECT_EQ(win.session.FindTask("Morvane")->xml, LogonTaskXml(ProgramFilePath, StartupFilePath));
  Mem(form->Removestartupsettings1).Click();
  EXPECT_TRUE(factory.messages.shown.empty());
  EXPECT_EQ(win.session.FindTask("Morvane"), nullptr);
  win.FailCall("RegisterTask", 0x80070005u);
  Mem(form->Setstartup1).Click();
  ASSERT_EQ(factory.messages.shown.size(), 1u);
  EXPECT_EQ(factory.messages.shown[0].caption, "Registry Error");
  EXPECT_EQ(factory.messages.shown[0].text,
            "Unable to create the log-on task \"Morvane\"\nAccess is denied.\r\n");
  EXPECT_TRUE(win.fs.Exists("C:\\Program Files\\Morvane\\startup.mvn"));
  ProgramDirectory.clear();
  ProgramFilePath.clear();
  StartupFilePath.clear();
}

}  // namespace
