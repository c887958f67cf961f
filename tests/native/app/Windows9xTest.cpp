// The 9x family's paths end to end over the simulated Windows, where the other tests check
// single steps: every member of the family, the VxD written into the program's folder or the
// Windows directory by a plain move (MoveFileExA being a stub there), the VxD opened and closed
// around each register access while the program executes the port instructions, the saves
// without ReplaceFileA, and the Run value in place of a log-on task.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "files/RegisterFile.h"
#include "files/StartupSettings.h"
#include "regs/Codec.h"
#include "regs/Groups.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"

namespace {

constexpr char kWindowsVxd[] = "C:\\WINDOWS\\cpuz.vxd";
constexpr char kRun[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::uint32_t WithField(std::uint32_t value, int shift, int width, std::uint32_t code) {
  std::uint32_t mask = ((1u << width) - 1) << shift;
  return (value & ~mask) | ((code << shift) & mask);
}

class Windows9x : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    win.machine.SetPlatform(sim::Platform::Windows9x);
    DeviceDriver = nullptr;
  }
  void TearDown() override {
    FreeDeviceDriver();
    DriverFixture::TearDown();
  }

  // Nothing of the NT family's road was taken, nor anything 9x lacks called.
  void ExpectNoNtPath() {
    for (const char* call :
         {"OpenSCManagerA", "CreateServiceA", "StartServiceA", "DeviceIoControl",
          "GetNativeSystemInfo", "IsWow64Process", "RegisterTask", "DeleteTask"}) {
      EXPECT_EQ(win.CallCount(call), 0) << call;
    }
    EXPECT_EQ(win.machine.missingFunctionCalls, 0);
    EXPECT_EQ(win.machine.privilegedInstructionFaults, 0);
  }

  // Port instructions of one kind on one port.
  int PortAccesses(bool write, std::uint16_t port) const {
    int count = 0;
    for (const auto& access : win.machine.portAccesses) {
      if (access.write == write && access.port == port) ++count;
    }
    return count;
  }

  std::vector<std::string> ProgramFolder() const { return win.fs.List(kDir); }
};

// Windows 95, 98, 98 SE and Me answer only the basic version record, with the 9x platform id:
// each gets the VxD, written whole under its own name by a plain move, and no NT step.
TEST_F(Windows9x, EveryMemberOfTheFamilyGetsTheVxd) {
  struct Version {
    const char* name;
    os::Dword major, minor, build;
  };
  const Version versions[] = {
      {"95", 4, 0, 950}, {"98", 4, 10, 1998}, {"98 SE", 4, 10, 2222}, {"Me", 4, 90, 3000}};
  for (const Version& v : versions) {
    SCOPED_TRACE(v.name);
    win.fs.Remove(kVxd);
    win.calls.clear();
    win.machine.majorVersion = v.major;
    win.machine.minorVersion = v.minor;
    win.machine.buildNumber = v.major << 24 | v.minor << 16 | v.build;
    auto driver = Initialized();
    ASSERT_EQ(driver->m_dwPlatformId, 1);
    EXPECT_STREQ(driver->m_szFileName, "cpuz.vxd");
    EXPECT_STREQ(driver->m_szDirectory, kDir);
    EXPECT_EQ(win.fs.Contents(kVxd), vxdImage);
    EXPECT_EQ(ProgramFolder(), (std::vector<std::string>{"cpuz.vxd", "morvane.exe"}));
    EXPECT_EQ(win.CallCount("MoveFileExA"), 1);  // the stub answers "not implemented"
    EXPECT_EQ(win.CallCount("MoveFileA"), 1);
    EXPECT_FALSE(win.machine.VxdLoaded());
    EXPECT_EQ(StartupRegistrationOfThisWindows(), StartupRegistration::RunValue);
    ExpectNoNtPath();
  }
}

// Where the VxD is written, and what Initialize answers, for each state of the two folders.
TEST_F(Windows9x, VxdGoesIntoTheProgramFolderOrTheWindowsDirectory) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    int ok;
    const char* directory;  // m_szDirectory afterwards
    const char* vxdPath;    // where the VxD lies afterwards, or null
    std::string contents;   // what it holds
  };
  const std::string byHand = "a VxD placed by hand";
  const Case cases[] = {
      {"writable program folder", [] {}, 1, kDir, kVxd, vxdImage},
      {"a VxD already there is used as it is", [&] { win.fs.AddFile(kVxd, byHand); }, 1, kDir, kVxd,
       byHand},
      {"a leftover of an interrupted write is replaced",
       [&] { win.fs.AddFile(std::string(kVxd) + ".tmp", "half"); }, 1, kDir, kVxd, vxdImage},
      {"program folder read-only", [&] { win.fs.SetFolderWritable(kDir, false); }, 1, "C:\\WINDOWS",
       kWindowsVxd, vxdImage},
      {"no folder takes it",
       [&] {
         win.fs.SetFolderWritable(kDir, false);
         win.fs.SetFolderWritable("C:\\WINDOWS", false);
       },
       0, kDir, nullptr, ""},
  };
  // The loader is given the full path in short names, wherever the VxD was written.
  auto shortName = [&](const char* path) {
    return std::string(path) == kVxd ? "C:\\PROGRA~1\\MORVANE\\CPUZ.VXD" : "C:\\WINDOWS\\CPUZ.VXD";
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    win.fs.SetFolderWritable(kDir, true);
    win.fs.SetFolderWritable("C:\\WINDOWS", true);
    for (const std::string& leftover :
         {std::string(kVxd), std::string(kVxd) + ".tmp", std::string(kWindowsVxd)}) {
      win.fs.Remove(leftover);
    }
    c.arrange();
    int ok = -1;
    auto driver = Initialized(&ok);
    EXPECT_EQ(ok, c.ok);
    EXPECT_STREQ(driver->m_szDirectory, c.directory);
    if (c.vxdPath != nullptr) {
      EXPECT_EQ(win.fs.Contents(c.vxdPath), c.contents);
    }
    // No partial or temporary file stays anywhere.
    EXPECT_FALSE(win.fs.Exists(std::string(kVxd) + ".tmp"));
    EXPECT_FALSE(win.fs.Exists(std::string(kWindowsVxd) + ".tmp"));
    if (c.ok == 0) {
      EXPECT_FALSE(win.fs.Exists(kVxd) || win.fs.Exists(kWindowsVxd));
    }
    if (c.ok == 1) {
      // The VxD loads from where it was written, and unloads with the handle.
      ASSERT_EQ(driver->Open(), 1);
      EXPECT_EQ(win.machine.loadedVxdPath, c.vxdPath);
      EXPECT_EQ(win.machine.lastVxdOpenName, shortName(c.vxdPath));
      driver->Close();
      EXPECT_FALSE(win.machine.VxdLoaded());
    }
    ExpectNoNtPath();
  }
}

// What a failed load of the VxD leads to: only "not found" writes it again and retries once;
// a register access whose open fails discards the driver, and no port is touched after.
TEST_F(Windows9x, AFailedLoadRetriesOnlyWhenTheVxdIsMissing) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    int extract;
    int opened;
    bool rewritten;
  };
  const Case cases[] = {
      {"file gone: written again", [&] { win.fs.Remove(kVxd); }, 1, 1, true},
      {"file gone, cannot be written",
       [&] {
         win.fs.Remove(kVxd);
         win.fs.SetFolderWritable(kDir, false);
         win.fs.SetFolderWritable("C:\\WINDOWS", false);
       },
       1, 0, false},
      {"file gone, extraction off", [&] { win.fs.Remove(kVxd); }, 0, 0, false},
      {"access denied", [&] { win.FailCall("CreateFileA", os::kErrorAccessDenied); }, 1, 0, false},
      {"the VxD refuses to load", [&] { win.FailCall("CreateFileA", os::kErrorGenFailure); }, 1, 0,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    win.ClearFailures();
    win.fs.SetFolderWritable(kDir, true);
    win.fs.SetFolderWritable("C:\\WINDOWS", true);
    win.fs.AddFile(kVxd, vxdImage);
    DeviceDriver = new CDeviceDriver();
    ASSERT_EQ(DeviceDriver->Initialize(nullptr, "cpuz", "cpuz", c.extract), 1);
    c.arrange();
    win.calls.clear();
    win.machine.portAccesses.clear();
    PciRegister& first = *DramGroup[0];
    first.value = 0x12345678u;
    ReadRegister(first);
    EXPECT_EQ(win.CallCount("WriteFile") > 0, c.rewritten);
    EXPECT_FALSE(win.machine.VxdLoaded());
    if (c.opened == 1) {
      EXPECT_EQ(first.value, SimNbConfigRead(first.function, first.offset));
      EXPECT_EQ(win.machine.portAccesses.size(), 4u);
      EXPECT_NE(DeviceDriver, nullptr);
    } else {
      EXPECT_TRUE(win.machine.portAccesses.empty());
      EXPECT_EQ(DeviceDriver, nullptr);  // discarded for the rest of the run
      ReadLinkGroup();
      EXPECT_TRUE(win.machine.portAccesses.empty());
    }
    FreeDeviceDriver();
    ExpectNoNtPath();
  }
}

// The whole program on Windows 98 SE, silent and windowed: the VxD is written at the start
// and loaded only around each register access; the port instructions are the program's own.
TEST_F(Windows9x, TheProgramRunsOnItsOwnPortInstructions) {
  class Windows : public Application {
   public:
    std::optional<Exception> Initialize(const std::string&) override { return std::nullopt; }
    std::optional<Exception> RunWindowed() override {
      if (onRun) onRun();
      ++runs;
      return std::nullopt;
    }
    std::function<void()> onRun;
    int runs = 0;
  } app;
  win.fs.AddFile("C:\\fast.mvn", "[DRAM]\r\nTcl=2\r\n[LINK]\r\nReqBufCnt=3\r\n");
  const std::uint32_t addressPort = 0x8000C290u;  // what another user of the ports left there
  SimNbOutDword(0xCF8, addressPort);
  const std::uint32_t f2x88 = SimNbConfigRead(2, 0x88), f0x90 = SimNbConfigRead(0, 0x90);

  struct Run {
    const char* tail;
    bool windowed;
  };
  for (const Run& run : {Run{"", true}, Run{" C:\\fast.mvn", false}}) {
    SCOPED_TRACE(run.windowed ? "windowed" : "silent");
    win.calls.clear();
    win.machine.portAccesses.clear();
    win.machine.vxdLoads = win.machine.vxdUnloads = 0;
    app.runs = 0;
    app.onRun = [&] {
      // While the window runs, the driver is ready and the VxD waits on disk, not loaded.
      ASSERT_NE(DeviceDriver, nullptr);
      EXPECT_EQ(DeviceDriver->m_dwPlatformId, 1);
      EXPECT_EQ(win.fs.Contents(kVxd), vxdImage);
      EXPECT_FALSE(win.machine.VxdLoaded());
    };
    win.session.commandLine = "\"C:\\Program Files\\Morvane\\morvane.exe\"" + std::string(run.tail);
    EXPECT_EQ(MorvaneMain(app), 0);
    win.session.EndProcess();
    EXPECT_EQ(app.runs, run.windowed ? 1 : 0);
    EXPECT_TRUE(win.session.messageBoxes.empty());
    EXPECT_EQ(win.fs.Contents(kVxd), vxdImage);  // stays for the next start
    EXPECT_EQ(win.machine.vxdLoads, win.machine.vxdUnloads);
    EXPECT_EQ(static_cast<int>(win.machine.portAccesses.size()), 4 * win.machine.vxdLoads);
    EXPECT_EQ(SimNbInDword(0xCF8), addressPort);
    ExpectNoNtPath();
  }
  // The silent run read all seven registers, wrote all seven and read them back.
  EXPECT_EQ(win.machine.vxdLoads, 21);
  EXPECT_EQ(PortAccesses(true, 0xCFC), 7);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), WithField(f2x88, 0, 3, 2));
  EXPECT_EQ(SimNbConfigRead(0, 0x90), WithField(f0x90, 0, 4, 3));
}

// Saves and the start-up registration without ReplaceFileA, MoveFileExA or the task scheduler:
// the old file goes, the complete new one is moved into its name, and nothing else stays.
TEST_F(Windows9x, SavesMoveAndTheStartupIsARunValue) {
  const std::string folder = "C:\\Settings";
  const std::string file = folder + "\\regs.mvn";
  win.fs.AddFolder(folder);
  ProgramFilePath = std::string(kDir) + "\\\\morvane.exe";
  StartupFilePath = std::string(kDir) + "\\\\startup.mvn";
  auto codes = [] {
    std::vector<std::uint32_t> all;
    for (const RegisterField& field : AllFields()) all.push_back(FieldCode(field));
    return all;
  };
  struct Case {
    const char* name;
    std::function<bool()> save;
    std::string folder;
    std::vector<std::string> folderAfter;
  };
  const Case cases[] = {
      {"a new register file", [&] { return SaveRegisterFile(file); }, folder, {"regs.mvn"}},
      {"over the old one", [&] { return SaveRegisterFile(file); }, folder, {"regs.mvn"}},
      {"the start-up file",
       [&] {
         return ApplyStartupSettings(ProgramFilePath, StartupFilePath).outcome ==
                StartupResult::Outcome::Done;
       },
       kDir,
       {"morvane.exe", "startup.mvn"}},
  };
  std::uint32_t fill = 0x01010101u;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    win.calls.clear();
    for (PciRegister& reg : Registers) reg.value = (fill = fill * 2654435761u + 12345u);
    const std::vector<std::uint32_t> saved = codes();
    ASSERT_TRUE(c.save());
    EXPECT_GE(win.CallCount("MoveFileA"), 1);
    EXPECT_EQ(win.fs.List(c.folder), c.folderAfter);
    for (PciRegister& reg : Registers) reg.value = 0;
    const std::string path = c.folder + "\\" + c.folderAfter.back();
    ASSERT_TRUE(LoadRegisterFile(path));
    EXPECT_EQ(codes(), saved);
    ExpectNoNtPath();
  }
  EXPECT_EQ(win.session.StringValue(kRun, "Morvane"),
            StartupCommandLine(ProgramFilePath, StartupFilePath));
  EXPECT_TRUE(win.session.tasks.empty());
}

}  // namespace
