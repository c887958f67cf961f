// The guarded start-up apply over the simulated Windows: a run that dies anywhere among its
// register writes, or a computer that restarts within 5 minutes of an apply, holds back every
// later silent start until the window's "Apply Settings at Startup" or "Remove Startup
// settings"; an apply the computer kept running for 5 minutes leaves nothing that blocks;
// the marker is on the disk before the first register write; where no marker can be written
// the apply goes ahead as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "files/ApplyMarker.h"
#include "files/StartupSettings.h"
#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "regs/Groups.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"
#include "tests/native/ui/MainWindowFixture.h"

namespace {

constexpr char kProgram[] = "C:\\Program Files\\Morvane\\morvane.exe";
constexpr char kStartupFile[] = "C:\\Program Files\\Morvane\\startup.mvn";
constexpr char kMarker[] = "C:\\Program Files\\Morvane\\startup.mvn.applying";
// The Run value's command line, as Windows starts it at log-on.
constexpr char kLogOnCommand[] =
    "\"C:\\Program Files\\Morvane\\\\morvane.exe\" C:\\Program Files\\Morvane\\\\startup.mvn";
constexpr char kStartupSettings[] = "[DRAM]\r\nTcl=2\r\nTrc=0x0F\r\n[LINK]\r\nReqBufCnt=3\r\n";
constexpr char kUnfinished[] =
    "The start-up settings were not applied: the last attempt to apply them did not finish.\n"
    "Open Morvane to check them, then use \"Apply Settings at Startup\" again.\n";
constexpr char kRestarted[] =
    "The start-up settings were not applied: the computer restarted within 5 minutes of the "
    "last time they were applied.\n"
    "Open Morvane to check them, then use \"Apply Settings at Startup\" again.\n";
constexpr int kRegisterWrites = 7;  // four DRAM registers, three LINK registers
constexpr std::uint64_t kMinute = 60'000;

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
 public:
  using DriverFixture::win;

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
    ProgramDirectory.clear();
    ProgramFilePath.clear();
    StartupFilePath.clear();
    DriverFixture::TearDown();
  }

 public:
  // One run of the program; the process then ends.
  void Run(const std::string& commandLine = kLogOnCommand) {
    win.session.commandLine = commandLine;
    MorvaneMain(app);
    win.session.EndProcess();
    win.fs.EndProcess();
  }

  // The chip back at power-on; what the last runs did is forgotten. The clock goes on.
  void PowerCycle() {
    SimNbReset();
    win.machine.requests.clear();
    win.session.messageBoxes.clear();
    win.calls.clear();
  }

  // The computer restarts `minutes` after now and the user logs on 40 seconds after its start.
  void RestartAfter(std::uint64_t minutes) {
    win.session.Advance(minutes * kMinute);
    win.session.Restart();
    win.session.Advance(40'000);
    PowerCycle();
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

  // The run wrote nothing, did not even read the chip, and said why in one box.
  void ExpectHeldBack(const char* text) {
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, text);
    EXPECT_EQ(Boxes()[0].caption, "Morvane");
    EXPECT_EQ(Boxes()[0].type, os::kMbOk | os::kMbIconExclamation);
    EXPECT_TRUE(win.machine.requests.empty());
    EXPECT_EQ(ChipNow(), powerOn);
    EXPECT_EQ(win.fs.Contents(kStartupFile), kStartupSettings);
  }

  SilentOnly app;
  std::vector<std::uint32_t> powerOn;
};

TEST_F(ApplyGuard, ARunKilledBetweenAnyTwoRegisterWritesHoldsBackEveryStartUntilTheWindowActs) {
  // Each register write, and the read-back after the last, is a point where timings the
  // machine cannot take may hang it; the disk as it is at that moment is what the next start
  // finds.
  for (int kill = 1; kill <= kRegisterWrites + 1; ++kill) {
    SCOPED_TRACE("killed before data-port write " + std::to_string(kill));
    PowerCycle();
    std::optional<sim::FileSystem> disk;
    int writes = 0;
    win.machine.beforeRequest = [&](os::Dword code, std::uint32_t port, std::uint32_t) {
      if (disk.has_value()) return;
      bool dataWrite = code == MVN_IOCTL_WRITE_PORT && port == MVN_PCI_DATA_PORT;
      if ((dataWrite && ++writes == kill) || (!dataWrite && writes == kRegisterWrites)) {
        disk = win.fs;
      }
    };
    Run();
    win.machine.beforeRequest = nullptr;
    ExpectApplied();  // left alone, the run finishes
    ASSERT_TRUE(disk.has_value());
    ASSERT_TRUE(disk->Exists(kMarker));
    std::string marker = disk->Contents(kMarker);
    EXPECT_NE(marker.find("\r\nFile=C:\\Program Files\\Morvane\\startup.mvn\r\n"),
              std::string::npos)
        << marker;
    EXPECT_NE(marker.find("\r\nStarted=2026-03-17 07:45:09\r\n"), std::string::npos) << marker;

    // The machine hung there and was reset, then reset again and again later on.
    win.fs = *disk;
    win.fs.EndProcess();
    for (int start = 1; start <= 3; ++start) {
      SCOPED_TRACE("start " + std::to_string(start));
      RestartAfter(start == 1 ? 1 : 24 * 60);
      Run();
      ExpectHeldBack(kUnfinished);
      EXPECT_TRUE(win.fs.Exists(kMarker));
    }

    // The user looks at the settings in the window and applies or removes them there.
    if (kill % 2 == 1) {
      EXPECT_EQ(ApplyStartupSettings(kProgram, kStartupFile).outcome, StartupResult::Outcome::Done);
      win.fs.Remove(kStartupFile);
      win.fs.AddFile(kStartupFile, kStartupSettings);  // the same settings, chosen again
    } else {
      EXPECT_TRUE(RemoveStartupSettings());
    }
    EXPECT_FALSE(win.fs.Exists(kMarker));
    RestartAfter(1);
    Run();
    ExpectApplied();
  }
}

TEST_F(ApplyGuard, AnApplyIsConfirmedOnlyWhenTheComputerKeptRunningFiveMinutes) {
  struct Case {
    const char* what;
    std::function<void(ApplyGuard&)> then;  // what happens between the apply and the next start
    bool restartedSoon;
  };
  const Case cases[] = {
      {"restart 4 minutes later", [](ApplyGuard& t) { t.RestartAfter(4); }, true},
      {"restart 6 minutes later", [](ApplyGuard& t) { t.RestartAfter(6); }, false},
      {"restart at once", [](ApplyGuard& t) { t.RestartAfter(0); }, true},
      {"restart a week later", [](ApplyGuard& t) { t.RestartAfter(7 * 24 * 60); }, false},
      // The clock set back by an hour as the computer started again: nothing can be told.
      {"restart 6 minutes later, clock set back",
       [](ApplyGuard& t) {
         t.RestartAfter(6);
         t.win.session.systemTime -= 60 * kMinute * sim::Session::kMillisecond;
       },
       true},
      // Log-off and log-on without a restart: the same run of the system, watched on.
      {"log-on again 2 minutes later",
       [](ApplyGuard& t) {
         t.win.session.Advance(2 * kMinute);
         t.PowerCycle();
       },
       false},
      {"log-on again an hour later, clock moved on by a time server",
       [](ApplyGuard& t) {
         t.win.session.Advance(60 * kMinute);
         t.win.session.systemTime += 3'000 * sim::Session::kMillisecond;
         t.PowerCycle();
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win.fs.Remove(kMarker);
    PowerCycle();
    Run();
    ExpectApplied();
    ASSERT_TRUE(win.fs.Exists(kMarker));  // the read-back's record
    c.then(*this);
    Run();
    if (!c.restartedSoon) {
      ExpectApplied();
      continue;
    }
    ExpectHeldBack(kRestarted);
    // Days later, after more restarts, still held back: the verdict is on the disk.
    for (int later = 0; later < 2; ++later) {
      RestartAfter(24 * 60);
      Run();
      ExpectHeldBack(kRestarted);
    }
  }
}

TEST_F(ApplyGuard, TheVerdictOnTheClockAndTheTickCount) {
  constexpr std::uint64_t kReadBack = 13418207109250;  // 17 March 2026, 07:45:09.250 UTC
  constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;
  struct Case {
    const char* what;
    std::uint32_t uptime;  // at the read-back
    std::int64_t elapsed;  // by the clock, from the read-back to now
    std::uint32_t ticks;   // now
    ReadBackVerdict verdict;
  };
  const Case cases[] = {
      {"same run, 1 minute on", 60'000, 60'000, 120'000, ReadBackVerdict::Watched},
      {"same run, 5 minutes on", 60'000, 300'000, 360'000, ReadBackVerdict::Confirmed},
      {"same run, clock 9 s ahead", 60'000, 69'000, 120'000, ReadBackVerdict::Watched},
      {"same run across the tick count's wrap", 0xFFFF0000u, 400'000,
       static_cast<std::uint32_t>(0xFFFF0000u + 400'000ull), ReadBackVerdict::Confirmed},
      {"same run, 49.7 days and 1 minute on", 60'000, static_cast<std::int64_t>(kWrap) + 60'000,
       120'000, ReadBackVerdict::Watched},
      {"restart 4 minutes on, 40 s up", 30'000, 280'000, 40'000, ReadBackVerdict::RestartedSoon},
      {"restart 6 minutes on, 40 s up", 30'000, 400'000, 40'000, ReadBackVerdict::Confirmed},
      {"fast restart 20 s on, 15 s up", 20'000, 35'000, 15'000, ReadBackVerdict::RestartedSoon},
      {"restart 4 minutes on, the read-back just before the wrap", 0xFFFFFFF0u, 280'000, 40'000,
       ReadBackVerdict::RestartedSoon},
      {"restart, the clock set back a day", 30'000, -86'400'000, 40'000,
       ReadBackVerdict::RestartedSoon},
      {"restart 5 minutes 10 s on, 20 s up", 30'000, 330'000, 20'000, ReadBackVerdict::Confirmed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JudgeReadBack(kReadBack, c.uptime, kReadBack + static_cast<std::uint64_t>(c.elapsed),
                            c.ticks),
              c.verdict);
  }
}

// The calls a run makes on the marker and on the data port, in order.
class RecordingWindows : public sim::SimWindows {
 public:
  os::Handle CreateFileA(const char* name, os::Dword access, os::Dword share, os::Dword creation,
                         os::Dword flags) override {
    os::Handle h = SimWindows::CreateFileA(name, access, share, creation, flags);
    if (IsMarker(name) && (access & os::kGenericWrite) != 0 && h != os::kInvalidHandle) {
      marker = h;
      log.push_back(std::string("create") +
                    ((flags & os::kFileFlagWriteThrough) != 0 ? " write-through" : "") +
                    (creation == os::kCreateAlways ? " always" : ""));
    }
    return h;
  }
  os::Bool WriteFile(os::Handle file, const void* buffer, os::Dword toWrite,
                     os::Dword* written) override {
    os::Bool ok = SimWindows::WriteFile(file, buffer, toWrite, written);
    if (file == marker) log.push_back("write " + std::to_string(ok ? *written : 0));
    return ok;
  }
  os::Bool FlushFileBuffers(os::Handle file) override {
    os::Bool ok = SimWindows::FlushFileBuffers(file);
    if (file == marker && ok) log.push_back("flush");
    return ok;
  }
  os::Bool CloseHandle(os::Handle object) override {
    if (object == marker) {
      log.push_back("close");
      marker = nullptr;
    }
    return SimWindows::CloseHandle(object);
  }
  static bool IsMarker(const char* name) {
    std::string n = name;
    return n.size() > 9 && n.substr(n.size() - 9) == ".applying";
  }
  std::vector<std::string> log;
  os::Handle marker = nullptr;
};

TEST_F(ApplyGuard, TheWholeMarkerIsOnTheDiskBeforeTheFirstRegisterWrite) {
  RecordingWindows rec;
  rec.fs = win.fs;
  std::string onDisk;
  rec.machine.beforeRequest = [&](os::Dword code, std::uint32_t port, std::uint32_t) {
    if (code != MVN_IOCTL_WRITE_PORT || port != MVN_PCI_DATA_PORT) return;
    if (onDisk.empty()) onDisk = rec.fs.Contents(kMarker);
    rec.log.push_back("data write");
  };
  os::Install(&rec);
  rec.session.commandLine = kLogOnCommand;
  MorvaneMain(app);
  os::Install(&win);
  const std::string text = ApplyMarkerText(kStartupFile, rec.session.localTime);
  ASSERT_GE(rec.log.size(), 4u + kRegisterWrites);
  const std::vector<std::string> first(rec.log.begin(), rec.log.begin() + 5);
  EXPECT_EQ(first, (std::vector<std::string>{"create write-through always",
                                             "write " + std::to_string(text.size()), "flush",
                                             "close", "data write"}));
  EXPECT_EQ(onDisk, text);
  // After the last write and the read-back, the marker is rewritten the same way.
  const std::vector<std::string> last(rec.log.end() - 4, rec.log.end());
  EXPECT_EQ(last[0], "create write-through always");
  EXPECT_EQ(last[2], "flush");
  EXPECT_EQ(last[3], "close");
  EXPECT_EQ(std::count(rec.log.begin(), rec.log.end(), "data write"), kRegisterWrites);
  FreeDeviceDriver();
}

TEST_F(ApplyGuard, ADeviceLostAfterAGoodReadWritesNothingMore) {
  // Device opens: one per register read (7), then per write and read-back of the DRAM group
  // (4 and 4), then of the LINK group (3 and 3).
  auto writesBefore = [](int open) {
    if (open < 7) return 0;
    if (open < 11) return open - 7;
    if (open < 15) return 4;
    return std::min(4 + open - 15, 7);
  };
  for (int lost = 1; lost < 3 * kRegisterWrites; ++lost) {
    SCOPED_TRACE("the device cannot be opened from open " + std::to_string(lost));
    win.fs.Remove(kMarker);
    RestartAfter(10);
    win.machine.deviceOpenAttempts = 0;
    win.machine.failDeviceOpenAt = lost;
    win.machine.deviceOpenError = os::kErrorAccessDenied;
    Run();
    win.machine.failDeviceOpenAt = -1;
    if (lost < kRegisterWrites) {
      // Not every register was read: none is written.
      ASSERT_EQ(Boxes().size(), 1u);
      EXPECT_EQ(Boxes()[0].text, kUnreadableMessage);
      EXPECT_EQ(DataWrites(), 0);
      EXPECT_FALSE(win.fs.Exists(kMarker));
    } else {
      // The registers written before the loss stay written; none after it.
      EXPECT_EQ(DataWrites(), writesBefore(lost));
    }
    EXPECT_FALSE(RegistersWritable());
  }
}

TEST_F(ApplyGuard, WhereNoMarkerCanBeWrittenTheApplyGoesAheadAsBefore) {
  struct Case {
    const char* why;
    const char* failingCall;  // fails once, at the marker; null: the folder refuses new files
    int skip;                 // earlier calls of it that succeed
  } cases[] = {
      {"read-only folder", nullptr, 0},
      {"disk full while writing", "WriteFile", 0},
      {"flush refused", "FlushFileBuffers", 0},
      {"the read-back's record not written", "WriteFile", 1},
      {"the read-back's record not flushed", "FlushFileBuffers", 1},
  };
  const std::string settings = "C:\\Settings\\fast.mvn";
  win.fs.AddFile(settings, kStartupSettings);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    win.ClearFailures();
    win.fs.SetFolderWritable("C:\\Settings", c.failingCall != nullptr);
    for (int start = 1; start <= 2; ++start) {
      SCOPED_TRACE("start " + std::to_string(start));
      RestartAfter(start == 1 ? 10 : 1);
      // The driver's start writes its image too: the failure is armed once the registers are
      // being read, which is after that and before the marker.
      bool armed = false;
      win.machine.beforeRequest = [&](os::Dword, std::uint32_t, std::uint32_t) {
        if (!armed && c.failingCall != nullptr && start == 1) {
          win.FailCall(c.failingCall, os::kErrorDiskFull, c.skip);
        }
        armed = true;
      };
      Run("\"C:\\Program Files\\Morvane\\morvane.exe\" " + settings);
      win.machine.beforeRequest = nullptr;
      // Applied, and applied again at the next start: nothing holds it back.
      ExpectApplied();
      if (start == 1) {
        // Nothing is left beside the file, a partly written marker included.
        EXPECT_EQ(win.fs.List("C:\\Settings"), std::vector<std::string>{"fast.mvn"});
      }
    }
  }
}

TEST_F(ApplyGuard, AFolderNamedLikeTheMarkerHoldsNothingBack) {
  win.fs.AddFolder(kMarker);
  win.fs.AddFile(std::string(kMarker) + "\\inside.txt", "x");
  for (int start = 1; start <= 3; ++start) {
    SCOPED_TRACE("start " + std::to_string(start));
    RestartAfter(start == 2 ? 1 : 10);
    Run();
    ExpectApplied();
    EXPECT_EQ(win.fs.Attributes(kMarker) & os::kFileAttributeDirectory,
              os::kFileAttributeDirectory);
  }
}

using WindowApply = MainWindowTest;

TEST_F(WindowApply, ApplyOrRemoveInTheWindowClearsTheMarkerOnceTheyHaveDoneTheirWork) {
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
  for (bool removable : {false, true}) {
    SCOPED_TRACE(removable ? "removed" : "the registration could not be removed");
    win.fs.AddFile(kMarker, "[Apply]\r\n");
    win.session.SetStringValue(std::string("HKEY_LOCAL_MACHINE\\") + kRunKeyPath, kRunValueName,
                               "x");
    if (!removable) win.FailCall("RegDeleteValueA", os::kErrorAccessDenied);
    Mem(form->Removestartupsettings1).Click();
    EXPECT_TRUE(factory.messages.shown.empty());
    // Where the log-on apply stays registered, so does what holds it back.
    EXPECT_EQ(win.fs.Exists(kMarker), !removable);
    win.ClearFailures();
  }
  ProgramDirectory.clear();
  ProgramFilePath.clear();
  StartupFilePath.clear();
}

}  // namespace
