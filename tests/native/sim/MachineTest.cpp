// The simulated machine answers as the Windows it stands for: version and architecture
// presets, CPUID, the service manager's codes, the driver's device and the 9x VxD loader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "hw/driver/Protocol.h"
#include "os/Api.h"
#include "sim/Northbridge.h"
#include "sim/SimWindows.h"

namespace {

constexpr char kImagePath[] = "C:\\Program Files\\Morvane\\cpuz.sys";

class Machine : public ::testing::Test {
 protected:
  sim::ScopedSimWindows sim;
  sim::SimWindows& win = *sim;

  // Registers and starts the driver service the way the program does.
  void StartDriver() {
    win.fs.AddFile(kImagePath, "driver image");
    os::ScHandle manager = win.OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess);
    ASSERT_NE(manager, nullptr);
    os::ScHandle service =
        win.CreateServiceA(manager, "cpuz", "cpuz", os::kServiceAllAccess, os::kServiceKernelDriver,
                           os::kServiceDemandStart, os::kServiceErrorNormal, kImagePath, nullptr,
                           nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(win.StartServiceA(service, 0, nullptr));
    win.CloseServiceHandle(service);
    win.CloseServiceHandle(manager);
  }

  os::Handle OpenDevice() {
    return win.CreateFileA("\\\\.\\cpuz", os::kGenericRead, os::kFileShareRead, os::kOpenExisting,
                           0);
  }

  bool Read(os::Handle device, std::uint32_t port, std::uint32_t* value) {
    MvnReadPortInput in{port};
    MvnPortOutput out{0, 0};
    os::Dword returned = 0;
    bool ok = win.DeviceIoControl(device, MVN_IOCTL_READ_PORT, &in, sizeof in, &out, sizeof out,
                                  &returned);
    *value = out.value;
    return ok;
  }

  bool Write(os::Handle device, std::uint32_t port, std::uint32_t value) {
    MvnWritePortInput in{port, value};
    MvnPortOutput out{0, 0};
    os::Dword returned = 0;
    return win.DeviceIoControl(device, MVN_IOCTL_WRITE_PORT, &in, sizeof in, &out, sizeof out,
                               &returned);
  }
};

TEST_F(Machine, VersionRecordsOfEachPreset) {
  struct Case {
    sim::Platform platform;
    os::Dword platformId;
    bool extended;
  };
  for (Case c : {Case{sim::Platform::Windows9x, 1, false}, Case{sim::Platform::Nt32, 2, true},
                 Case{sim::Platform::NtWow64, 2, true},
                 Case{sim::Platform::NtWithoutNativeSystemInfo, 2, true}}) {
    win.machine.SetPlatform(c.platform);
    os::OsVersionInfo info;
    info.dwOSVersionInfoSize = os::kOsVersionInfoExSize;
    EXPECT_EQ(win.GetVersionExA(&info) != 0, c.extended);
    info = os::OsVersionInfo();
    info.dwOSVersionInfoSize = os::kOsVersionInfoSize;
    ASSERT_TRUE(win.GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, c.platformId);
  }
  os::OsVersionInfo wrong;
  wrong.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(win.GetVersionExA(&wrong));
  EXPECT_EQ(win.GetLastError(), os::kErrorInsufficientBuffer);
}

TEST_F(Machine, Kernel32LookupsFollowThePlatform) {
  win.machine.SetPlatform(sim::Platform::NtWow64);
  os::HModule kernel32 = win.LoadLibraryA("KERNEL32.DLL");
  ASSERT_NE(kernel32, nullptr);
  EXPECT_EQ(win.LoadLibraryA("kernel32.dll"), kernel32);  // one module, counted twice
  EXPECT_NE(win.GetProcAddress(kernel32, "GetNativeSystemInfo"), nullptr);
  EXPECT_NE(win.GetProcAddress(kernel32, "IsWow64Process"), nullptr);
  EXPECT_EQ(win.GetProcAddress(kernel32, "getnativesysteminfo"), nullptr);  // exact spelling
  EXPECT_EQ(win.GetLastError(), os::kErrorProcNotFound);
  os::SystemInfo info;
  win.GetNativeSystemInfo(&info);
  EXPECT_EQ(info.wProcessorArchitecture, os::kProcessorArchitectureAmd64);
  os::Bool wow64 = 0;
  EXPECT_TRUE(win.IsWow64Process(win.GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, 1);
  EXPECT_FALSE(win.IsWow64Process(reinterpret_cast<os::Handle>(8), &wow64));
  EXPECT_TRUE(win.FreeLibrary(kernel32));
  EXPECT_TRUE(win.FreeLibrary(kernel32));
  EXPECT_FALSE(win.FreeLibrary(kernel32));
  EXPECT_EQ(win.machine.libraryReferences, 0);
  EXPECT_EQ(win.LoadLibraryA("user32.dll"), nullptr);
  EXPECT_EQ(win.GetLastError(), os::kErrorModNotFound);

  win.machine.SetPlatform(sim::Platform::NtWithoutNativeSystemInfo);
  kernel32 = win.LoadLibraryA("kernel32.dll");
  EXPECT_EQ(win.GetProcAddress(kernel32, "GetNativeSystemInfo"), nullptr);
  EXPECT_EQ(win.GetProcAddress(kernel32, "IsWow64Process"), nullptr);
  EXPECT_EQ(win.machine.missingFunctionCalls, 0);
  win.GetNativeSystemInfo(&info);
  EXPECT_EQ(win.machine.missingFunctionCalls, 1);  // a real program would have crashed
}

TEST_F(Machine, CpuidVendorAndFamily) {
  os::Dword regs[4];
  win.Cpuid(0, regs);
  char vendor[13] = {};
  std::memcpy(vendor, &regs[1], 4);
  std::memcpy(vendor + 4, &regs[3], 4);
  std::memcpy(vendor + 8, &regs[2], 4);
  EXPECT_STREQ(vendor, "AuthenticAMD");
  win.Cpuid(1, regs);
  EXPECT_EQ((regs[0] >> 8) & 0xF, 15u);
  win.machine.cpuVendor = "GenuineIntel";
  win.machine.SetCpuFamily(6);
  win.Cpuid(0, regs);
  EXPECT_EQ(regs[1], 0x756E6547u);  // "Genu"
  win.Cpuid(1, regs);
  EXPECT_EQ((regs[0] >> 8) & 0xF, 6u);
  EXPECT_EQ(regs[0] & 0x0FFF00F0u, 0x00020000u | 0xB0u);  // model bits untouched
}

TEST_F(Machine, ServiceManagerCodes) {
  win.fs.AddFile(kImagePath, "driver image");
  win.machine.administrator = false;
  EXPECT_EQ(win.OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess), nullptr);
  EXPECT_EQ(win.GetLastError(), os::kErrorAccessDenied);
  win.machine.administrator = true;
  os::ScHandle manager = win.OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess);
  ASSERT_NE(manager, nullptr);

  auto create = [&] {
    return win.CreateServiceA(manager, "cpuz", "cpuz", os::kServiceAllAccess,
                              os::kServiceKernelDriver, os::kServiceDemandStart,
                              os::kServiceErrorNormal, kImagePath, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
  };
  os::ScHandle created = create();
  ASSERT_NE(created, nullptr);
  const sim::Machine::Service* s = win.machine.FindService("CPUZ");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->binaryPath, kImagePath);
  EXPECT_EQ(s->startType, os::kServiceDemandStart);
  EXPECT_EQ(create(), nullptr);
  EXPECT_EQ(win.GetLastError(), os::kErrorServiceExists);

  EXPECT_EQ(win.OpenServiceA(manager, "other", os::kServiceAllAccess), nullptr);
  EXPECT_EQ(win.GetLastError(), os::kErrorServiceDoesNotExist);

  // Starting loads the image file, which may go afterwards.
  EXPECT_TRUE(win.StartServiceA(created, 0, nullptr));
  EXPECT_EQ(win.machine.FindService("cpuz")->loadedImage, "driver image");
  EXPECT_FALSE(win.StartServiceA(created, 0, nullptr));
  EXPECT_EQ(win.GetLastError(), os::kErrorServiceAlreadyRunning);

  win.machine.StopService("cpuz");
  win.fs.Remove(kImagePath);
  EXPECT_FALSE(win.StartServiceA(created, 0, nullptr));
  EXPECT_EQ(win.GetLastError(), os::kErrorFileNotFound);
  win.fs.AddFile(kImagePath, "");
  EXPECT_FALSE(win.StartServiceA(created, 0, nullptr));
  EXPECT_EQ(win.GetLastError(), sim::kErrorBadExeFormat);

  win.machine.MarkForDelete("cpuz");
  EXPECT_EQ(create(), nullptr);
  EXPECT_EQ(win.GetLastError(), os::kErrorServiceMarkedForDelete);
  EXPECT_FALSE(win.StartServiceA(created, 0, nullptr));
  EXPECT_EQ(win.GetLastError(), os::kErrorServiceMarkedForDelete);

  EXPECT_TRUE(win.CloseServiceHandle(created));
  EXPECT_FALSE(win.CloseServiceHandle(created));
  EXPECT_EQ(win.GetLastError(), os::kErrorInvalidHandle);
  EXPECT_TRUE(win.CloseServiceHandle(manager));
  EXPECT_EQ(win.machine.OpenManagerCount(), 0);
  EXPECT_EQ(win.machine.OpenServiceHandleCount(), 0);
}

TEST_F(Machine, ServiceImagePathWithADoubledSeparatorStarts) {
  // The temporary directory ends in a separator, so the program's image path doubles it.
  win.fs.AddFile("C:\\WINDOWS\\TEMP\\cpuz.sys", "image");
  win.machine.AddService("cpuz", "C:\\WINDOWS\\TEMP\\\\cpuz.sys");
  os::ScHandle manager = win.OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess);
  os::ScHandle service = win.OpenServiceA(manager, "cpuz", os::kServiceAllAccess);
  EXPECT_TRUE(win.StartServiceA(service, 0, nullptr));
  win.CloseServiceHandle(service);
  win.CloseServiceHandle(manager);
}

TEST_F(Machine, DeviceExistsWhileTheServiceRuns) {
  EXPECT_EQ(OpenDevice(), os::kInvalidHandle);
  EXPECT_EQ(win.GetLastError(), os::kErrorFileNotFound);
  StartDriver();
  win.machine.deviceAccessDenied = true;
  EXPECT_EQ(OpenDevice(), os::kInvalidHandle);
  EXPECT_EQ(win.GetLastError(), os::kErrorAccessDenied);
  win.machine.deviceAccessDenied = false;
  os::Handle device = OpenDevice();
  ASSERT_NE(device, os::kInvalidHandle);
  EXPECT_EQ(win.machine.deviceOpens, 1);
  EXPECT_EQ(win.machine.OpenDeviceCount(), 1);
  EXPECT_TRUE(win.CloseHandle(device));
  EXPECT_EQ(win.machine.OpenDeviceCount(), 0);
  win.machine.RemoveService("cpuz");
  EXPECT_EQ(OpenDevice(), os::kInvalidHandle);
  EXPECT_EQ(win.GetLastError(), os::kErrorFileNotFound);
}

TEST_F(Machine, DeviceServesThePortRequestsFromTheChip) {
  StartDriver();
  os::Handle device = OpenDevice();
  ASSERT_NE(device, os::kInvalidHandle);
  std::uint32_t value = 0;
  ASSERT_TRUE(Write(device, 0xCF8, 0x8000C288u));
  ASSERT_TRUE(Read(device, 0xCFC, &value));
  EXPECT_EQ(value, 0x13723335u);
  ASSERT_TRUE(Write(device, 0xCFC, 0x13823542u));
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13823542u);
  ASSERT_TRUE(Write(device, 0xCF8, 0));
  EXPECT_EQ(win.machine.RequestCount(MVN_IOCTL_READ_PORT), 1);
  EXPECT_EQ(win.machine.RequestCount(MVN_IOCTL_WRITE_PORT), 3);
  ASSERT_EQ(win.machine.requests.size(), 4u);
  EXPECT_EQ(win.machine.requests[1].value, 0x13723335u);  // the value read is logged
  EXPECT_EQ(win.machine.requests[2].port, 0xCFCu);

  // The driver's refusals arrive as the Win32 codes the I/O manager makes of them.
  EXPECT_FALSE(Read(device, 0xCFC, &value));  // address port idle now
  EXPECT_EQ(win.GetLastError(), os::kErrorAccessDenied);
  EXPECT_FALSE(Read(device, 0x80, &value));
  EXPECT_EQ(win.GetLastError(), os::kErrorAccessDenied);
  os::Dword returned = 7;
  std::uint32_t port = 0xCF8;
  std::uint8_t out[8];
  EXPECT_FALSE(win.DeviceIoControl(device, 0x9C402410u, &port, 4, out, 8, &returned));
  EXPECT_EQ(win.GetLastError(), os::kErrorInvalidFunction);
  EXPECT_EQ(returned, 0u);
  EXPECT_FALSE(win.DeviceIoControl(device, MVN_IOCTL_READ_PORT, &port, 4, out, 4, &returned));
  EXPECT_EQ(win.GetLastError(), os::kErrorInsufficientBuffer);
  EXPECT_FALSE(win.DeviceIoControl(device, MVN_IOCTL_READ_PORT, &port, 2, out, 8, &returned));
  EXPECT_EQ(win.GetLastError(), os::kErrorInvalidParameter);
  EXPECT_TRUE(win.DeviceIoControl(device, MVN_IOCTL_READ_PORT, &port, 4, out, 8, &returned));
  EXPECT_EQ(returned, 8u);
  EXPECT_TRUE(win.machine.requests.back().ok);

  win.CloseHandle(device);
  EXPECT_FALSE(win.DeviceIoControl(device, MVN_IOCTL_READ_PORT, &port, 4, out, 8, &returned));
  EXPECT_EQ(win.GetLastError(), os::kErrorInvalidHandle);
}

TEST_F(Machine, VxdLoadsFromTheCurrentSystemOrWindowsDirectoryWhileOpen) {
  win.machine.SetPlatform(sim::Platform::Windows9x);
  auto load = [&] {
    return win.CreateFileA("\\\\.\\cpuz.vxd", 0, 0, os::kCreateNew, os::kFileFlagDeleteOnClose);
  };
  EXPECT_EQ(load(), os::kInvalidHandle);
  EXPECT_EQ(win.GetLastError(), os::kErrorFileNotFound);
  for (const char* path : {"C:\\Program Files\\Morvane\\cpuz.vxd", "C:\\WINDOWS\\SYSTEM\\cpuz.vxd",
                           "C:\\WINDOWS\\cpuz.vxd"}) {
    SCOPED_TRACE(path);
    win.fs.AddFile(path, "vxd");
    int loads = win.machine.vxdLoads;
    os::Handle vxd = load();
    ASSERT_NE(vxd, os::kInvalidHandle);
    EXPECT_EQ(win.machine.vxdLoads, loads + 1);
    EXPECT_TRUE(win.machine.VxdLoaded());
    EXPECT_EQ(win.machine.loadedVxdPath, path);
    win.CloseHandle(vxd);
    EXPECT_FALSE(win.machine.VxdLoaded());
    win.fs.Remove(path);
  }
  // By full path, only in short names: a long name keeps the VxD from loading.
  win.fs.AddFile("C:\\Program Files\\Morvane\\cpuz.vxd", "vxd");
  for (const char* name : {"\\\\.\\C:\\PROGRA~1\\MORVANE\\CPUZ.VXD",
                           "\\\\.\\C:\\Program Files\\Morvane\\cpuz.vxd"}) {
    SCOPED_TRACE(name);
    bool shortNames = std::strchr(name, '~') != nullptr;
    os::Handle vxd = win.CreateFileA(name, 0, 0, os::kCreateNew, os::kFileFlagDeleteOnClose);
    EXPECT_EQ(vxd != os::kInvalidHandle, shortNames);
    EXPECT_EQ(win.machine.VxdLoaded(), shortNames);
    EXPECT_EQ(win.machine.lastVxdOpenName, name + 4);
    if (shortNames) {
      EXPECT_EQ(win.machine.loadedVxdPath, "C:\\Program Files\\Morvane\\cpuz.vxd");
      win.CloseHandle(vxd);
    } else {
      EXPECT_EQ(win.GetLastError(), os::kErrorFileNotFound);
    }
  }
  // Port instructions reach the chip on this family only.
  win.OutPortDword(0xCF8, 0x8000C084u);
  EXPECT_EQ(win.InPortDword(0xCFC), 0x11110020u);
  EXPECT_EQ(win.machine.portAccesses.size(), 2u);
  win.machine.SetPlatform(sim::Platform::Nt32);
  EXPECT_EQ(win.InPortDword(0xCFC), 0xFFFFFFFFu);
  win.OutPortDword(0xCF8, 0);
  EXPECT_EQ(win.machine.privilegedInstructionFaults, 2);
  EXPECT_EQ(SimNbInDword(0xCF8), 0x8000C084u);
}

TEST_F(Machine, AnyCallCanBeMadeToFail) {
  win.FailCall("StartServiceA", os::kErrorServiceDisabled);
  win.fs.AddFile(kImagePath, "driver image");
  win.machine.AddService("cpuz", kImagePath);
  os::ScHandle manager = win.OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess);
  os::ScHandle service = win.OpenServiceA(manager, "cpuz", os::kServiceAllAccess);
  EXPECT_FALSE(win.StartServiceA(service, 0, nullptr));
  EXPECT_EQ(win.GetLastError(), os::kErrorServiceDisabled);
  EXPECT_FALSE(win.machine.FindService("cpuz")->running);
  EXPECT_TRUE(win.StartServiceA(service, 0, nullptr));
  win.FailCall("LoadLibraryA", os::kErrorModNotFound);
  EXPECT_EQ(win.LoadLibraryA("kernel32.dll"), nullptr);
  win.CloseServiceHandle(service);
  win.CloseServiceHandle(manager);
}

}  // namespace
