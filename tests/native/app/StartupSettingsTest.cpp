// Start-up settings over the simulated registry and file system: the start-up file, the Run
// value's command line and size, the open-then-create rule, the messages, and the stored
// command line running the silent apply as Windows would at log-on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "files/RegisterFile.h"
#include "files/StartupSettings.h"
#include "hw/DeviceDriver.h"
#include "regs/Codec.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"
#include "ui/Setregform.h"

namespace {

constexpr char kRun[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kCreateError[] =
    "Unable to create system registry value\n"
    "\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\WindowsCurrentVersion\\Run\\Morvane";

class RecordingBox : public MessageBoxControl {
 public:
  struct Shown {
    std::string text, caption;
    unsigned style;
  };
  int Show(const std::string& text, const std::string& caption, unsigned style) override {
    shown.push_back({text, caption, style});
    return 1;
  }
  std::vector<Shown> shown;
};

class NoWindows : public Application {
 public:
  std::optional<Exception> Initialize(const std::string&) override { return std::nullopt; }
  std::optional<Exception> RunWindowed() override { return std::nullopt; }
};

class StartupSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseProgramFolder("C:\\Program Files\\Morvane\\");
    // Distinct codes in every field, as the window would hold them.
    for (PciRegister& reg : Registers) reg.value = 0;
    int n = 0;
    for (const RegisterField& field : AllFields()) {
      SetFieldCode(field, static_cast<std::uint32_t>(n++ % (1 << field.width)));
    }
    values = Snapshot();
  }

  void UseProgramFolder(const std::string& folder) {
    ProgramDirectory = folder;
    ProgramFilePath = folder + "\\morvane.exe";
    StartupFilePath = folder + "\\startup.mvn";
    win->fs.AddFolder(folder.substr(0, folder.size() - 1));
  }

  static std::vector<std::uint32_t> Snapshot() {
    std::vector<std::uint32_t> codes;
    for (const RegisterField& field : AllFields()) codes.push_back(FieldCode(field));
    return codes;
  }

  // The codes the start-up file holds, loaded over cleared caches.
  std::vector<std::uint32_t> FileCodes() {
    for (PciRegister& reg : Registers) reg.value = 0;
    EXPECT_TRUE(LoadDramSection(StartupFilePath) && LoadLinkSection(StartupFilePath));
    return Snapshot();
  }

  std::optional<std::string> RunValue() { return win->session.StringValue(kRun, "Morvane"); }

  // The window's command: the operation, then what the window shows for its result.
  void Apply() {
    box.shown.clear();
    last = ApplyStartupSettings(ProgramFilePath, StartupFilePath);
    ReportStartupResult(box, last, StartupFilePath);
  }

  sim::ScopedSimWindows win;
  RecordingBox box;
  StartupResult last;
  std::vector<std::uint32_t> values;
};

TEST_F(StartupSettingsTest, ApplyWritesTheFileAndTheRunValue) {
  Apply();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_EQ(RunValue(),
            "\"C:\\Program Files\\Morvane\\\\morvane.exe\" "
            "C:\\Program Files\\Morvane\\\\startup.mvn");
  auto value = win->session.Value(kRun, "Morvane");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, os::kRegSz);
  // The stored size counts the terminating NUL.
  EXPECT_EQ(value->data.size(), RunValue()->size() + 1);
  ASSERT_TRUE(win->fs.Exists("C:\\Program Files\\Morvane\\startup.mvn"));
  EXPECT_EQ(FileCodes(), values);
  // Every key the program opened is closed again.
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
}

TEST_F(StartupSettingsTest, ProgramPathIsQuotedOnlyWhenItHoldsABlank) {
  UseProgramFolder("C:\\Morvane\\");
  Apply();
  EXPECT_EQ(RunValue(), "C:\\Morvane\\\\morvane.exe C:\\Morvane\\\\startup.mvn");
  EXPECT_EQ(StartupCommandLine(ProgramFilePath, StartupFilePath), *RunValue());
  // The start-up file path stays bare whatever it holds.
  UseProgramFolder("D:\\My Tools\\Memory Tuning\\");
  EXPECT_EQ(StartupCommandLine(ProgramFilePath, StartupFilePath),
            "\"D:\\My Tools\\Memory Tuning\\\\morvane.exe\" D:\\My Tools\\Memory "
            "Tuning\\\\startup.mvn");
}

TEST_F(StartupSettingsTest, ApplyTwiceLeavesOneValueWithTheSecondCommandAndValues) {
  win->session.SetStringValue(kRun, "Other Tool", "C:\\other.exe");
  Apply();
  UseProgramFolder("C:\\Morvane\\");
  SetFieldCode(*FindField("Tcl"), 6);
  values = Snapshot();
  Apply();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_EQ(win->session.ValueCount(kRun), 2);  // "Morvane" and the other tool's
  EXPECT_EQ(RunValue(), "C:\\Morvane\\\\morvane.exe C:\\Morvane\\\\startup.mvn");
  EXPECT_EQ(win->session.StringValue(kRun, "Other Tool"), "C:\\other.exe");
  EXPECT_EQ(FileCodes(), values);
}

TEST_F(StartupSettingsTest, ApplyRewritesAnEarlierStartupFileInPlace) {
  win->fs.AddFile("C:\\Program Files\\Morvane\\startup.mvn",
                  "; my notes\r\n[DRAM]\r\nTcl=1\r\n[Mine]\r\nkeep=me\r\n");
  Apply();
  std::string text = win->fs.Contents("C:\\Program Files\\Morvane\\startup.mvn");
  EXPECT_NE(text.find("; my notes"), std::string::npos);
  EXPECT_NE(text.find("[Mine]\r\nkeep=me"), std::string::npos);
  EXPECT_EQ(FileCodes(), values);
}

TEST_F(StartupSettingsTest, OpensTheRunKeyFirstAndCreatesItOnlyWhenMissing) {
  Apply();
  EXPECT_EQ(win->CallCount("RegOpenKeyExA"), 1);
  EXPECT_EQ(win->CallCount("RegCreateKeyExA"), 0);

  win->session.RemoveKey(kRun);
  win->calls.clear();
  Apply();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_EQ(win->CallCount("RegOpenKeyExA"), 1);
  EXPECT_EQ(win->CallCount("RegCreateKeyExA"), 1);
  EXPECT_TRUE(RunValue());
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
}

TEST_F(StartupSettingsTest, UserWithoutRightsToTheKeyGetsTheFileAndTheRegistryError) {
  win->session.DenyWrites("HKEY_LOCAL_MACHINE");
  Apply();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].text, kCreateError);
  EXPECT_EQ(box.shown[0].caption, "Registry Error");
  EXPECT_EQ(box.shown[0].style, kMessageOk);
  EXPECT_FALSE(RunValue());
  // The start-up file was written before and stays.
  EXPECT_EQ(FileCodes(), values);
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
}

TEST_F(StartupSettingsTest, AFailedValueWriteShowsTheRegistryErrorAndClosesTheKey) {
  win->FailCall("RegSetValueExA", os::kErrorNotEnoughMemory);
  Apply();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].text, kCreateError);
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
  EXPECT_EQ(win->CallCount("RegCloseKey"), 1);
}

TEST_F(StartupSettingsTest, AnUnwritableStartupFileShowsTheSaveErrorAndLeavesTheRegistry) {
  win->fs.SetFolderWritable("C:\\Program Files\\Morvane", false);
  Apply();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].text,
            "There was an error saving to file \"C:\\Program Files\\Morvane\\\\startup.mvn\".");
  EXPECT_EQ(box.shown[0].caption, "Save Error");
  EXPECT_EQ(box.shown[0].style, kMessageOk);
  EXPECT_FALSE(win->fs.Exists("C:\\Program Files\\Morvane\\startup.mvn"));
  EXPECT_EQ(win->CallCount("RegOpenKeyExA") + win->CallCount("RegCreateKeyExA"), 0);
  EXPECT_FALSE(RunValue());
}

TEST_F(StartupSettingsTest, AReadOnlyStartupFileIsLeftAsItWas) {
  std::string old = "[DRAM]\r\nTcl=1\r\n";
  win->fs.AddFile("C:\\Program Files\\Morvane\\startup.mvn", old, os::kFileAttributeReadonly);
  Apply();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].caption, "Save Error");
  EXPECT_EQ(win->fs.Contents("C:\\Program Files\\Morvane\\startup.mvn"), old);
  EXPECT_FALSE(RunValue());
}

TEST_F(StartupSettingsTest, ASaveThatFailsAnywhereLeavesTheOldStartupFileWhole) {
  const std::string path = "C:\\Program Files\\Morvane\\startup.mvn";
  for (PciRegister& reg : Registers) reg.value = 0;
  win->fs.AddFile(path, "");
  Apply();  // the old file: every code 0
  ASSERT_TRUE(box.shown.empty());
  const std::string old = win->fs.Contents(path);
  const auto folder = win->fs.List("C:\\Program Files\\Morvane");
  int failures = 0;
  for (const char* call : {"CreateFileA", "WriteFile", "FlushFileBuffers", "MoveFileExA",
                           "SetFilePointer", "ReadFile"}) {
    for (int skip = 0; skip < 200; ++skip) {
      win->ClearFailures();
      win->calls.clear();
      box.shown.clear();
      int n = 0;
      for (const RegisterField& field : AllFields()) {
        SetFieldCode(field, static_cast<std::uint32_t>(n++ % (1 << field.width)));
      }
      win->FailCall(call, os::kErrorDiskFull, skip, -1);
      Apply();
      win->ClearFailures();
      bool failed = !box.shown.empty();
      if (failed) {
        ++failures;
        EXPECT_EQ(box.shown[0].caption, "Save Error") << call << " after " << skip;
        EXPECT_EQ(win->fs.Contents(path), old) << call << " failing after " << skip;
        // Nothing of the failed attempt is left behind either.
        EXPECT_EQ(win->fs.List("C:\\Program Files\\Morvane"), folder);
      }
      // Without a failure the file holds the whole new set; put the old one back.
      if (!failed) {
        EXPECT_EQ(FileCodes(), values) << call << " after " << skip;
      }
      win->fs.Remove(path);
      win->fs.AddFile(path, old);
      if (win->CallCount(call) <= skip) break;  // the save makes no more such calls
    }
  }
  EXPECT_GT(failures, 0) << "no failure was ever injected into the save";
}

TEST_F(StartupSettingsTest, AStartupPathBeyondTheLimitIsASaveError) {
  std::string folder = "C:\\" + std::string(250, 'f') + "\\";
  UseProgramFolder(folder);  // the start-up file's path is 266 characters
  Apply();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].caption, "Save Error");
  EXPECT_FALSE(RunValue());
}

TEST_F(StartupSettingsTest, RemoveDeletesTheValueAndKeepsTheFile) {
  Apply();
  RemoveStartupSettings();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_FALSE(RunValue());
  EXPECT_TRUE(win->fs.Exists("C:\\Program Files\\Morvane\\startup.mvn"));
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
  // A later apply rewrites the kept file and registers again.
  SetFieldCode(*FindField("Trc"), 9);
  values = Snapshot();
  Apply();
  EXPECT_TRUE(RunValue());
  EXPECT_EQ(FileCodes(), values);
}

TEST_F(StartupSettingsTest, RemoveWithoutApplyShowsNothingAndChangesNothing) {
  win->session.SetStringValue(kRun, "Other Tool", "C:\\other.exe");
  RemoveStartupSettings();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_EQ(win->session.ValueCount(kRun), 1);
  EXPECT_FALSE(win->fs.Exists("C:\\Program Files\\Morvane\\startup.mvn"));
}

TEST_F(StartupSettingsTest, RemoveWithoutRightsOrWithoutTheKeyShowsNothing) {
  Apply();
  win->session.DenyWrites(kRun);
  RemoveStartupSettings();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_TRUE(RunValue());  // the earlier registration stays
  win->session.RemoveKey(kRun);
  RemoveStartupSettings();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_EQ(win->CallCount("RegCreateKeyExA"), 0);  // removing never creates the key
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
}

// ---------------------------------------------------------------- Vista and later: the task

class LogonTaskTest : public StartupSettingsTest {
 protected:
  void SetUp() override {
    StartupSettingsTest::SetUp();
    win->machine.SetPlatform(sim::Platform::NtWow64);  // Windows 7
  }
  const sim::Session::Task* Task() { return win->session.FindTask("Morvane"); }
};

// The whole definition, byte for byte, for the usual folder.
TEST_F(LogonTaskTest, ApplyRegistersTheLogonTaskWithThisDefinition) {
  Apply();
  EXPECT_TRUE(box.shown.empty());
  ASSERT_EQ(win->session.tasks.size(), 1u);
  ASSERT_TRUE(Task());
  EXPECT_EQ(Task()->name, "Morvane");
  EXPECT_EQ(Task()->logonType, os::kTaskLogonGroup);
  EXPECT_EQ(
      Task()->xml,
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
      "  <RegistrationInfo>\r\n"
      "    <Description>Applies the register settings saved in startup.mvn at "
      "log-on.</Description>\r\n"
      "  </RegistrationInfo>\r\n"
      "  <Triggers>\r\n"
      "    <LogonTrigger>\r\n"
      "      <Enabled>true</Enabled>\r\n"
      "    </LogonTrigger>\r\n"
      "  </Triggers>\r\n"
      "  <Principals>\r\n"
      "    <Principal id=\"Author\">\r\n"
      "      <GroupId>S-1-5-32-545</GroupId>\r\n"
      "      <RunLevel>HighestAvailable</RunLevel>\r\n"
      "    </Principal>\r\n"
      "  </Principals>\r\n"
      "  <Settings>\r\n"
      "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
      "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
      "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
      "  </Settings>\r\n"
      "  <Actions Context=\"Author\">\r\n"
      "    <Exec>\r\n"
      "      <Command>\"C:\\Program Files\\Morvane\\\\morvane.exe\"</Command>\r\n"
      "      <Arguments>C:\\Program Files\\Morvane\\\\startup.mvn</Arguments>\r\n"
      "    </Exec>\r\n"
      "  </Actions>\r\n"
      "</Task>\r\n");
  // No Run value on this Windows, and the start-up file as on every other.
  EXPECT_FALSE(RunValue());
  EXPECT_EQ(FileCodes(), values);
  EXPECT_EQ(win->CallCount("RegSetValueExA") + win->CallCount("RegCreateKeyExA"), 0);
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
}

// The action is the Run value's command line split in two, for folders of every kind; the
// characters XML gives a meaning are escaped, everything else stands as it is.
TEST_F(LogonTaskTest, TheActionForEveryKindOfFolder) {
  struct Case {
    const char* folder;
    const char* command;
    const char* arguments;
  };
  const Case cases[] = {
      {"C:\\Morvane\\", "C:\\Morvane\\\\morvane.exe", "C:\\Morvane\\\\startup.mvn"},
      {"D:\\My Tools\\Memory Tuning\\", "\"D:\\My Tools\\Memory Tuning\\\\morvane.exe\"",
       "D:\\My Tools\\Memory Tuning\\\\startup.mvn"},
      {"C:\\R&D Tools\\", "\"C:\\R&amp;D Tools\\\\morvane.exe\"",
       "C:\\R&amp;D Tools\\\\startup.mvn"},
      {"C:\\Tom's;x=1\\", "C:\\Tom's;x=1\\\\morvane.exe", "C:\\Tom's;x=1\\\\startup.mvn"},
      {"C:\\Caf\xE9\\", "C:\\Caf\xE9\\\\morvane.exe", "C:\\Caf\xE9\\\\startup.mvn"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    UseProgramFolder(c.folder);
    Apply();
    ASSERT_TRUE(box.shown.empty());
    ASSERT_TRUE(Task());
    const std::string& xml = Task()->xml;
    EXPECT_NE(xml.find(std::string("      <Command>") + c.command + "</Command>\r\n" +
                       "      <Arguments>" + c.arguments + "</Arguments>\r\n"),
              std::string::npos)
        << xml;
    EXPECT_EQ(LogonTaskXml(ProgramFilePath, StartupFilePath), xml);
    EXPECT_EQ(win->session.tasks.size(), 1u);  // each apply replaced the one before
  }
  // Characters no file name may hold are escaped all the same.
  std::string xml = LogonTaskXml("C:\\a<b>&c\\morvane.exe", "C:\\a<b>&c\\startup.mvn");
  EXPECT_NE(xml.find("<Command>C:\\a&lt;b&gt;&amp;c\\morvane.exe</Command>\r\n"
                     "      <Arguments>C:\\a&lt;b&gt;&amp;c\\startup.mvn</Arguments>"),
            std::string::npos);
}

TEST_F(LogonTaskTest, ApplyDeletesTheRunValueOfAnEarlierVersionOnly) {
  win->session.SetStringValue(kRun, "Morvane", "C:\\old\\morvane.exe C:\\old\\startup.mvn");
  win->session.SetStringValue(kRun, "Other Tool", "C:\\other.exe");
  Apply();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_TRUE(Task());
  EXPECT_FALSE(RunValue());
  EXPECT_EQ(win->session.StringValue(kRun, "Other Tool"), "C:\\other.exe");
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
  // A Run value that cannot be deleted does not spoil the registration.
  win->session.SetStringValue(kRun, "Morvane", "old");
  win->session.DenyWrites(kRun);
  Apply();
  EXPECT_TRUE(box.shown.empty());
}

// Every failure of the registration: the box names the task and gives the system's text;
// the start-up file stays and nothing else changes.
TEST_F(LogonTaskTest, AFailedRegistrationShowsTheTaskErrorAndKeepsTheFile) {
  win->session.systemMessages[0x80041318u] = "The task XML is malformed.\r\n";
  struct Case {
    os::Dword error;
    const char* text;
  };
  const Case cases[] = {
      {0x80070005u, "Access is denied.\r\n"},  // a user without administrator rights
      {0x80070020u,
       "The process cannot access the file because it is being used by another "
       "process.\r\n"},
      {0x80041318u, "The task XML is malformed.\r\n"},  // the system's text for the HRESULT
      {0x80040154u, "Error 0x80040154."},               // no text anywhere
      {0x800706BAu, "Error 0x800706BA."},               // a Win32 code without a text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    win->session.SetStringValue(kRun, "Morvane", "old");
    win->fs.Remove(StartupFilePath);
    win->FailCall("RegisterTask", c.error);
    Apply();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].caption, "Registry Error");
    EXPECT_EQ(box.shown[0].style, kMessageOk);
    EXPECT_EQ(box.shown[0].text,
              std::string("Unable to create the log-on task \"Morvane\"\n") + c.text);
    EXPECT_FALSE(Task());
    EXPECT_EQ(RunValue(), "old");  // left as it was
    EXPECT_EQ(FileCodes(), values);
  }
  EXPECT_EQ(win->session.LiveAllocations(), 0);
}

TEST_F(LogonTaskTest, AnUnwritableStartupFileIsASaveErrorAndRegistersNothing) {
  win->fs.SetFolderWritable("C:\\Program Files\\Morvane", false);
  Apply();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].caption, "Save Error");
  EXPECT_EQ(win->CallCount("RegisterTask"), 0);
  EXPECT_FALSE(Task());
}

TEST_F(LogonTaskTest, RemoveDeletesTheTaskAndTheRunValueWhicheverExist) {
  Apply();
  win->session.SetStringValue(kRun, "Morvane", "old");
  EXPECT_TRUE(RemoveStartupSettings());
  EXPECT_FALSE(Task());
  EXPECT_FALSE(RunValue());
  EXPECT_TRUE(win->fs.Exists("C:\\Program Files\\Morvane\\startup.mvn"));
  // Nothing left to remove: still silent and successful.
  EXPECT_TRUE(RemoveStartupSettings());
  // A refused deletion is reported to the caller (the window shows nothing), and the Run
  // value is still removed.
  Apply();
  win->session.SetStringValue(kRun, "Morvane", "old");
  win->FailCall("DeleteTask", 0x80070005u);
  EXPECT_FALSE(RemoveStartupSettings());
  EXPECT_TRUE(Task());
  EXPECT_FALSE(RunValue());
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
}

// Which registration each Windows gets: Vista and later the task, everything before (and a
// Windows that does not say what it is) the Run value, with no scheduler call at all.
TEST_F(StartupSettingsTest, EachWindowsFamilyGetsItsRegistration) {
  struct Case {
    sim::Platform platform;
    os::Dword major;
    bool versionFails;
    StartupRegistration expected;
  };
  const Case cases[] = {
      {sim::Platform::Windows9x, 4, false, StartupRegistration::RunValue},
      {sim::Platform::NtWithoutNativeSystemInfo, 5, false, StartupRegistration::RunValue},
      {sim::Platform::Nt32, 5, false, StartupRegistration::RunValue},
      {sim::Platform::Nt32, 6, false, StartupRegistration::LogonTask},  // Vista
      {sim::Platform::NtWow64, 6, false, StartupRegistration::LogonTask},
      {sim::Platform::NtWow64, 10, false, StartupRegistration::LogonTask},
      {sim::Platform::NtWow64, 6, true, StartupRegistration::RunValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.major));
    win->machine.SetPlatform(c.platform);
    win->machine.majorVersion = c.major;
    win->session.tasks.clear();
    win->session.RemoveKey(kRun);
    win->ClearFailures();
    if (c.versionFails) win->FailCall("GetVersionExA", os::kErrorInvalidParameter, 0, -1);
    win->calls.clear();
    EXPECT_EQ(StartupRegistrationOfThisWindows(), c.expected);
    Apply();
    EXPECT_TRUE(box.shown.empty());
    bool task = c.expected == StartupRegistration::LogonTask;
    EXPECT_EQ(RunValue().has_value(), !task);
    EXPECT_EQ(win->session.tasks.size(), task ? 1u : 0u);
    if (!task) {
      EXPECT_EQ(RunValue(), StartupCommandLine(ProgramFilePath, StartupFilePath));
    }
    EXPECT_TRUE(RemoveStartupSettings());
    EXPECT_FALSE(RunValue());
    EXPECT_TRUE(win->session.tasks.empty());
    EXPECT_EQ(win->CallCount("RegisterTask") + win->CallCount("DeleteTask"), task ? 2 : 0);
  }
}

// The whole registration, from the window's command to the log-on: the stored command line
// given to the program as its command line applies the start-up file to the chip.
class StartupRunTest : public DriverFixture {};

TEST_F(StartupRunTest, TheStoredCommandLineAppliesTheStartupFile) {
  DeviceDriver = nullptr;
  NoWindows windows;
  win.session.commandLine = "\"C:\\Program Files\\Morvane\\morvane.exe\"";
  ASSERT_EQ(MorvaneMain(windows), 0);  // sets the program paths, installs the driver
  win.session.EndProcess();

  // The window's values: the chip's, with a changed CAS latency that "Set" never wrote.
  std::uint32_t chip88 = SimNbConfigRead(2, 0x88);
  Registers[0].value = chip88;
  for (int i = 1; i < kRegisterCount; ++i) {
    Registers[i].value = SimNbConfigRead(static_cast<unsigned>(Registers[i].function),
                                         static_cast<unsigned>(Registers[i].offset));
  }
  SetFieldCode(*FindField("Tcl"), 2);
  ASSERT_EQ(ApplyStartupSettings(ProgramFilePath, StartupFilePath).outcome,
            StartupResult::Outcome::Done);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), chip88);  // nothing reached the chip yet

  auto stored = win.session.StringValue(kRun, "Morvane");
  ASSERT_TRUE(stored);
  win.fs.currentDirectory = "C:\\WINDOWS\\system32";  // where log-on programs start
  win.session.commandLine = *stored;
  ASSERT_EQ(MorvaneMain(windows), 0);
  EXPECT_TRUE(win.session.messageBoxes.empty());
  EXPECT_EQ(SimNbConfigRead(2, 0x88), (chip88 & ~7u) | 2u);
}

}  // namespace
