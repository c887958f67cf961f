// The driver loader over the simulated Windows: platform detection, image extraction with its
// fallbacks and failures, the service codes it tolerates or refuses, and the device open rules.
#include <gtest/gtest.h>

#include <functional>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hw/DeviceDriver.h"
#include "tests/native/hw/DriverFixture.h"

namespace {

using LoaderNt = DriverFixture;

TEST_F(LoaderNt, FreshInstallWritesStartsAndDeletesThe32BitImage) {
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(driver->m_dwPlatformId, 2);
  EXPECT_EQ(driver->m_bIsWow64, 0);
  EXPECT_EQ(driver->m_dwProcessorArchitecture, 0);
  EXPECT_STREQ(driver->m_szDirectory, kDir);
  EXPECT_STREQ(driver->m_szFileName, "cpuz.sys");
  EXPECT_STREQ(driver->m_szDriverName, "cpuz");
  const sim::Machine::Service* s = Service();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->binaryPath, kSys);
  EXPECT_EQ(s->displayName, "cpuz");
  EXPECT_EQ(s->type, os::kServiceKernelDriver);
  EXPECT_EQ(s->startType, os::kServiceDemandStart);
  EXPECT_EQ(s->errorControl, os::kServiceErrorNormal);
  EXPECT_TRUE(s->running);
  EXPECT_EQ(s->loadedImage, sys32Image);
  // Afterwards: no image file, no manager or service handle, device closed, no file open.
  EXPECT_FALSE(win.fs.Exists(kSys));
  EXPECT_EQ(win.machine.OpenManagerCount(), 0);
  EXPECT_EQ(win.machine.OpenServiceHandleCount(), 0);
  EXPECT_EQ(driver->m_hDevice, os::kInvalidHandle);
  EXPECT_EQ(driver->m_hSCManager, nullptr);
  EXPECT_EQ(win.OpenHandleCount(sim::HandleKind::File), 0);
  EXPECT_EQ(win.machine.libraryReferences, 0);
}

TEST_F(LoaderNt, ImageWrittenHiddenAndKeptWhenItCannotBeDeleted) {
  win.FailCall("DeleteFileA", os::kErrorAccessDenied, 0, -1);
  int ok = 0;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(win.fs.Contents(kSys), sys32Image);
  EXPECT_NE(win.fs.Attributes(kSys) & os::kFileAttributeHidden, 0u);
}

TEST_F(LoaderNt, Wow64ProcessGetsThe64BitImageUnderTheSameNames) {
  win.machine.SetPlatform(sim::Platform::NtWow64);
  win.FailCall("DeleteFileA", os::kErrorAccessDenied);
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(driver->m_bIsWow64, 1);
  EXPECT_EQ(driver->m_dwProcessorArchitecture, 9);
  EXPECT_STREQ(driver->m_szFileName, "cpuz64.sys");
  EXPECT_STREQ(driver->m_szDriverName, "cpuz");
  EXPECT_EQ(Service()->binaryPath, kSys64);
  EXPECT_EQ(Service()->loadedImage, sys64Image);
  EXPECT_EQ(win.fs.Contents(kSys64), sys64Image);
  EXPECT_FALSE(win.fs.Exists(kSys));
}

TEST_F(LoaderNt, SixtyFourBitProcessGetsThe64BitImageWhateverTheLookupsAnswer) {
  // A 64-bit process is never WOW64: IsWow64Process answers FALSE, and even without kernel32's
  // lookups the process's own width names the image.
  for (bool libraryFails : {false, true}) {
    SCOPED_TRACE(libraryFails);
    win.machine.SetPlatform(sim::Platform::Nt64);
    win.machine.RemoveService("cpuz");
    if (libraryFails) win.FailCall("LoadLibraryA", os::kErrorModNotFound);
    int ok = 0;
    auto driver = Initialized(&ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(driver->m_bIsWow64, 0);
    EXPECT_EQ(driver->m_b64BitProcess, 1);
    EXPECT_STREQ(driver->m_szFileName, "cpuz64.sys");
    EXPECT_EQ(Service()->binaryPath, kSys64);
    EXPECT_EQ(Service()->loadedImage, sys64Image);
  }
}

TEST_F(LoaderNt, SystemsWithoutTheRunTimeFunctionsGetThe32BitImage) {
  win.machine.SetPlatform(sim::Platform::NtWithoutNativeSystemInfo);
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(driver->m_dwProcessorArchitecture, -1);
  EXPECT_EQ(Service()->loadedImage, sys32Image);
  EXPECT_EQ(win.machine.missingFunctionCalls, 0);
  EXPECT_EQ(win.CallCount("GetNativeSystemInfo"), 0);
  EXPECT_EQ(win.CallCount("IsWow64Process"), 0);
}

TEST_F(LoaderNt, DetectPlatformFallsBackToTheBasicRecordAndReportsLibraryTrouble) {
  CDeviceDriver driver;
  win.FailCall("GetVersionExA", os::kErrorInvalidParameter);
  EXPECT_NE(driver.DetectPlatform(), 0);
  EXPECT_EQ(driver.m_dwPlatformId, 2);
  EXPECT_EQ(win.CallCount("GetVersionExA"), 2);

  // No kernel32: the platform is known, the architecture is not.
  win.machine.SetPlatform(sim::Platform::NtWow64);
  CDeviceDriver noLibrary;
  win.FailCall("LoadLibraryA", os::kErrorModNotFound);
  EXPECT_EQ(noLibrary.DetectPlatform(), 0);
  EXPECT_EQ(noLibrary.m_dwPlatformId, 2);
  EXPECT_EQ(noLibrary.m_bIsWow64, 0);
  EXPECT_EQ(noLibrary.m_dwProcessorArchitecture, -1);

  // The result is that of releasing the library.
  CDeviceDriver release;
  win.FailCall("FreeLibrary", os::kErrorInvalidHandle);
  EXPECT_EQ(release.DetectPlatform(), 0);
  EXPECT_EQ(release.m_bIsWow64, 1);

  // IsWow64Process failing leaves the 32-bit answer.
  CDeviceDriver noAnswer;
  win.FailCall("IsWow64Process", os::kErrorAccessDenied);
  EXPECT_NE(noAnswer.DetectPlatform(), 0);
  EXPECT_EQ(noAnswer.m_dwProcessorArchitecture, 9);
  EXPECT_EQ(noAnswer.m_bIsWow64, 0);
}

TEST_F(LoaderNt, LibraryFailureOnWow64StillInstallsThe32BitImage) {
  win.machine.SetPlatform(sim::Platform::NtWow64);
  win.FailCall("LoadLibraryA", os::kErrorModNotFound);
  int ok = 0;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Service()->loadedImage, sys32Image);
}

TEST_F(LoaderNt, BothVersionQueriesFailingLeavesThePlatformUnknown) {
  win.FailCall("GetVersionExA", os::kErrorInvalidParameter, 0, 2);
  int ok = 1;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(driver->m_dwPlatformId, -1);
  EXPECT_EQ(win.CallCount("LoadLibraryA"), 0);
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 0);
  EXPECT_EQ(driver->Open(), 0);
  EXPECT_EQ(driver->Close(), 0);
  EXPECT_EQ(win.CallCount("CreateFileA"), 0);
}

// The program folder may be one other users can write to: whatever they leave under the
// image's name, the kernel gets only the image this program carries, and nobody can change
// it between its check and the service's start.
TEST_F(LoaderNt, APlantedImageIsNeverLoaded) {
  struct Case {
    const char* what;
    std::function<void(sim::SimWindows&, const std::string& image)> plant;
    const char* loadedFrom;  // the folder the service's image lies in
    bool written;            // the image was written out (not the file found used)
  };
  const std::string kTempSys = std::string(kTemp) + "\\cpuz.sys";  // as the loader joins it
  const Case cases[] = {
      {"other contents",
       [](sim::SimWindows& w, const std::string&) { w.fs.AddFile(kSys, "someone else's driver"); },
       kSys, true},
      {"the image and one byte more",
       [](sim::SimWindows& w, const std::string& image) { w.fs.AddFile(kSys, image + "x"); }, kSys, true},
      {"the image but its last byte",
       [](sim::SimWindows& w, const std::string& image) { w.fs.AddFile(kSys, image.substr(0, 2047)); }, kSys, true},
      {"one byte changed",
       [](sim::SimWindows& w, const std::string& image) {
         std::string changed = image;
         changed[1000] ^= 1;
         w.fs.AddFile(kSys, changed);
       },
       kSys, true},
      {"the very image", [](sim::SimWindows& w, const std::string& image) { w.fs.AddFile(kSys, image); }, kSys, false},
      {"other contents, read-only",
       [](sim::SimWindows& w, const std::string&) {
         w.fs.AddFile(kSys, "someone else's driver", os::kFileAttributeReadonly);
       },
       kTempSys.c_str(), true},
      {"other contents, held open for writing by its planter",
       [](sim::SimWindows& w, const std::string&) {
         w.fs.AddFile(kSys, "someone else's driver");
         os::Dword error = 0;
         ASSERT_GE(w.fs.Open(kSys, os::kGenericWrite, 0x7, os::kOpenExisting, 0, &error), 0);
       },
       kTempSys.c_str(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win.machine.RemoveService("cpuz");
    win.fs.Remove(kSys);
    win.fs.Remove(std::string(kTemp) + "cpuz.sys");
    win.calls.clear();
    c.plant(win, sys32Image);
    int ok = 0;
    auto driver = Initialized(&ok);
    ASSERT_EQ(ok, 1);
    ASSERT_NE(Service(), nullptr);
    EXPECT_EQ(Service()->loadedImage, sys32Image);
    EXPECT_EQ(Service()->binaryPath, c.loadedFrom);
    EXPECT_EQ(win.CallCount("WriteFile") > 0, c.written);
    EXPECT_EQ(win.fs.OpenCount(c.loadedFrom), 0);  // let go once the service started
    win.fs.EndProcess();
  }
}

TEST_F(LoaderNt, TheImageCannotBeSwappedBetweenItsCheckAndTheServiceStart) {
  // While the service starts, another user tries every way to put his own driver there.
  std::vector<os::Dword> refused;
  win.beforeCall = [&](const char* call) {
    if (std::string(call) != "StartServiceA") return;
    os::Dword error = 0;
    EXPECT_LT(win.fs.Open(kSys, os::kGenericWrite, 0x7, os::kOpenExisting, 0, &error), 0);
    refused.push_back(error);
    EXPECT_FALSE(win.fs.Delete(kSys, &error));
    refused.push_back(error);
    EXPECT_FALSE(win.fs.Move(kSys, "C:\\Program Files\\Morvane\\gone.sys", false, false, &error));
    refused.push_back(error);
  };
  int ok = 0;
  auto driver = Initialized(&ok);
  win.beforeCall = nullptr;
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(Service()->loadedImage, sys32Image);
  EXPECT_EQ(refused, std::vector<os::Dword>(3, os::kErrorSharingViolation));

  // A change that lands between the image's rename into place and its check: the check sees
  // it, and the service is not started with it.
  win.machine.RemoveService("cpuz");
  win.fs.EndProcess();
  bool renamed = false, swapped = false;
  win.beforeCall = [&](const char* call) {
    if (std::string(call) == "MoveFileExA") renamed = true;
    if (renamed && !swapped && std::string(call) == "CreateFileA") {
      swapped = true;
      win.fs.AddFile(kSys, "someone else's driver");
    }
  };
  driver = Initialized(&ok);
  win.beforeCall = nullptr;
  EXPECT_TRUE(swapped);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Service(), nullptr);  // never registered, never started
  EXPECT_EQ(win.machine.startServiceCalls, 1);  // only the first run's
}

TEST_F(LoaderNt, UnwritableProgramFolderFallsBackToTheTemporaryDirectory) {
  win.fs.SetFolderWritable(kDir, false);
  win.FailCall("DeleteFileA", os::kErrorAccessDenied, 1);  // keep the image for a look
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_STREQ(driver->m_szDirectory, kTemp);
  // The temporary directory ends in a separator, so the path doubles it; Windows takes that.
  EXPECT_EQ(Service()->binaryPath, "C:\\WINDOWS\\TEMP\\\\cpuz.sys");
  EXPECT_EQ(Service()->loadedImage, sys32Image);
  EXPECT_EQ(win.fs.Contents("C:\\WINDOWS\\TEMP\\cpuz.sys"), sys32Image);
  EXPECT_FALSE(win.fs.Exists(kSys));
  // The first failure deleted the target and tried once more before falling back.
  EXPECT_EQ(win.CallCount("DeleteFileA"), 2);
}

TEST_F(LoaderNt, TargetRetriedAfterDeletingItThenUsedInPlace) {
  win.FailCall("CreateFileA", os::kErrorAccessDenied, 2);  // probe, source, first create
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_STREQ(driver->m_szDirectory, kDir);
  EXPECT_EQ(Service()->binaryPath, kSys);
}

TEST_F(LoaderNt, ManagerThatCannotBeOpenedFailsBeforeAnyFileIsWritten) {
  win.machine.administrator = false;
  CDeviceDriver driver;
  ASSERT_EQ(driver.Initialize(nullptr, "cpuz", "cpuz", 1), 0);
  EXPECT_EQ(win.GetLastError(), os::kErrorAccessDenied);
  EXPECT_EQ(win.CallCount("WriteFile"), 0);
  EXPECT_FALSE(win.fs.Exists(kSys));
  os::Dword error = 0;
  EXPECT_EQ(driver.InstallDriverService(&error), 0);
  EXPECT_EQ(error, os::kErrorAccessDenied);
}

// Each way the extraction fails reports 20480, leaves no image behind, creates no service and
// releases the manager.
class ExtractionFailure : public DriverFixture {
 protected:
  void ExpectFailedInstall() {
    CDeviceDriver driver;
    driver.m_bExtractImage = 1;
    driver.m_dwPlatformId = 2;
    std::strcpy(driver.m_szDirectory, kDir);
    std::strcpy(driver.m_szFileName, "cpuz.sys");
    std::strcpy(driver.m_szDriverName, "cpuz");
    os::Dword error = 0;
    EXPECT_EQ(driver.InstallDriverService(&error), 0);
    EXPECT_EQ(error, kErrorWriteDriverImage);
    EXPECT_EQ(Service(), nullptr);
    EXPECT_EQ(win.machine.OpenManagerCount(), 0);
    EXPECT_EQ(driver.m_hSCManager, nullptr);
    EXPECT_FALSE(win.fs.Exists(kSys));
    EXPECT_FALSE(win.fs.Exists("C:\\WINDOWS\\TEMP\\cpuz.sys"));
    EXPECT_EQ(win.OpenHandleCount(sim::HandleKind::File), 0);
    // And the start-up's path: Initialize fails as a whole.
    auto again = Initialized();
    EXPECT_EQ(Service(), nullptr);
  }
};

TEST_F(ExtractionFailure, ImageLargerThanOneMebibyte) {
  SetImage(kImageNt32, 0, kMaxDriverImageSize + 1);
  ExpectFailedInstall();
  EXPECT_EQ(win.CallCount("CreateFileA"), 0);
}

TEST_F(ExtractionFailure, ProgramPathUnavailable) {
  win.FailCall("GetModuleFileNameA", os::kErrorInsufficientBuffer, 0, -1);
  ExpectFailedInstall();
}

TEST_F(ExtractionFailure, ProgramFileUnreadable) {
  win.fs.Remove(win.fs.moduleFileName);
  ExpectFailedInstall();
}

TEST_F(ExtractionFailure, TargetCreatableNowhere) {
  win.fs.SetFolderWritable(kDir, false);
  win.fs.SetFolderWritable("C:\\WINDOWS\\TEMP", false);
  ExpectFailedInstall();
}

TEST_F(ExtractionFailure, TruncatedProgramFileLeavesNoPartialImage) {
  // The table claims more than the file holds: a short read must not become a driver.
  win.fs.AddFile(win.fs.moduleFileName, program.substr(0, program.size() - 3000));
  ExpectFailedInstall();
  EXPECT_EQ(win.CallCount("WriteFile"), 0);
}

TEST_F(ExtractionFailure, PositioningOrReadingFails) {
  win.FailCall("SetFilePointer", os::kErrorInvalidParameter, 0, -1);
  ExpectFailedInstall();
  win.ClearFailures();
  win.FailCall("ReadFile", os::kErrorGenFailure, 0, -1);
  ExpectFailedInstall();
}

TEST_F(ExtractionFailure, FullDiskRemovesThePartialImage) {
  win.fs.capacity = win.fs.UsedBytes() + 1000;  // less than the image
  ExpectFailedInstall();
  // Room again: the next attempt writes the whole image rather than reusing a fragment.
  win.fs.capacity = std::uint64_t{1} << 30;
  win.FailCall("DeleteFileA", os::kErrorAccessDenied);
  int ok = 0;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Service()->loadedImage, sys32Image);
}

TEST_F(ExtractionFailure, WriteErrorRemovesThePartialImage) {
  win.FailCall("WriteFile", os::kErrorHandleDiskFull, 0, -1);
  ExpectFailedInstall();
}

TEST_F(LoaderNt, BuildWithoutTheImageFailsCleanly) {
  SetImage(kImageNt32, 0, 0);
  int ok = 1;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 0);
  EXPECT_FALSE(win.fs.Exists(kSys));
  EXPECT_EQ(Service(), nullptr);
}

TEST_F(LoaderNt, SourceFileNamedInTheDirectory) {
  win.fs.AddFile(std::string(kDir) + "\\images.bin", program);
  CDeviceDriver driver;
  std::strcpy(driver.m_szSourceName, "images.bin");
  win.fs.Remove(win.fs.moduleFileName);
  ASSERT_EQ(driver.Initialize(nullptr, "cpuz", "cpuz", 1), 1);
  EXPECT_EQ(Service()->loadedImage, sys32Image);
  EXPECT_EQ(win.CallCount("GetModuleFileNameA"), 0);
}

TEST_F(LoaderNt, AStoppedServiceIsPointedAtTheImageJustWritten) {
  // A service of this program's: its image gone (the folder was moved) or still there (an old
  // copy), the stopped service now names the image this run wrote, and nothing else of it
  // changes. A service whose image file is named otherwise is another program's driver: it
  // is left as it is and started as it stands.
  struct Case {
    const char* path;
    bool imageThere;
    bool ours;
  };
  const Case cases[] = {
      {"\\??\\C:\\drivers\\cpuz.sys", false, true},
      {"\\??\\C:\\drivers\\cpuz.sys", true, true},
      {"C:\\old folder\\CPUZ64.SYS", true, true},
      {"C:/drivers/Cpuz.Sys", false, true},
      {"C:\\drivers\\old.sys", true, false},
      {"C:\\drivers\\cpuz.sys.bak", true, false},
      {"C:\\drivers\\xcpuz.sys", true, false},
      {"C:\\cpuz.sys\\other.sys", true, false},
      {"C:\\WINDOWS\\system32\\drivers\\cpuz_x64.sys", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    win.machine.RemoveService("cpuz");
    std::string file = c.path;
    if (file.rfind("\\??\\", 0) == 0) file = file.substr(4);
    win.fs.Remove(file);
    if (c.imageThere) win.fs.AddFile(file, "old driver");
    sim::Machine::Service& stale = win.machine.AddService("cpuz", c.path);
    stale.displayName = "Shown";
    stale.startType = 2;
    const int changes = win.machine.changeServiceConfigCalls;
    int ok = 0;
    auto driver = Initialized(&ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(Service()->binaryPath, c.ours ? std::string(kSys) : std::string(c.path));
    EXPECT_EQ(Service()->displayName, "Shown");
    EXPECT_EQ(Service()->startType, 2u);
    EXPECT_EQ(Service()->loadedImage, c.ours ? sys32Image : std::string("old driver"));
    EXPECT_EQ(win.machine.changeServiceConfigCalls, changes + (c.ours ? 1 : 0));
    os::Dword error = 0;
    EXPECT_EQ(driver->InstallDriverService(&error), 1);  // now already running: left as is
    EXPECT_EQ(error, os::kErrorServiceAlreadyRunning);
    EXPECT_EQ(win.machine.changeServiceConfigCalls, changes + (c.ours ? 1 : 0));
  }
}

TEST_F(LoaderNt, ARunningOrMatchingServiceIsLeftAsItIs) {
  win.machine.AddService("cpuz", "C:\\drivers\\old.sys", true);
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(Service()->binaryPath, "C:\\drivers\\old.sys");
  win.machine.RemoveService("cpuz");
  win.machine.AddService("cpuz", "c:\\program files\\morvane\\CPUZ.SYS");
  driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(win.machine.changeServiceConfigCalls, 0);
  // A query or change that fails leaves the service alone; the start then reports.
  for (const char* call : {"QueryServiceStatus", "QueryServiceConfigA", "ChangeServiceConfigA"}) {
    SCOPED_TRACE(call);
    win.machine.RemoveService("cpuz");
    win.machine.AddService("cpuz", "C:\\gone\\cpuz.sys");
    win.FailCall(call, os::kErrorAccessDenied);
    driver = Initialized(&ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(win.GetLastError(), os::kErrorFileNotFound);
    EXPECT_EQ(Service()->binaryPath, "C:\\gone\\cpuz.sys");
    win.ClearFailures();
  }
}

TEST_F(LoaderNt, AServiceIsRepointedOnlyWhenStoppedOursAndElsewhere) {
  struct Case {
    const char* what;
    const char* path;
    bool running;
    int extract;
    bool repointed;
  };
  const std::string ours = std::string("\\??\\") + kSys;
  const Case cases[] = {
      {"running, our image name elsewhere", "C:\\drivers\\cpuz.sys", true, 1, false},
      {"stopped, our own path in the kernel's form", ours.c_str(), false, 1, false},
      {"stopped, our own path", kSys, false, 1, false},
      {"stopped, our image name elsewhere, extraction off", "C:\\drivers\\cpuz.sys", false, 0,
       false},
      {"stopped, our image name elsewhere", "C:\\drivers\\cpuz.sys", false, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win.machine.RemoveService("cpuz");
    win.fs.AddFile("C:\\drivers\\cpuz.sys", sys32Image);
    win.fs.AddFile(kSys, sys32Image);
    win.machine.AddService("cpuz", c.path, c.running);
    const int changes = win.machine.changeServiceConfigCalls;
    CDeviceDriver driver;
    EXPECT_EQ(driver.Initialize(nullptr, "cpuz", "cpuz", c.extract), 1);
    EXPECT_EQ(win.machine.changeServiceConfigCalls - changes, c.repointed ? 1 : 0);
    EXPECT_EQ(Service()->binaryPath, c.repointed ? std::string(kSys) : std::string(c.path));
  }
}

TEST_F(LoaderNt, AnImageOfExactlyOneMebibyteIsStillWritten) {
  const std::string big = Image("BIG", kMaxDriverImageSize, 'b');
  SetImage(kImageNt32, static_cast<std::uint32_t>(program.size()), big.size());
  win.fs.AddFile(win.fs.moduleFileName, program + big);
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(Service()->loadedImage, big);
}

TEST_F(LoaderNt, TheImageIsRenamedIntoPlaceOnlyWhenComplete) {
  // A torn temporary file of an interrupted run is overwritten; the image name is only ever
  // given to a whole, flushed file.
  win.fs.AddFile(std::string(kSys) + ".tmp", "MZ torn");
  win.FailCall("DeleteFileA", os::kErrorAccessDenied, 0, -1);  // keep the image for a look
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(win.fs.Contents(kSys), sys32Image);
  EXPECT_FALSE(win.fs.Exists(std::string(kSys) + ".tmp"));
  EXPECT_EQ(win.CallCount("FlushFileBuffers"), 1);
  EXPECT_EQ(win.CallCount("MoveFileExA"), 1);
  win.ClearFailures();

  // Any failure after the temporary file exists leaves no image and no temporary file.
  for (const char* call : {"WriteFile", "FlushFileBuffers", "MoveFileExA"}) {
    SCOPED_TRACE(call);
    win.fs.Remove(kSys);
    win.machine.RemoveService("cpuz");
    win.FailCall(call, os::kErrorDiskFull, 0, -1);
    driver = Initialized(&ok);
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(win.fs.Exists(kSys));
    EXPECT_FALSE(win.fs.Exists(std::string(kSys) + ".tmp"));
    EXPECT_EQ(Service(), nullptr);
    win.ClearFailures();
  }
}

TEST_F(LoaderNt, ServiceCodes) {
  struct Case {
    const char* call;
    os::Dword code;
    int ok;
  };
  const Case cases[] = {
      {"CreateServiceA", os::kErrorServiceExists, 0},  // no service then: start fails, 1060
      {"CreateServiceA", os::kErrorServiceMarkedForDelete, 0},
      {"CreateServiceA", os::kErrorAccessDenied, 0},
      {"OpenServiceA", os::kErrorServiceDoesNotExist, 0},
      {"StartServiceA", os::kErrorServiceAlreadyRunning, 1},
      {"StartServiceA", os::kErrorServiceDisabled, 0},
      {"StartServiceA", os::kErrorFileNotFound, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.code));
    sim::ScopedSimWindows fresh;
    fresh->fs.AddFile(fresh->fs.moduleFileName, program);
    fresh->FailCall(c.call, c.code);
    CDeviceDriver driver;
    EXPECT_EQ(driver.Initialize(nullptr, "cpuz", "cpuz", 1), c.ok);
    if (!c.ok) {
      os::Dword expected =
          std::string(c.call) == "CreateServiceA" && c.code == os::kErrorServiceExists
              ? os::kErrorServiceDoesNotExist
              : c.code;
      EXPECT_EQ(fresh->GetLastError(), expected);
    }
    // The image goes whatever the outcome; the manager is released.
    EXPECT_FALSE(fresh->fs.Exists(kSys));
    EXPECT_EQ(fresh->machine.OpenManagerCount(), 0);
    EXPECT_EQ(fresh->machine.OpenServiceHandleCount(), 0);
  }
}

TEST_F(LoaderNt, ServiceMarkedForDeleteFailsInitialize) {
  win.machine.AddService("cpuz", kSys);
  win.machine.MarkForDelete("cpuz");
  int ok = 1;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(win.GetLastError(), os::kErrorServiceMarkedForDelete);
  EXPECT_EQ(win.CallCount("OpenServiceA"), 0);
  os::Dword error = 0;
  EXPECT_EQ(driver->CreateDriverService(&error), 0);
}

TEST_F(LoaderNt, OverlongNamesAreRefusedWithoutTouchingAnything) {
  CDeviceDriver longDirectory;
  EXPECT_EQ(longDirectory.Initialize(std::string(256, 'd').c_str(), "cpuz", "cpuz", 1), 0);
  EXPECT_EQ(win.GetLastError(), os::kErrorFilenameExcedRange);
  CDeviceDriver longBase;
  EXPECT_EQ(longBase.Initialize(nullptr, std::string(252, 'b').c_str(), "cpuz", 1), 0);
  CDeviceDriver longDriver;
  EXPECT_EQ(longDriver.Initialize(nullptr, "cpuz", std::string(64, 'n').c_str(), 1), 0);
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 0);
  EXPECT_EQ(win.CallCount("CreateFileA"), 0);

  // The current directory too long for the field.
  win.fs.currentDirectory = "C:\\" + std::string(253, 'c');
  win.fs.AddFolder(win.fs.currentDirectory);
  CDeviceDriver longCurrent;
  EXPECT_EQ(longCurrent.Initialize(nullptr, "cpuz", "cpuz", 1), 0);
  EXPECT_STREQ(longCurrent.m_szDirectory, "");
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 0);

  // The longest names that fit are taken.
  CDeviceDriver fits;
  std::string directory = "C:\\" + std::string(252, 'f');
  fits.Initialize(directory.c_str(), std::string(251, 'b').c_str(), std::string(63, 'n').c_str(),
                  0);
  EXPECT_EQ(fits.m_szDirectory, directory);
  EXPECT_EQ(std::strlen(fits.m_szFileName), 255u);
  EXPECT_EQ(std::strlen(fits.m_szDriverName), 63u);
}

TEST_F(LoaderNt, FallbackDirectoryThatDoesNotFitFailsCleanly) {
  win.fs.SetFolderWritable(kDir, false);
  win.fs.tempPath = "C:\\" + std::string(260, 't') + "\\";
  int ok = 1;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 0);
  EXPECT_STREQ(driver->m_szDirectory, kDir);
  EXPECT_EQ(Service(), nullptr);
}

TEST_F(LoaderNt, OpenAndCloseTheDevice) {
  auto driver = Initialized();
  int closes = win.CallCount("CloseHandle");
  ASSERT_EQ(driver->Open(), 1);
  EXPECT_NE(driver->m_hDevice, os::kInvalidHandle);
  EXPECT_EQ(win.machine.OpenDeviceCount(), 1);
  EXPECT_EQ(driver->Open(), 1);  // already open: still one handle
  EXPECT_EQ(win.machine.OpenDeviceCount(), 1);
  EXPECT_EQ(driver->Close(), 1);
  EXPECT_EQ(driver->m_hDevice, os::kInvalidHandle);
  EXPECT_EQ(win.machine.OpenDeviceCount(), 0);
  EXPECT_EQ(driver->Close(), 1);
  EXPECT_EQ(win.CallCount("CloseHandle"), closes + 1);
}

TEST_F(LoaderNt, OpenReinstallsAServiceThatWasRemoved) {
  auto driver = Initialized();
  win.machine.RemoveService("cpuz");
  ASSERT_EQ(driver->Open(), 1);
  ASSERT_NE(Service(), nullptr);
  EXPECT_TRUE(Service()->running);
  EXPECT_EQ(Service()->loadedImage, sys32Image);
  EXPECT_FALSE(win.fs.Exists(kSys));
  EXPECT_EQ(win.machine.deviceOpens, 1);
  driver->Close();

  // Only stopped: the existing service is started again.
  win.machine.StopService("cpuz");
  ASSERT_EQ(driver->Open(), 1);
  EXPECT_EQ(Service()->starts, 2);
  driver->Close();
}

TEST_F(LoaderNt, OpenFailsWithoutReinstallOnOtherErrors) {
  auto driver = Initialized();
  win.machine.deviceAccessDenied = true;
  int managers = win.CallCount("OpenSCManagerA");
  EXPECT_EQ(driver->Open(), 0);
  EXPECT_EQ(driver->m_hDevice, os::kInvalidHandle);
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), managers);

  // Gone and not installable again.
  win.machine.deviceAccessDenied = false;
  win.machine.RemoveService("cpuz");
  win.machine.administrator = false;
  EXPECT_EQ(driver->Open(), 0);
  EXPECT_EQ(driver->m_hDevice, os::kInvalidHandle);
  EXPECT_EQ(win.GetLastError(), os::kErrorAccessDenied);

  // Installed again but the device still does not open.
  win.machine.administrator = true;
  // Device, image probe, program file, image target, the image's check, then the second
  // device open fails.
  win.FailCall("CreateFileA", os::kErrorFileNotFound, 5);
  EXPECT_EQ(driver->Open(), 0);
  EXPECT_TRUE(Service()->running);
}

TEST_F(LoaderNt, DestroyingTheObjectLeavesServiceAndDeviceAlone) {
  auto driver = Initialized();
  ASSERT_EQ(driver->Open(), 1);
  int closes = win.CallCount("CloseHandle");
  driver.reset();
  EXPECT_EQ(win.CallCount("CloseHandle"), closes);
  EXPECT_TRUE(Service()->running);
}

TEST_F(LoaderNt, WithoutExtractionTheImageMustAlreadyBeThere) {
  CDeviceDriver driver;
  EXPECT_EQ(driver.Initialize(nullptr, "cpuz", "cpuz", 0), 0);
  EXPECT_EQ(win.GetLastError(), os::kErrorFileNotFound);  // the start found no image
  win.fs.AddFile(kSys, "installed by hand");
  CDeviceDriver second;
  EXPECT_EQ(second.Initialize(nullptr, "cpuz", "cpuz", 0), 1);
  EXPECT_TRUE(win.fs.Exists(kSys));  // not ours to delete
  EXPECT_EQ(Service()->loadedImage, "installed by hand");
}

class Loader9x : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    win.machine.SetPlatform(sim::Platform::Windows9x);
  }
};

TEST_F(Loader9x, InitializeWritesTheVxdAndLoadsNothing) {
  int ok = 0;
  auto driver = Initialized(&ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(driver->m_dwPlatformId, 1);
  EXPECT_STREQ(driver->m_szFileName, "cpuz.vxd");
  EXPECT_STREQ(driver->m_szDriverName, "cpuz");
  EXPECT_EQ(win.fs.Contents(kVxd), vxdImage);
  EXPECT_EQ(win.machine.vxdLoads, 0);
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 0);
  EXPECT_EQ(win.CallCount("GetNativeSystemInfo"), 0);
  EXPECT_EQ(win.CallCount("GetVersionExA"), 2);  // the extended record is refused here
}

TEST_F(Loader9x, EveryOpenLoadsAndEveryCloseUnloads) {
  auto driver = Initialized();
  for (int i = 1; i <= 3; ++i) {
    ASSERT_EQ(driver->Open(), 1);
    EXPECT_TRUE(win.machine.VxdLoaded());
    EXPECT_EQ(driver->Close(), 1);
    EXPECT_FALSE(win.machine.VxdLoaded());
    EXPECT_EQ(win.machine.vxdUnloads, i);
  }
  EXPECT_TRUE(win.fs.Exists(kVxd));  // the VxD file stays
}

TEST_F(Loader9x, MissingVxdIsWrittenAgainOnOpen) {
  auto driver = Initialized();
  win.fs.Remove(kVxd);
  ASSERT_EQ(driver->Open(), 1);
  EXPECT_EQ(win.fs.Contents(kVxd), vxdImage);
  driver->Close();
}

TEST_F(Loader9x, UnwritableFolderFallsBackToTheWindowsDirectory) {
  win.fs.SetFolderWritable(kDir, false);
  auto driver = Initialized();
  EXPECT_STREQ(driver->m_szDirectory, "C:\\WINDOWS");
  EXPECT_EQ(win.fs.Contents("C:\\WINDOWS\\cpuz.vxd"), vxdImage);
  ASSERT_EQ(driver->Open(), 1);
  EXPECT_EQ(win.machine.loadedVxdPath, "C:\\WINDOWS\\cpuz.vxd");
  driver->Close();
}

TEST_F(Loader9x, PrepareVxdCodes) {
  CDeviceDriver driver;
  std::strcpy(driver.m_szDirectory, kDir);
  std::strcpy(driver.m_szFileName, "cpuz.vxd");
  os::Dword error = 7;
  EXPECT_EQ(driver.PrepareVxd(&error), 1);  // extraction off: nothing to do
  EXPECT_EQ(error, 0u);
  EXPECT_FALSE(win.fs.Exists(kVxd));
  driver.m_bExtractImage = 1;
  win.FailCall("WriteFile", os::kErrorDiskFull);
  EXPECT_EQ(driver.PrepareVxd(&error), 0);
  EXPECT_EQ(error, kErrorWriteDriverImage);
  EXPECT_FALSE(win.fs.Exists(kVxd));  // no half VxD to be found and reused later
  EXPECT_EQ(driver.PrepareVxd(&error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(win.fs.Contents(kVxd), vxdImage);
}

TEST_F(Loader9x, BuildWithoutAVxdReportsTheFamilyUnsupported) {
  SetImage(kImageVxd, 0, 0);
  int ok = 1;
  auto driver = Initialized(&ok);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(win.GetLastError(), os::kErrorNotSupported);
  EXPECT_FALSE(win.fs.Exists(kVxd));
}

// Each open names the VxD by its full path in short names, the only full path the loader takes
// (a bare name is searched for where the system does not document): also when the file went
// and is written again at the open, into the program's folder or, where that cannot take it,
// the Windows directory. Any other failure to find the path fails the open and writes nothing.
TEST_F(Loader9x, EveryOpenNamesTheVxdByItsFullShortPath) {
  constexpr char kShort[] = "C:\\PROGRA~1\\MORVANE\\CPUZ.VXD";
  constexpr char kWindowsShort[] = "C:\\WINDOWS\\CPUZ.VXD";
  struct Case {
    const char* name;
    std::function<void(CDeviceDriver&)> arrange;  // after Initialize, before Open
    int opened;
    const char* openName;  // what the loader was given last
    const char* loaded;    // where the VxD was loaded from
    bool rewritten;
  };
  const Case cases[] = {
      {"in the program folder", [](CDeviceDriver&) {}, 1, kShort, kVxd, false},
      {"gone: written again", [&](CDeviceDriver&) { win.fs.Remove(kVxd); }, 1, kShort, kVxd,
       true},
      {"gone, folder read-only: the Windows directory",
       [&](CDeviceDriver&) {
         win.fs.Remove(kVxd);
         win.fs.SetFolderWritable(kDir, false);
       },
       1, kWindowsShort, "C:\\WINDOWS\\cpuz.vxd", true},
      {"its folder gone: the Windows directory",
       [](CDeviceDriver& d) { std::strcpy(d.m_szDirectory, "C:\\Gone"); }, 1, kWindowsShort,
       "C:\\WINDOWS\\cpuz.vxd", true},
      {"the short path cannot be had",
       [&](CDeviceDriver&) { win.FailCall("GetShortPathNameA", os::kErrorAccessDenied); }, 0, "",
       "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    win.ClearFailures();
    win.fs.SetFolderWritable(kDir, true);
    win.fs.Remove("C:\\WINDOWS\\cpuz.vxd");
    win.machine.lastVxdOpenName.clear();
    win.machine.loadedVxdPath.clear();
    auto driver = Initialized();
    ASSERT_EQ(win.fs.Contents(kVxd), vxdImage);
    c.arrange(*driver);
    win.calls.clear();
    EXPECT_EQ(driver->Open(), c.opened);
    EXPECT_EQ(win.machine.lastVxdOpenName, c.openName);
    EXPECT_EQ(win.machine.loadedVxdPath, c.loaded);
    EXPECT_EQ(win.CallCount("WriteFile") > 0, c.rewritten);
    EXPECT_EQ(win.CallCount("GetShortPathNameA"), c.rewritten ? 2 : 1);
    driver->Close();
    EXPECT_FALSE(win.machine.VxdLoaded());
  }
}

TEST_F(Loader9x, OpenFailsOnOtherErrors) {
  auto driver = Initialized();
  win.FailCall("CreateFileA", os::kErrorAccessDenied);
  EXPECT_EQ(driver->Open(), 0);
  EXPECT_EQ(win.machine.vxdLoads, 0);
}

}  // namespace
