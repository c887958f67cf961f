// The guarded start-up apply over the simulated Windows: a run that dies anywhere among its
// register writes, or a computer that restarts with no evidence that it survived the apply,
// holds back every later silent start until the window's "Apply Settings at Startup" or
// "Remove Startup settings"; the evidence (the watch's 5 minutes, a clean shutdown, the same
// run of Windows) lets the next start apply, whatever the clock did; the marker is on the
// disk before the first register write; where no marker can be written the apply goes ahead
// as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "files/ApplyMarker.h"
#include "files/ApplyWatch.h"
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
    // A box stays up until the user answers it: never while the apply lock is held.
    win.session.answer = [this](const sim::Session::MessageBoxRecord&) {
      if (win.session.MutexOwnedHere("Global\\Morvane.apply")) ++boxesUnderLock;
      return os::kIdOk;
    };
    // A watch the apply starts is up at once and owns its mutex until it ends.
    win.session.onCreateProcess = [this](const sim::Session::StartedProcess& p) {
      std::string token, file;
      ASSERT_TRUE(ParseWatchTail(CommandTailOf(p.commandLine), &token, &file)) << p.commandLine;
      win.session.TakeMutexAs(WatchMutexName(token), p.processId);
      watches.push_back({p.commandLine, p.processId, WatchMutexName(token)});
    };
  }
  void TearDown() override {
    win.session.onCreateProcess = nullptr;
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

  // The tail of a command line that starts with a quoted program.
  static std::string CommandTailOf(const std::string& line) {
    std::size_t end = line.find('"', 1);
    return end == std::string::npos ? std::string() : line.substr(end + 2);
  }

  struct Watch {
    std::string commandLine;
    os::Dword processId;
    std::string mutex;
  };
  std::vector<Watch> watches;  // started and not yet run or ended

  // The last apply's watch runs to its end in its own process; `atSleep` sees each of its
  // waits (counted from 1) as it ends.
  void RunWatch(std::function<void(int)> atSleep = nullptr) {
    ASSERT_FALSE(watches.empty());
    Watch w = watches.back();
    watches.pop_back();
    const os::Dword parent = win.session.processId;
    win.session.processId = w.processId;
    win.session.commandLine = w.commandLine;
    int sleeps = 0;
    win.onSleep = [&](os::Dword) {
      if (atSleep) atSleep(++sleeps);
    };
    MorvaneMain(app);
    win.onSleep = nullptr;
    win.session.EndProcess();
    win.fs.EndProcess();
    win.session.DropForeignMutex(w.mutex);
    win.session.processId = parent;
  }
  // The last apply's watch ends before its time (a log-off ends it with the user's session).
  void EndWatch() {
    ASSERT_FALSE(watches.empty());
    win.session.DropForeignMutex(watches.back().mutex, true);
    watches.pop_back();
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
    watches.clear();
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
    EXPECT_EQ(boxesUnderLock, 0);
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
  int boxesUnderLock = 0;
};

TEST_F(ApplyGuard, ARunKilledBetweenAnyTwoRegisterWritesHoldsBackEveryStartUntilTheWindowActs) {
  // Each register write, and the read-back after the last, is a point where timings the
  // machine cannot take may hang it; the disk as it is at that moment is what the next start
  // finds.
  for (int kill = 1; kill <= kRegisterWrites + 1; ++kill) {
    SCOPED_TRACE("killed before data-port write " + std::to_string(kill));
    win.fs.Remove(kMarker);  // the last round's apply, never confirmed
    RestartAfter(60);
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

TEST_F(ApplyGuard, OnlyEvidenceThatTheComputerSurvivedLetsTheNextStartApply) {
  constexpr std::int64_t kHour = 60 * 60'000;
  struct Case {
    const char* what;
    std::function<void(ApplyGuard&)> then;  // what happens between the apply and the next start
    const char* box;                        // the next start's box, or null: it applies
  };
  const Case cases[] = {
      // The machine froze right after the read-back (its watch froze with it) and was reset
      // or switched off and on: how long it stood makes no difference.
      {"freeze, on again 4 minutes later", [](ApplyGuard& t) { t.RestartAfter(4); }, kRestarted},
      {"freeze, on again an hour later", [](ApplyGuard& t) { t.RestartAfter(60); }, kRestarted},
      {"freeze, on again a week later",
       [](ApplyGuard& t) { t.RestartAfter(7 * 24 * 60); }, kRestarted},
      // The watch saw the 5 minutes: a clock set either way afterwards changes nothing.
      {"5 minutes of running, then the clock an hour back",
       [](ApplyGuard& t) {
         t.RunWatch();
         t.win.session.SetClockBy(-kHour);
         t.RestartAfter(1);
       },
       nullptr},
      {"5 minutes of running, then the clock an hour ahead",
       [](ApplyGuard& t) {
         t.RunWatch();
         t.win.session.SetClockBy(kHour);
         t.RestartAfter(1);
       },
       nullptr},
      // A clean shutdown that Windows recorded after the read-back.
      {"clean shutdown 2 minutes later",
       [](ApplyGuard& t) {
         t.win.session.Advance(2 * kMinute);
         t.EndWatch();
         t.win.session.CleanShutdown();
         t.RestartAfter(1);
       },
       nullptr},
      // The record of last night's shutdown, read against a clock a day behind after the reset,
      // would look newer than the read-back: it is compared as recorded, so it proves nothing.
      {"freeze and reset, the next boot's clock a day behind",
       [](ApplyGuard& t) {
         t.RestartAfter(3);
         t.win.session.SetClockBy(-24 * kHour);
       },
       kRestarted},
      // A log-off ends the watch; the same run of Windows goes on, as its volatile key shows.
      {"log-off and log-on again 2 minutes later",
       [](ApplyGuard& t) {
         t.win.session.Advance(2 * kMinute);
         t.EndWatch();
         t.PowerCycle();
       },
       nullptr},
      {"log-off, then a freeze and a reset",
       [](ApplyGuard& t) {
         t.EndWatch();
         t.RestartAfter(2);
       },
       kRestarted},
      // Asleep a minute after the apply, then frozen after the resume: the minutes asleep are
      // no evidence.
      {"sleep a minute, resume, freeze",
       [](ApplyGuard& t) {
         std::optional<sim::FileSystem> frozen;
         t.RunWatch([&](int sleep) {
           if (sleep == 6) t.win.session.Advance(kMinute);  // asleep for a minute
           if (sleep == 29 && !frozen) frozen = t.win.fs;    // 5 minutes after the apply
         });
         ASSERT_TRUE(frozen.has_value());
         t.win.fs = *frozen;
         t.RestartAfter(1);
       },
       kRestarted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win.fs.Remove(kMarker);
    RestartAfter(60);
    // Last night's clean shutdown is on record before the apply.
    win.session.CleanShutdown();
    Run();
    ExpectApplied();
    ASSERT_TRUE(win.fs.Exists(kMarker));  // the read-back's record
    ASSERT_EQ(watches.size(), 1u);        // and its watch
    c.then(*this);
    Run();
    if (c.box == nullptr) {
      ExpectApplied();
      continue;
    }
    ExpectHeldBack(c.box);
    // Later still, after clean shutdowns and restarts, still held back: the verdict is kept.
    for (int later = 0; later < 2; ++later) {
      win.session.CleanShutdown();
      RestartAfter(24 * 60);
      Run();
      ExpectHeldBack(c.box);
    }
  }
}

TEST_F(ApplyGuard, TheWatchConfirmsFiveMinutesOfRunningAfterTheLastPause) {
  struct Case {
    const char* what;
    int pauseAt;              // the wait after which the computer slept, or 0
    std::uint64_t asleep;     // for how long
    std::uint64_t confirmAt;  // the tick count's progress when the marker goes
  };
  constexpr std::uint64_t kStep = kWatchStepMilliseconds;
  const Case cases[] = {
      {"no pause", 0, 0, 30 * kStep},
      {"a minute asleep after 1 minute", 6, kMinute, 6 * kStep + kMinute + 30 * kStep},
      // The computer ran all along: the late 20 s count as running.
      {"a busy wake-up 20 s late is no pause", 6, 20'000, 30 * kStep},
      {"an hour hibernating after 4 minutes", 24, 60 * kMinute, 24 * kStep + 60 * kMinute + 30 * kStep},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win.fs.Remove(kMarker);
    RestartAfter(60);
    Run();
    ASSERT_TRUE(win.fs.Exists(kMarker));
    const std::uint64_t started = win.session.systemTime;
    std::uint64_t removedAt = 0;
    win.beforeCall = [&](const char* call) {
      if (std::string(call) == "DeleteFileA" && removedAt == 0) removedAt = win.session.systemTime;
    };
    RunWatch([&](int sleep) {
      if (sleep == c.pauseAt) win.session.Advance(c.asleep);
    });
    win.beforeCall = nullptr;
    EXPECT_FALSE(win.fs.Exists(kMarker));
    EXPECT_EQ((removedAt - started) / sim::Session::kMillisecond, c.confirmAt);
    // It wrote no register, and showed nothing.
    EXPECT_EQ(DataWrites(), kRegisterWrites);
    EXPECT_TRUE(Boxes().empty());
  }
}

TEST_F(ApplyGuard, AKillAnywhereInTheWatchNeverAppliesTwiceWithoutEvidence) {
  for (int kill = 1; kill <= 31; ++kill) {
    SCOPED_TRACE("the watch killed at its wait " + std::to_string(kill));
    win.fs.Remove(kMarker);
    RestartAfter(60);
    Run();
    std::optional<sim::FileSystem> disk;
    RunWatch([&](int sleep) {
      if (sleep == kill) disk = win.fs;
    });
    const bool confirmed = !disk.has_value();  // it ended before that wait
    if (disk) win.fs = *disk;
    // The computer hung there: only a watch that finished lets the next start apply.
    RestartAfter(1);
    Run();
    if (confirmed) {
      ExpectApplied();
    } else {
      ExpectHeldBack(kRestarted);
    }
  }
}

TEST_F(ApplyGuard, UsersLoggedOnAtOnceApplyOnce) {
  // A second session's log-on while the first one's apply is being watched: the registers
  // hold the set already, and nothing is written.
  Run();
  ExpectApplied();
  PowerCycle();
  Run();
  EXPECT_EQ(DataWrites(), 0);
  EXPECT_TRUE(Boxes().empty());

  // The second comes while the first still holds the apply lock: it waits, the first finishes
  // and starts its watch, and the second writes nothing.
  RestartAfter(60);
  win.fs.Remove(kMarker);
  Run();
  ExpectApplied();
  win.session.TakeMutexAs("Global\\Morvane.apply", 0x900);
  PowerCycle();
  int waits = 0;
  win.onWait = [&](os::Dword) {
    ++waits;
    win.session.DropForeignMutex("Global\\Morvane.apply");
  };
  Run();
  win.onWait = nullptr;
  EXPECT_EQ(waits, 1);
  EXPECT_EQ(DataWrites(), 0);
  EXPECT_TRUE(Boxes().empty());

  // A holder that never lets go: nothing is written, and the user is told.
  win.session.TakeMutexAs("Global\\Morvane.apply", 0x900);
  PowerCycle();
  Run();
  EXPECT_EQ(DataWrites(), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, kApplyBusyMessage);
  win.session.DropForeignMutex("Global\\Morvane.apply");

  // The lock is let go on every path: the next start takes it at once.
  PowerCycle();
  EndWatch();
  Run();
  ExpectApplied();
  EXPECT_FALSE(win.session.MutexOwnedHere("Global\\Morvane.apply"));
}

TEST_F(ApplyGuard, TheVolatileKeyCountsOnlyWhenTheApplyMadeItAndItIsVolatile) {
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kThisRunKeyPath;
  struct Case {
    const char* what;
    std::function<void(ApplyGuard&)> arrange;
  };
  const Case cases[] = {
      // An ordinary key of that name (left by hand, say) survives restarts: the apply makes
      // its own instead.
      {"an ordinary key was there", [&](ApplyGuard& t) { t.win.session.AddKey(key); }},
      // The 9x family ignores the option: there is no same-run evidence at all.
      {"Windows 98", [](ApplyGuard& t) { t.win.machine.SetPlatform(sim::Platform::Windows9x); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win.fs.Remove(kMarker);
    RestartAfter(60);
    c.arrange(*this);
    Run();
    EXPECT_NE(ChipNow(), powerOn);
    EXPECT_TRUE(Boxes().empty());
    // The key's value with the apply's token, copied into an ordinary key that a restart
    // keeps, must not pass for the same run of Windows.
    auto value = win.session.Value(key, kThisRunValue);
    EndWatch();
    RestartAfter(2);
    if (value) win.session.SetValue(key, kThisRunValue, value->type, value->data);
    Run();
    ExpectHeldBack(kRestarted);
    win.session.RemoveKey(key);
    win.machine.SetPlatform(sim::Platform::Nt32);
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
  ASSERT_GE(rec.log.size(), 4u + kRegisterWrites);
  const std::vector<std::string> first(rec.log.begin(), rec.log.begin() + 5);
  EXPECT_EQ(first, (std::vector<std::string>{"create write-through always",
                                             "write " + std::to_string(onDisk.size()), "flush",
                                             "close", "data write"}));
  EXPECT_NE(onDisk.find("\r\nFile=C:\\Program Files\\Morvane\\startup.mvn\r\n"),
            std::string::npos);
  EXPECT_NE(onDisk.find("\r\nToken="), std::string::npos);
  EXPECT_EQ(onDisk.find("[End]"), std::string::npos);  // not yet a whole record
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
    win.fs.Remove(settings + kApplyMarkerSuffix);  // the last case's apply, never confirmed
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
