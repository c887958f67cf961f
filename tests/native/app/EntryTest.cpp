// The entry sequence over the simulated Windows: single instance, program paths, processor
// and driver checks with their messages, the choice of run mode, the silent apply against
// the simulated chip, the one exception handler and the exit clean-up.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/Startup.h"
#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "os/Exception.h"
#include "regs/Codec.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"

namespace {

// The framework as the entry sees it: records what it was asked to do.
class FakeApplication : public Application {
 public:
  std::optional<Exception> Initialize(const std::string& title) override {
    titles.push_back(title);
    return onInitialize ? onInitialize() : std::nullopt;
  }
  std::optional<Exception> RunWindowed() override {
    ++windowedRuns;
    return onRun ? onRun() : std::nullopt;
  }
  std::vector<std::string> titles;
  int windowedRuns = 0;
  std::function<std::optional<Exception>()> onInitialize, onRun;
};

// The seven registers as the chip holds them, in table order.
struct Chip {
  std::uint32_t f2x88, f2x8c, f2x90, f2x94, f0x84, f0x88, f0x90;
  static Chip Now() {
    return {SimNbConfigRead(2, 0x88), SimNbConfigRead(2, 0x8C), SimNbConfigRead(2, 0x90),
            SimNbConfigRead(2, 0x94), SimNbConfigRead(0, 0x84), SimNbConfigRead(0, 0x88),
            SimNbConfigRead(0, 0x90)};
  }
  bool operator==(const Chip&) const = default;
};

std::uint32_t WithField(std::uint32_t value, int shift, int width, std::uint32_t code) {
  std::uint32_t mask = ((1u << width) - 1) << shift;
  return (value & ~mask) | ((code << shift) & mask);
}

constexpr char kProgramDir[] = "C:\\Program Files\\Morvane\\";
constexpr char kQuotedProgram[] = "\"C:\\Program Files\\Morvane\\morvane.exe\"";
constexpr char kDriverMessage[] = "Failed to load I/O driver ... please retry.\n";

class EntryTest : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    DeviceDriver = nullptr;
    ProgramDirectory = ProgramFilePath = StartupFilePath = "";
    powerOn = Chip::Now();
  }
  void TearDown() override {
    FreeDeviceDriver();
    DriverFixture::TearDown();
  }

  // One run of the program; the process then ends (its mutex handle closes with it).
  int Run(const std::string& commandLine) {
    win.session.commandLine = commandLine;
    int code = MorvaneMain(app);
    win.session.EndProcess();
    return code;
  }

  const std::vector<sim::Session::MessageBoxRecord>& Boxes() const {
    return win.session.messageBoxes;
  }

  // Writes of the PCI data port: the requests that change the chip.
  int DataWrites() const {
    int count = 0;
    for (const auto& r : win.machine.requests) {
      if (r.code == MVN_IOCTL_WRITE_PORT && r.port == MVN_PCI_DATA_PORT) ++count;
    }
    return count;
  }

  void AddRegisterFile(const std::string& path, const std::string& contents) {
    win.fs.AddFile(path, contents);
  }

  FakeApplication app;
  Chip powerOn{};
};

// ------------------------------------------------------------------ single instance

TEST_F(EntryTest, SecondInstanceEndsAtOnceAndDoesNothingElse) {
  win.session.AddForeignMutex("Morvane");
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  EXPECT_EQ(Run(std::string(kQuotedProgram) + " C:\\r.mvn"), 0);
  EXPECT_TRUE(app.titles.empty());
  EXPECT_EQ(app.windowedRuns, 0);
  EXPECT_TRUE(Boxes().empty());
  // Nothing but the command line (is it a watch's?) and the mutex was asked of the system.
  EXPECT_EQ(win.calls, (std::vector<std::string>{"GetCommandLineA", "CreateMutexA"}));
  EXPECT_EQ(Chip::Now(), powerOn);
}

TEST_F(EntryTest, MutexWithoutAccessMeansAnotherInstance) {
  // A mutex of that name made by a process with other rights answers access denied.
  win.FailCall("CreateMutexA", os::kErrorAccessDenied);
  EXPECT_EQ(Run(kQuotedProgram), 0);
  EXPECT_EQ(app.windowedRuns, 0);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(EntryTest, MutexIsTakenWithOwnershipAndHeldPastTheEnd) {
  win.session.commandLine = kQuotedProgram;
  EXPECT_EQ(MorvaneMain(app), 0);
  ASSERT_GE(win.calls.size(), 2u);
  EXPECT_EQ(win.calls[1], "CreateMutexA");  // after the command line, before all else
  EXPECT_TRUE(win.session.MutexExists("Morvane"));
  EXPECT_EQ(win.session.MutexHandleCount("Morvane"), 1);
}

TEST_F(EntryTest, AMutexFailureOfAnotherKindDoesNotStopTheProgram) {
  win.FailCall("CreateMutexA", os::kErrorNotEnoughMemory);
  EXPECT_EQ(Run(kQuotedProgram), 0);
  EXPECT_EQ(app.windowedRuns, 1);
}

// ------------------------------------------------------------------ paths and run modes

TEST_F(EntryTest, WindowedModeWithProgramPathsAndCurrentDirectory) {
  win.fs.currentDirectory = "C:\\WINDOWS";
  app.onRun = [&]() -> std::optional<Exception> {
    // The driver is ready while the windows run.
    EXPECT_NE(DeviceDriver, nullptr);
    EXPECT_EQ(win.fs.currentDirectory + "\\", kProgramDir);
    return std::nullopt;
  };
  EXPECT_EQ(Run(kQuotedProgram), 0);
  EXPECT_EQ(app.titles, std::vector<std::string>{"Morvane"});
  EXPECT_EQ(app.windowedRuns, 1);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(ProgramDirectory, kProgramDir);
  EXPECT_EQ(ProgramFilePath, "C:\\Program Files\\Morvane\\\\morvane.exe");
  EXPECT_EQ(StartupFilePath, "C:\\Program Files\\Morvane\\\\startup.mvn");
  // The driver object is gone; its service stays installed and running.
  EXPECT_EQ(DeviceDriver, nullptr);
  ASSERT_NE(Service(), nullptr);
  EXPECT_TRUE(Service()->running);
}

TEST_F(EntryTest, BlankTailsChooseWindowedMode) {
  for (const char* line : {"morvane.exe", "morvane.exe   ", "morvane.exe \t \t", "\"x y.exe\"\t ",
                           "morvane.exe \r\n"}) {
    app.windowedRuns = 0;
    EXPECT_EQ(Run(line), 0);
    EXPECT_EQ(app.windowedRuns, 1) << "[" << line << "]";
  }
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(DataWrites(), 0);
}

TEST_F(EntryTest, AMutexHeldByThisRunStopsARunStartedMeanwhile) {
  app.onRun = [&]() -> std::optional<Exception> {
    FakeApplication second;
    win.session.commandLine = std::string(kQuotedProgram) + " C:\\r.mvn";
    EXPECT_EQ(MorvaneMain(second), 0);
    EXPECT_TRUE(second.titles.empty());
    return std::nullopt;
  };
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  EXPECT_EQ(Run(kQuotedProgram), 0);
  EXPECT_EQ(Chip::Now(), powerOn);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(EntryTest, ThePathsNameTheFixedProgramNameNotTheOneStarted) {
  win.fs.moduleFileName = "D:\\Tools\\Tuning\\morvane-sim.exe";
  win.fs.AddFile(win.fs.moduleFileName, program);
  EXPECT_EQ(Run("\"D:\\Tools\\Tuning\\morvane-sim.exe\""), 0);
  EXPECT_EQ(ProgramDirectory, "D:\\Tools\\Tuning\\");
  EXPECT_EQ(ProgramFilePath, "D:\\Tools\\Tuning\\\\morvane.exe");
  EXPECT_EQ(StartupFilePath, "D:\\Tools\\Tuning\\\\startup.mvn");

  // The 64-bit build's fixed name is morvane64.exe.
  win.machine.SetPlatform(sim::Platform::Nt64);
  win.fs.moduleFileName = "D:\\Tools\\Tuning\\morvane64-sim.exe";
  win.fs.AddFile(win.fs.moduleFileName, program);
  EXPECT_EQ(Run("\"D:\\Tools\\Tuning\\morvane64-sim.exe\""), 0);
  EXPECT_EQ(ProgramFilePath, "D:\\Tools\\Tuning\\\\morvane64.exe");
}

TEST_F(EntryTest, AProgramPathLongerThanMaxPathIsTakenWhole) {
  // The processor check stops the run right after the paths are set.
  win.machine.cpuVendor = "GenuineIntel";
  std::string folder = "C:\\" + std::string(280, 'd');
  for (bool asXp : {false, true}) {
    win.fs.moduleFileNameAsXp = asXp;
    win.fs.moduleFileName = folder + "\\morvane.exe";
    Run(kQuotedProgram);
    EXPECT_EQ(ProgramDirectory, folder + "\\") << (asXp ? "as XP" : "as NT 6");
    EXPECT_EQ(StartupFilePath, folder + "\\\\startup.mvn");
  }
}

// ------------------------------------------------------------------ processor check

TEST_F(EntryTest, ProcessorCheckTakesK8UpToRevisionEOnly) {
  using enum ProcessorSupport;
  struct Case {
    const char* vendor;
    unsigned signature;
    ProcessorSupport support;
  } cases[] = {
      {"AuthenticAMD", 0x00020FB1, Supported},         // Athlon 64 X2, revision E
      {"AuthenticAMD", 0x00000F48, Supported},         // early Athlon 64
      {"AuthenticAMD", 0x00030FFF, Supported},         // extended model 3: still DDR
      {"AuthenticAMD", 0x00040F33, UnsupportedAmd64},  // revision F (DDR2)
      {"AuthenticAMD", 0x000F0F00, UnsupportedAmd64},
      {"AuthenticAMD", 0x00100F22, UnsupportedAmd64},  // family 0x10
      {"AuthenticAMD", 0x0A000F00, UnsupportedAmd64},  // extended family's high bits
      {"AuthenticAMD", 0x00000681, NotAmd64},          // family 6 (Athlon XP)
      {"AuthenticAMD", 0x00100E22, NotAmd64},          // base family 14
      {"GenuineIntel", 0x00000F29, NotAmd64},          // family 15 (Pentium 4)
      {"AuthenticAMX", 0x00000F48, NotAmd64}, {"authenticamd", 0x00000F48, NotAmd64},
  };
  for (const Case& c : cases) {
    win.machine.cpuVendor = c.vendor;
    win.machine.cpuSignature = c.signature;
    EXPECT_EQ(CheckProcessor(), c.support) << c.vendor << " " << std::hex << c.signature;
    EXPECT_EQ(IsAmd64Processor(), c.support == Supported);
  }
}

TEST_F(EntryTest, AnAmd64ProcessorOutsideTheTablesGetsItsOwnMessage) {
  win.machine.cpuSignature = 0x00040FB2;  // revision F
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  EXPECT_EQ(Run(kQuotedProgram + std::string(" C:\\r.mvn")), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text,
            "This AMD64 processor's memory controller is not supported (revision F or later).\n");
  EXPECT_EQ(Boxes()[0].caption, "Morvane");
  EXPECT_EQ(Boxes()[0].type, 48u);
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 0);
  EXPECT_EQ(Chip::Now(), powerOn);
}

TEST_F(EntryTest, SilentApplyWritesNothingWhenARegisterCannotBeRead) {
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  win.machine.allOnesReadAt = 5;  // the sixth register reads all ones
  EXPECT_EQ(Run(kQuotedProgram + std::string(" C:\\r.mvn")), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Unable to read the northbridge registers; nothing was written.\n");
  EXPECT_EQ(Boxes()[0].caption, "Morvane");
  EXPECT_EQ(Boxes()[0].type, 48u);
  EXPECT_EQ(SimNbWriteCount(), 0u);
  EXPECT_EQ(Chip::Now(), powerOn);
}

TEST_F(EntryTest, WrongProcessorShowsItsMessageAndNeverStartsTheDriver) {
  win.machine.cpuVendor = "GenuineIntel";
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  // In silent mode too: the run mode is chosen only after both checks.
  for (std::string line :
       {std::string(kQuotedProgram), kQuotedProgram + std::string(" C:\\r.mvn")}) {
    win.session.messageBoxes.clear();
    EXPECT_EQ(Run(line), 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "AMD64 Processor family not detected.\n");
    EXPECT_EQ(Boxes()[0].caption, "Morvane");
    EXPECT_EQ(Boxes()[0].type, 48u);
    EXPECT_EQ(Boxes()[0].owner, nullptr);
  }
  EXPECT_EQ(app.windowedRuns, 0);
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 0);
  EXPECT_EQ(DeviceDriver, nullptr);
  EXPECT_EQ(Chip::Now(), powerOn);
}

// ------------------------------------------------------------------ driver start

TEST_F(EntryTest, DriverFailureShowsTheSystemTextOfTheLastError) {
  win.machine.administrator = false;  // the service manager refuses: access denied
  EXPECT_EQ(Run(kQuotedProgram), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, std::string(kDriverMessage) + "Access is denied.\r\n");
  EXPECT_EQ(Boxes()[0].caption, "Morvane");
  EXPECT_EQ(Boxes()[0].type, 48u);
  EXPECT_EQ(app.windowedRuns, 0);
  EXPECT_EQ(DeviceDriver, nullptr);
  // The text the system allocated is released again.
  EXPECT_EQ(win.session.LiveAllocations(), 0);
  EXPECT_EQ(win.CallCount("LocalFree"), 1);
}

TEST_F(EntryTest, DriverFailureInSilentModeWritesNothing) {
  win.machine.AddService("cpuz", "C:\\old\\cpuz.sys").markedForDelete = true;
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  EXPECT_EQ(Run(std::string(kQuotedProgram) + " C:\\r.mvn"), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, std::string(kDriverMessage) +
                                 "The specified service has been marked for deletion.\r\n");
  EXPECT_EQ(Chip::Now(), powerOn);
}

TEST_F(EntryTest, DriverFailureWithoutSystemTextShowsTheFixedTextAlone) {
  win.session.systemMessages.erase(os::kErrorAccessDenied);
  win.machine.administrator = false;
  Run(kQuotedProgram);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, kDriverMessage);
  // The system's text is asked for in the user's language, allocated, inserts left alone.
  EXPECT_EQ(win.CallCount("FormatMessageA"), 1);
  EXPECT_EQ(win.session.LiveAllocations(), 0);
}

TEST_F(EntryTest, InitDeviceDriverKeepsOneObject) {
  win.fs.currentDirectory = "C:\\Program Files\\Morvane";
  ASSERT_EQ(InitDeviceDriver(), 1);
  CDeviceDriver* first = DeviceDriver;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(InitDeviceDriver(), 1);
  EXPECT_EQ(DeviceDriver, first);
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 1);
  FreeDeviceDriver();
  EXPECT_EQ(DeviceDriver, nullptr);
  FreeDeviceDriver();  // harmless when there is none
  EXPECT_EQ(DeviceDriver, nullptr);
}

// ------------------------------------------------------------------ silent apply

TEST_F(EntryTest, SilentApplyChangesExactlyTheNamedFields) {
  AddRegisterFile("C:\\Program Files\\Morvane\\fast.mvn",
                  "[DRAM]\r\nTcl=2\r\nTrc=0x0F\r\nTwr=2\r\nMaxAsyncLatency=6\r\n"
                  "[LINK]\r\nLinkFreq=$5\r\nReqBufCnt=3\r\n");
  EXPECT_EQ(Run(std::string(kQuotedProgram) + " C:\\Program Files\\Morvane\\fast.mvn"), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(app.windowedRuns, 0);
  Chip expected = powerOn;
  expected.f2x88 = WithField(WithField(expected.f2x88, 0, 3, 2), 4, 4, 15);  // Twr=2 is ignored
  expected.f2x94 = WithField(expected.f2x94, 0, 4, 6);
  expected.f0x88 = WithField(expected.f0x88, 8, 4, 5);
  expected.f0x90 = WithField(expected.f0x90, 0, 4, 3);
  EXPECT_EQ(Chip::Now(), expected);
  // All seven registers are written, the unchanged ones with the value read.
  EXPECT_EQ(DataWrites(), 7);
  EXPECT_EQ(DeviceDriver, nullptr);
}

TEST_F(EntryTest, SilentApplyResolvesARelativePathAgainstTheProgramFolder) {
  win.fs.currentDirectory = "C:\\WINDOWS\\system32";
  AddRegisterFile("C:\\Program Files\\Morvane\\fast.mvn", "[DRAM]\r\nTcl=2\r\n");
  AddRegisterFile("C:\\WINDOWS\\system32\\fast.mvn", "[DRAM]\r\nTcl=6\r\n");
  Run(std::string(kQuotedProgram) + " fast.mvn");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Chip::Now().f2x88, WithField(powerOn.f2x88, 0, 3, 2));
}

TEST_F(EntryTest, SilentApplyTakesAPathWithBlanksWhole) {
  AddRegisterFile("C:\\My Settings\\fast timings.mvn", "[DRAM]\r\nTcl=2\r\n");
  Run(std::string(kQuotedProgram) + "  C:\\My Settings\\fast timings.mvn");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Chip::Now().f2x88, WithField(powerOn.f2x88, 0, 3, 2));
}

TEST_F(EntryTest, SilentApplyKeepsTrailingBlanksInThePath) {
  // Windows drops trailing blanks of a file name, so the file is found.
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  Run(std::string(kQuotedProgram) + " C:\\r.mvn   ");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Chip::Now().f2x88, WithField(powerOn.f2x88, 0, 3, 2));
  // A missing one is named with its blanks.
  Run(std::string(kQuotedProgram) + " C:\\gone.mvn  ");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Unable to load register file \"C:\\gone.mvn  \"");
}

TEST_F(EntryTest, SilentApplyOfAMissingFileShowsTheErrorAndWritesNothing) {
  EXPECT_EQ(Run(std::string(kQuotedProgram) + " C:\\nowhere\\r.mvn"), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Unable to load register file \"C:\\nowhere\\r.mvn\"");
  EXPECT_EQ(Boxes()[0].caption, "Morvane");
  EXPECT_EQ(Boxes()[0].type, 0u);
  EXPECT_EQ(DataWrites(), 0);
  EXPECT_EQ(Chip::Now(), powerOn);
  EXPECT_EQ(DeviceDriver, nullptr);
}

TEST_F(EntryTest, SilentApplyOfAQuotedPathShowsTheErrorWithTheQuotes) {
  AddRegisterFile("C:\\My Settings\\r.mvn", "[DRAM]\r\nTcl=2\r\n");
  Run(std::string(kQuotedProgram) + " \"C:\\My Settings\\r.mvn\"");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Unable to load register file \"\"C:\\My Settings\\r.mvn\"\"");
  EXPECT_EQ(DataWrites(), 0);
  EXPECT_EQ(Chip::Now(), powerOn);
}

TEST_F(EntryTest, SilentApplyWritesNothingWhenOnlyTheLinkSectionFailsToLoad) {
  AddRegisterFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\nMEMCLK3=0\r\n[LINK]\r\nReqBufCnt=3\r\n");
  const RegisterField& lastDram = *FindField("MEMCLK3");
  ASSERT_EQ(FieldCode(lastDram), 1u) << "power-on value of MEMCLK3";
  // Find a system call to fail at such a point that the DRAM section loads in full and the
  // LINK section then fails (the file becomes unreadable between the two).
  bool found = false;
  for (const char* call : {"GetFullPathNameA", "CreateFileA", "ReadFile"}) {
    for (int skip = 0; skip < 400 && !found; ++skip) {
      win.ClearFailures();
      win.calls.clear();
      win.session.messageBoxes.clear();
      win.machine.requests.clear();
      SimNbReset();
      win.FailCall(call, os::kErrorNotEnoughMemory, skip, -1);
      Run(std::string(kQuotedProgram) + " C:\\r.mvn");
      if (win.CallCount(call) <= skip) break;  // the call is not made often enough
      bool dramLoaded = FieldCode(lastDram) == 0 && FieldCode(*FindField("Tcl")) == 2;
      if (dramLoaded && Boxes().size() == 1 &&
          Boxes()[0].text == "Unable to load register file \"C:\\r.mvn\"") {
        found = true;
        EXPECT_EQ(DataWrites(), 0) << call << " failing after " << skip;
        EXPECT_EQ(Chip::Now(), powerOn);
      }
    }
  }
  EXPECT_TRUE(found) << "no failure point between the two sections' loads";
}

TEST_F(EntryTest, SilentApplyWithLongPaths) {
  // 259 characters is the longest full path Windows' file calls take; 260 and 300 are not.
  std::string folder = "C:\\Settings\\";
  std::string path259 = folder + std::string(259 - folder.size() - 4, 'a') + ".mvn";
  ASSERT_EQ(path259.size(), 259u);
  AddRegisterFile(path259, "[DRAM]\r\nTcl=2\r\n");
  Run(std::string(kQuotedProgram) + " " + path259);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Chip::Now().f2x88, WithField(powerOn.f2x88, 0, 3, 2));
  Chip applied = Chip::Now();

  for (std::size_t length : {260u, 300u}) {
    win.session.messageBoxes.clear();
    std::string path = folder + std::string(length - folder.size() - 4, 'b') + ".mvn";
    ASSERT_EQ(path.size(), length);
    Run(std::string(kQuotedProgram) + " " + path);
    ASSERT_EQ(Boxes().size(), 1u) << length;
    EXPECT_EQ(Boxes()[0].text, "Unable to load register file \"" + path + "\"");
    EXPECT_EQ(Chip::Now(), applied) << length;
  }
}

TEST_F(EntryTest, SilentApplyWithBytesAboveAscii) {
  std::string path = "C:\\R\xE9glages\\m\xE9moire \xBB rapide.mvn";  // CP1252
  AddRegisterFile(path, "[DRAM]\r\nTcl=2\r\n");
  Run(std::string(kQuotedProgram) + " " + path);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Chip::Now().f2x88, WithField(powerOn.f2x88, 0, 3, 2));
}

// ------------------------------------------------------------------ framework errors

TEST_F(EntryTest, AFrameworkErrorInTheWindowsShowsTheStandardBoxAndCleansUp) {
  app.onRun = [] { return Exception("Cannot create the main window"); };
  EXPECT_EQ(Run(kQuotedProgram), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Cannot create the main window.");
  EXPECT_EQ(Boxes()[0].caption, "Morvane");
  EXPECT_EQ(Boxes()[0].type, 0x10u);
  EXPECT_EQ(DeviceDriver, nullptr);
}

TEST_F(EntryTest, AFrameworkErrorBeforeTheChecksSkipsThemAndStillEndsWithCodeZero) {
  app.onInitialize = [] { return Exception("Out of system resources."); };
  EXPECT_EQ(Run(kQuotedProgram), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Out of system resources.");
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 0);
  EXPECT_EQ(app.windowedRuns, 0);
}

}  // namespace
