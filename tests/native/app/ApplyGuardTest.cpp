// The guarded start-up apply over the simulated Windows: a run that dies at any register write
// leaves its marker on the disk, and the next start applies nothing and says so; a finished
// run leaves no marker; Shift held skips the apply; where no marker can be written the apply
// goes ahead as before; the window's "Apply Settings at Startup" clears a marker.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "files/ApplyMarker.h"
#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"
#include "tests/native/ui/MainWindowFixture.h"

namespace {

constexpr char kStartupFile[] = "C:\\Program Files\\Morvane\\startup.mvn";
constexpr char kMarker[] = "C:\\Program Files\\Morvane\\startup.mvn.applying";
// The Run value's command line, as Windows starts it at log-on.
constexpr char kLogOnCommand[] =
    "\"C:\\Program Files\\Morvane\\\\morvane.exe\" C:\\Program Files\\Morvane\\\\startup.mvn";
constexpr char kStartupSettings[] = "[DRAM]\r\nTcl=2\r\nTrc=0x0F\r\n[LINK]\r\nReqBufCnt=3\r\n";
constexpr char kUnfinished[] =
    "The start-up settings were not applied: the last attempt to apply them did not finish.\n"
    "Open Morvane to check them, then use \"Apply Settings at Startup\" again.\n";
constexpr int kRegisterWrites = 7;  // four DRAM registers, three LINK registers

class SilentOnly : public Application {
 public:
  std::optional<Exception> Initialize(const std::string&) override { return std::nullopt; }
  std::optional<Exception> RunWindowed() override {
    ++windowedRuns;
    return std::nullopt;
  }
  int windowedRuns = 0;
};

class ApplyGuard : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    DeviceDriver = nullptr;
    win.fs.AddFile(kStartupFile, kStartupSettings);
    PowerCycle();
    powerOn = ChipNow();
  }
  void TearDown() override {
    win.machine.beforeRequest = nullptr;
    FreeDeviceDriver();
    DriverFixture::TearDown();
  }

  // One run of the program; the process then ends.
  void Run(const std::string& commandLine) {
    win.session.commandLine = commandLine;
    MorvaneMain(app);
    win.session.EndProcess();
  }

  // The machine is reset: the chip back at power-on; what the last runs did is forgotten.
  void PowerCycle() {
    SimNbReset();
    win.machine.requests.clear();
    win.session.messageBoxes.clear();
    win.calls.clear();
  }

  static std::vector<std::uint32_t> ChipNow() {
    std::vector<std::uint32_t> values;
    for (const PciRegister& reg : Registers) {
      values.push_back(
          SimNbConfigRead(static_cast<unsigned>(reg.function), static_cast<unsigned>(reg.offset)));
    }
    return values;
  }

  // Register writes: the requests that write the PCI data port.
  int DataWrites() const {
    int count = 0;
    for (const auto& r : win.machine.requests) {
      if (r.code == MVN_IOCTL_WRITE_PORT && r.port == MVN_PCI_DATA_PORT) ++count;
    }
    return count;
  }

  const std::vector<sim::Session::MessageBoxRecord>& Boxes() const {
    return win.session.messageBoxes;
  }

  // The run applied the start-up file: every register written, the chip changed, no message.
  void ExpectApplied() {
    EXPECT_EQ(DataWrites(), kRegisterWrites);
    EXPECT_NE(ChipNow(), powerOn);
    EXPECT_TRUE(Boxes().empty());
  }

  SilentOnly app;
  std::vector<std::uint32_t> powerOn;
};

TEST_F(ApplyGuard, ARunKilledAtAnyRegisterWriteStopsTheNextStartOnce) {
  // Every register write of a log-on apply is a point where timings the machine cannot take
  // may hang it; the disk as it is at that moment is what the next start finds.
  for (int kill = 1; kill <= kRegisterWrites; ++kill) {
    SCOPED_TRACE("killed at register write " + std::to_string(kill));
    PowerCycle();
    std::optional<sim::FileSystem> disk;
    int writes = 0;
    win.machine.beforeRequest = [&](os::Dword code, std::uint32_t port, std::uint32_t) {
      if (code == MVN_IOCTL_WRITE_PORT && port == MVN_PCI_DATA_PORT && ++writes == kill) {
        disk = win.fs;
      }
    };
    Run(kLogOnCommand);
    win.machine.beforeRequest = nullptr;
    // Left alone, the run finishes: applied, and no marker stays behind.
    ExpectApplied();
    EXPECT_FALSE(win.fs.Exists(kMarker));
    ASSERT_TRUE(disk.has_value());
    ASSERT_TRUE(disk->Exists(kMarker));
    std::string marker = disk->Contents(kMarker);
    EXPECT_NE(marker.find("\r\nFile=C:\\Program Files\\Morvane\\startup.mvn\r\n"),
              std::string::npos)
        << marker;
    EXPECT_NE(marker.find("\r\nStarted=2026-03-17 07:45:09\r\n"), std::string::npos) << marker;

    // The machine hung there and was reset.
    win.fs = *disk;
    win.fs.EndProcess();
    PowerCycle();
    Run(kLogOnCommand);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kUnfinished);
    EXPECT_EQ(Boxes()[0].caption, "Morvane");
    EXPECT_EQ(Boxes()[0].type, os::kMbOk | os::kMbIconExclamation);
    EXPECT_TRUE(win.machine.requests.empty()) << "the chip was not even read";
    EXPECT_EQ(ChipNow(), powerOn);
    EXPECT_FALSE(win.fs.Exists(kMarker));
    EXPECT_EQ(win.fs.Contents(kStartupFile), kStartupSettings);

    // The box was the one warning: the start after it applies the file again.
    PowerCycle();
    Run(kLogOnCommand);
    ExpectApplied();
    EXPECT_FALSE(win.fs.Exists(kMarker));
  }
}

TEST_F(ApplyGuard, ShiftHeldSkipsTheApplyWithoutAWordAndKeepsAMarker) {
  for (bool earlierMarker : {false, true}) {
    SCOPED_TRACE(earlierMarker ? "with the marker of an earlier apply" : "without a marker");
    PowerCycle();
    if (earlierMarker) win.fs.AddFile(kMarker, "[Apply]\r\n");
    win.session.keysDown = {os::kVkShift};
    Run(kLogOnCommand);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(win.machine.requests.empty());
    EXPECT_EQ(ChipNow(), powerOn);
    EXPECT_EQ(win.fs.Exists(kMarker), earlierMarker);
    EXPECT_EQ(win.CallCount("GetAsyncKeyState"), 1);
  }
  // The window is never kept from opening, and does not look at the key.
  win.calls.clear();
  win.session.keysDown = {os::kVkShift};
  Run("\"C:\\Program Files\\Morvane\\morvane.exe\"");
  EXPECT_EQ(app.windowedRuns, 1);
  EXPECT_EQ(win.CallCount("GetAsyncKeyState"), 0);
}

TEST_F(ApplyGuard, WhereNoMarkerCanBeWrittenTheApplyGoesAheadAsBefore) {
  struct Case {
    const char* why;
    const char* failingCall;  // fails once, at the marker; null: the folder refuses new files
  } cases[] = {
      {"read-only folder", nullptr},
      {"disk full while writing", "WriteFile"},
      {"flush refused", "FlushFileBuffers"},
  };
  const std::string settings = "C:\\Settings\\fast.mvn";
  win.fs.AddFile(settings, kStartupSettings);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    PowerCycle();
    win.ClearFailures();
    win.fs.SetFolderWritable("C:\\Settings", c.failingCall != nullptr);
    // The driver's start writes its image too: the failure is armed once the registers are
    // being read, which is after that and before the marker.
    bool armed = false;
    win.machine.beforeRequest = [&](os::Dword, std::uint32_t, std::uint32_t) {
      if (!armed && c.failingCall != nullptr) win.FailCall(c.failingCall, os::kErrorDiskFull);
      armed = true;
    };
    Run("\"C:\\Program Files\\Morvane\\morvane.exe\" " + settings);
    win.machine.beforeRequest = nullptr;
    ExpectApplied();
    // Nothing is left beside the file, a partly written marker included.
    EXPECT_EQ(win.fs.List("C:\\Settings"), std::vector<std::string>{"fast.mvn"});
  }
}

using WindowApply = MainWindowTest;

TEST_F(WindowApply, ApplySettingsAtStartupClearsAMarkerOnceTheFileIsSaved) {
  ProgramDirectory = "C:\\Program Files\\Morvane\\";
  ProgramFilePath = ProgramDirectory + "\\morvane.exe";
  StartupFilePath = ProgramDirectory + "\\startup.mvn";
  Create();
  for (bool saved : {false, true}) {
    SCOPED_TRACE(saved ? "saved" : "save refused");
    win.fs.AddFile(kStartupFile, kStartupSettings);
    win.fs.SetReadOnly(kStartupFile, !saved);  // a read-only file is never replaced
    win.fs.AddFile(kMarker, "[Apply]\r\n");
    factory.messages.shown.clear();
    Mem(form->Setstartup1).Click();
    EXPECT_EQ(factory.messages.shown.size(), saved ? 0u : 1u);
    // A refused save leaves the old settings, and the warning about them, in place.
    EXPECT_EQ(win.fs.Exists(kMarker), !saved);
    win.fs.SetReadOnly(kStartupFile, false);
  }
  ProgramDirectory.clear();
  ProgramFilePath.clear();
  StartupFilePath.clear();
}

}  // namespace
