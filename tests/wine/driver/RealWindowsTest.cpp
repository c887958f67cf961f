// Tests of the real Windows behind the seam, run under Wine: each operation reaches the system
// with its arguments intact and hands back the system's results and error codes.
//
// Not covered here: MessageBoxA (it waits for a user; the window tests drive message boxes),
// and InPortDword/OutPortDword, which only the 9x family lets a program execute (on the NT
// family, Wine included, the instructions fault).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "os/win32/WinApi.h"
#include "os/win32/XpCompat.h"

namespace {

// This program's list of window functions found at their first call has one entry more, which
// the system lacks: MessageBeep, looked for in gdi32 (build.cmake). A copy of the program
// started with this variable set calls it before anything else.
constexpr char kCallMissing[] = "MVN_CALL_MISSING_WINDOW_FUNCTION";
const bool kCalledMissing = [] {
  if (::GetEnvironmentVariableA(kCallMissing, nullptr, 0) == 0) return false;
  ::MessageBeep(0);
  ::ExitProcess(7);  // not reached: the missing function ends the process
}();

os::Api& W() {
  return os::RealWindows();
}

// A fresh folder under the temporary directory, removed with everything in it afterwards.
class RealWindowsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(W().GetTempPathA(sizeof temp, temp), 0u);
    dir_ = std::string(temp) + "mvn-os-test-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryA(dir_.c_str(), nullptr));
  }
  void TearDown() override {
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) ::DeleteFileA(Path(name).c_str());
    ::RemoveDirectoryA(dir_.c_str());
  }
  std::string Path(const char* name) const { return dir_ + "\\" + name; }
  std::string dir_;
};

TEST_F(RealWindowsFiles, CreateWriteSeekReadSizeAndDelete) {
  os::Handle h = W().CreateFileA(Path("a.bin").c_str(), os::kGenericRead | os::kGenericWrite, 0,
                                 os::kCreateAlways, os::kFileAttributeHidden);
  ASSERT_NE(h, os::kInvalidHandle);
  os::Dword done = 0;
  ASSERT_TRUE(W().WriteFile(h, "0123456789", 10, &done));
  EXPECT_EQ(done, 10u);
  EXPECT_TRUE(W().FlushFileBuffers(h));
  os::Dword high = 7;
  EXPECT_EQ(W().GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(W().SetFilePointer(h, 4, nullptr, os::kFileBegin), 4u);
  char buffer[16] = {};
  ASSERT_TRUE(W().ReadFile(h, buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 6u);
  EXPECT_STREQ(buffer, "456789");
  os::Long distanceHigh = 0;
  EXPECT_EQ(W().SetFilePointer(h, -3, &distanceHigh, os::kFileEnd), 7u);
  EXPECT_TRUE(W().CloseHandle(h));

  EXPECT_NE(W().GetFileAttributesA(Path("a.bin").c_str()) & os::kFileAttributeHidden, 0u);
  EXPECT_TRUE(W().DeleteFileA(Path("a.bin").c_str()));
  EXPECT_EQ(W().GetFileAttributesA(Path("a.bin").c_str()), os::kInvalidFileAttributes);
  EXPECT_EQ(W().GetLastError(), os::kErrorFileNotFound);
}

TEST_F(RealWindowsFiles, FailuresReportTheSystemsCodes) {
  EXPECT_EQ(W().CreateFileA(Path("missing").c_str(), os::kGenericRead, 0, os::kOpenExisting, 0),
            os::kInvalidHandle);
  EXPECT_EQ(W().GetLastError(), os::kErrorFileNotFound);
  EXPECT_EQ(
      W().CreateFileA(Path("no\\such\\folder").c_str(), os::kGenericRead, 0, os::kOpenExisting, 0),
      os::kInvalidHandle);
  EXPECT_EQ(W().GetLastError(), os::kErrorPathNotFound);
  EXPECT_FALSE(W().DeleteFileA(Path("missing").c_str()));
  EXPECT_EQ(W().GetLastError(), os::kErrorFileNotFound);

  os::Handle h = W().CreateFileA(Path("a.bin").c_str(), os::kGenericRead, 0, os::kCreateNew, 0);
  ASSERT_NE(h, os::kInvalidHandle);
  // Opened without sharing: a second open is refused while the first is held.
  EXPECT_EQ(W().CreateFileA(Path("a.bin").c_str(), os::kGenericRead, os::kFileShareRead,
                            os::kOpenExisting, 0),
            os::kInvalidHandle);
  EXPECT_EQ(W().GetLastError(), os::kErrorSharingViolation);
  EXPECT_TRUE(W().CloseHandle(h));
  EXPECT_EQ(W().CreateFileA(Path("a.bin").c_str(), os::kGenericRead, 0, os::kCreateNew, 0),
            os::kInvalidHandle);
  EXPECT_EQ(W().GetLastError(), os::kErrorFileExists);
  EXPECT_FALSE(W().CloseHandle(nullptr));
  EXPECT_EQ(W().GetLastError(), os::kErrorInvalidHandle);
}

TEST_F(RealWindowsFiles, MoveReplacesOnlyWhenAsked) {
  for (const char* name : {"a.bin", "b.bin"}) {
    os::Handle h = W().CreateFileA(Path(name).c_str(), os::kGenericWrite, 0, os::kCreateNew, 0);
    ASSERT_NE(h, os::kInvalidHandle);
    os::Dword done = 0;
    W().WriteFile(h, name, 1, &done);
    W().CloseHandle(h);
  }
  EXPECT_FALSE(W().MoveFileA(Path("a.bin").c_str(), Path("b.bin").c_str()));
  EXPECT_EQ(W().GetLastError(), os::kErrorAlreadyExists);
  EXPECT_TRUE(W().MoveFileExA(Path("a.bin").c_str(), Path("b.bin").c_str(),
                              os::kMovefileReplaceExisting | os::kMovefileWriteThrough));
  EXPECT_EQ(W().GetFileAttributesA(Path("a.bin").c_str()), os::kInvalidFileAttributes);
  EXPECT_TRUE(W().MoveFileA(Path("b.bin").c_str(), Path("c.bin").c_str()));

  os::Handle h = W().CreateFileA(Path("c.bin").c_str(), os::kGenericRead, 0, os::kOpenExisting, 0);
  char first = 0;
  os::Dword done = 0;
  ASSERT_TRUE(W().ReadFile(h, &first, 1, &done));
  EXPECT_EQ(first, 'a');
  W().CloseHandle(h);
}

TEST_F(RealWindowsFiles, FoldersAndPathsFollowTheWindowsLengthRules) {
  char saved[MAX_PATH];
  os::Dword length = W().GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, std::strlen(saved));
  char tiny[2];
  EXPECT_EQ(W().GetCurrentDirectoryA(sizeof tiny, tiny), length + 1);  // the size it needs

  ASSERT_TRUE(W().SetCurrentDirectoryA(dir_.c_str()));
  char full[MAX_PATH];
  char* filePart = nullptr;
  os::Dword n = W().GetFullPathNameA("x.mvn", sizeof full, full, &filePart);
  EXPECT_EQ(std::string(full, n), dir_ + "\\x.mvn");
  ASSERT_NE(filePart, nullptr);
  EXPECT_STREQ(filePart, "x.mvn");
  EXPECT_FALSE(W().SetCurrentDirectoryA(Path("missing").c_str()));
  EXPECT_TRUE(W().SetCurrentDirectoryA(saved));

  char module[MAX_PATH];
  n = W().GetModuleFileNameA(nullptr, module, sizeof module);
  ASSERT_GT(n, 4u);
  EXPECT_EQ(std::string(module + n - 4), ".exe");
  char windows[MAX_PATH];
  n = W().GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_GT(n, 2u);
  EXPECT_EQ(windows[1], ':');
  char temp[MAX_PATH];
  n = W().GetTempPathA(sizeof temp, temp);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(temp[n - 1], '\\');  // with its trailing separator
}

TEST(RealWindows, VersionLibrariesAndArchitecture) {
  os::OsVersionInfo ex;
  ex.dwOSVersionInfoSize = os::kOsVersionInfoExSize;
  ASSERT_TRUE(W().GetVersionExA(&ex));
  EXPECT_EQ(ex.dwPlatformId, os::kVerPlatformWin32Nt);
  EXPECT_GE(ex.dwMajorVersion, 5u);
  os::OsVersionInfo basic;
  basic.dwOSVersionInfoSize = os::kOsVersionInfoSize;
  ASSERT_TRUE(W().GetVersionExA(&basic));
  EXPECT_EQ(basic.dwMajorVersion, ex.dwMajorVersion);
  os::OsVersionInfo wrong;
  wrong.dwOSVersionInfoSize = 20;
  EXPECT_FALSE(W().GetVersionExA(&wrong));

  os::HModule kernel32 = W().LoadLibraryA("kernel32.dll");
  ASSERT_NE(kernel32, nullptr);
  EXPECT_NE(W().GetProcAddress(kernel32, "GetNativeSystemInfo"), nullptr);
  EXPECT_NE(W().GetProcAddress(kernel32, "IsWow64Process"), nullptr);
  EXPECT_EQ(W().GetProcAddress(kernel32, "NoSuchFunctionAnywhere"), nullptr);
  EXPECT_EQ(W().GetLastError(), os::kErrorProcNotFound);
  EXPECT_TRUE(W().FreeLibrary(kernel32));
  EXPECT_EQ(W().LoadLibraryA("no-such-library.dll"), nullptr);
  EXPECT_EQ(W().GetLastError(), os::kErrorModNotFound);

  // The wrapper names the prefix: 64 or 32. In the 64-bit prefix the i686 build of this program
  // is a WOW64 process and the x86_64 build a native one, which is never WOW64.
  const char* expected = std::getenv("MVN_WINE_ARCH");
  const bool program64 = sizeof(void*) == 8;
  EXPECT_EQ(W().Is64BitProcess() != 0, program64);
  os::SystemInfo info;
  W().GetNativeSystemInfo(&info);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  os::Bool wow64 = -1;
  ASSERT_TRUE(W().IsWow64Process(W().GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != 0,
            !program64 && info.wProcessorArchitecture == os::kProcessorArchitectureAmd64);
  if (expected != nullptr && std::string(expected) == "64") {
    EXPECT_EQ(info.wProcessorArchitecture, os::kProcessorArchitectureAmd64);
    EXPECT_EQ(wow64 != 0, !program64);
  } else if (expected != nullptr && std::string(expected) == "32") {
    EXPECT_EQ(info.wProcessorArchitecture, os::kProcessorArchitectureIntel);
    EXPECT_FALSE(wow64);
  }
}

TEST(RealWindows, ServiceManagerPassesParametersAndCodes) {
  os::ScHandle manager = W().OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(W().OpenServiceA(manager, "mvn-no-such-service", os::kServiceAllAccess), nullptr);
  EXPECT_EQ(W().GetLastError(), os::kErrorServiceDoesNotExist);

  const char* name = "mvn-os-test";
  if (SC_HANDLE old = ::OpenServiceA(static_cast<SC_HANDLE>(manager), name, DELETE)) {
    ::DeleteService(old);
    ::CloseServiceHandle(old);
  }
  os::ScHandle service =
      W().CreateServiceA(manager, name, "Morvane os test", os::kServiceAllAccess,
                         os::kServiceKernelDriver, os::kServiceDemandStart, os::kServiceErrorNormal,
                         "C:\\no\\such\\driver.sys", nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  char config[4096];
  DWORD needed = 0;
  auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(config);
  ASSERT_TRUE(::QueryServiceConfigA(static_cast<SC_HANDLE>(service), c, sizeof config, &needed));
  EXPECT_EQ(c->dwServiceType, DWORD{SERVICE_KERNEL_DRIVER});
  EXPECT_EQ(c->dwStartType, DWORD{SERVICE_DEMAND_START});
  EXPECT_EQ(c->dwErrorControl, DWORD{SERVICE_ERROR_NORMAL});
  EXPECT_STREQ(c->lpDisplayName, "Morvane os test");
  EXPECT_NE(std::strstr(c->lpBinaryPathName, "driver.sys"), nullptr);

  EXPECT_EQ(W().CreateServiceA(manager, name, name, os::kServiceAllAccess, os::kServiceKernelDriver,
                               os::kServiceDemandStart, os::kServiceErrorNormal, "C:\\x.sys",
                               nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(W().GetLastError(), os::kErrorServiceExists);
  // The image is missing, so the start fails; which code that is differs between systems.
  EXPECT_FALSE(W().StartServiceA(service, 0, nullptr));
  EXPECT_NE(W().GetLastError(), os::kErrorSuccess);

  // A stopped service pointed at another image through the seam, the rest left unchanged.
  os::ServiceStatus status;
  ASSERT_TRUE(W().QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, os::kServiceStopped);
  EXPECT_TRUE(W().ChangeServiceConfigA(service, os::kServiceNoChange, os::kServiceNoChange,
                                       os::kServiceNoChange, "C:\\other\\cpuz.sys", nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr));
  std::unique_ptr<void*[]> buffer(new void*[os::kQueryServiceConfigMaxSize / sizeof(void*)]);
  os::Dword size = 0;
  ASSERT_TRUE(
      W().QueryServiceConfigA(service, buffer.get(), os::kQueryServiceConfigMaxSize, &size));
  const auto* changed = reinterpret_cast<const os::ServiceConfig*>(buffer.get());
  EXPECT_NE(std::strstr(changed->lpBinaryPathName, "other\\cpuz.sys"), nullptr);
  EXPECT_EQ(changed->dwStartType, os::kServiceDemandStart);
  EXPECT_STREQ(changed->lpDisplayName, "Morvane os test");
  EXPECT_FALSE(W().QueryServiceConfigA(service, buffer.get(), 8, &size));
  EXPECT_EQ(W().GetLastError(), os::kErrorInsufficientBuffer);
  EXPECT_GT(size, 8u);

  ASSERT_TRUE(::DeleteService(static_cast<SC_HANDLE>(service)));
  EXPECT_TRUE(W().CloseServiceHandle(service));
  EXPECT_TRUE(W().CloseServiceHandle(manager));
}

TEST(RealWindows, NamedMutexReportsItsSecondCreation) {
  std::string name = "mvn-os-test-" + std::to_string(::GetCurrentProcessId());
  W().SetLastError(1234);
  os::Handle first = W().CreateMutexA(1, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(W().GetLastError(), os::kErrorSuccess);
  os::Handle second = W().CreateMutexA(1, name.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(W().GetLastError(), os::kErrorAlreadyExists);
  W().CloseHandle(second);
  W().CloseHandle(first);
}

TEST(RealWindows, CommandLineAndMessageTexts) {
  const char* line = W().GetCommandLineA();
  ASSERT_NE(line, nullptr);
  EXPECT_NE(std::strstr(line, ".exe"), nullptr);

  char* text = nullptr;
  os::Dword n = W().FormatMessageA(os::kFormatMessageAllocateBuffer | os::kFormatMessageFromSystem |
                                       os::kFormatMessageIgnoreInserts,
                                   nullptr, os::kErrorFileNotFound, os::kLangNeutralSubLangDefault,
                                   reinterpret_cast<char*>(&text), 0, nullptr);
  ASSERT_GT(n, 0u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::strlen(text), n);
  EXPECT_EQ(W().LocalFree(text), nullptr);

  char fixed[4];
  EXPECT_EQ(W().FormatMessageA(os::kFormatMessageFromSystem | os::kFormatMessageIgnoreInserts,
                               nullptr, os::kErrorFileNotFound, 0, fixed, sizeof fixed, nullptr),
            0u);  // too small for the text
}

TEST(RealWindows, RegistryValuesUnderAFreshKey) {
  const char* path = "Software\\MorvaneOsTest";
  ::RegDeleteKeyA(HKEY_CURRENT_USER, path);
  os::HKey key = nullptr;
  os::Dword disposition = 0;
  ASSERT_EQ(W().RegCreateKeyExA(os::kHKeyCurrentUser, path, 0, nullptr, os::kRegOptionNonVolatile,
                                os::kKeyAllAccess, nullptr, &key, &disposition),
            os::kRegSuccess);
  EXPECT_EQ(disposition, os::kRegCreatedNewKey);
  const char value[] = "C:\\Program Files\\Morvane\\\\morvane.exe x";
  EXPECT_EQ(W().RegSetValueExA(key, "Morvane", 0, os::kRegSz,
                               reinterpret_cast<const std::uint8_t*>(value), sizeof value),
            os::kRegSuccess);
  EXPECT_EQ(W().RegCloseKey(key), os::kRegSuccess);

  ASSERT_EQ(W().RegCreateKeyExA(os::kHKeyCurrentUser, path, 0, nullptr, os::kRegOptionNonVolatile,
                                os::kKeyAllAccess, nullptr, &key, &disposition),
            os::kRegSuccess);
  EXPECT_EQ(disposition, os::kRegOpenedExistingKey);
  W().RegCloseKey(key);

  ASSERT_EQ(W().RegOpenKeyExA(os::kHKeyCurrentUser, path, 0, os::kKeyRead, &key), os::kRegSuccess);
  EXPECT_EQ(W().RegDeleteValueA(key, "Morvane"), static_cast<os::Long>(os::kErrorAccessDenied));
  W().RegCloseKey(key);
  ASSERT_EQ(W().RegOpenKeyExA(os::kHKeyCurrentUser, path, 0, os::kKeyAllAccess, &key),
            os::kRegSuccess);
  char read[128] = {};
  DWORD size = sizeof read;
  DWORD type = 0;
  ASSERT_EQ(::RegQueryValueExA(static_cast<HKEY>(key), "Morvane", nullptr, &type,
                               reinterpret_cast<BYTE*>(read), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD{REG_SZ});
  EXPECT_STREQ(read, value);
  EXPECT_EQ(W().RegDeleteValueA(key, "Morvane"), os::kRegSuccess);
  EXPECT_EQ(W().RegDeleteValueA(key, "Morvane"), static_cast<os::Long>(os::kErrorFileNotFound));
  W().RegCloseKey(key);
  EXPECT_EQ(
      W().RegOpenKeyExA(os::kHKeyCurrentUser, "Software\\MorvaneNoSuchKey", 0, os::kKeyRead, &key),
      static_cast<os::Long>(os::kErrorFileNotFound));
  ::RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

TEST(RealWindows, CpuidExecutesTheInstruction) {
  os::Dword regs[4] = {};
  W().Cpuid(0, regs);
  EXPECT_GE(regs[0], 1u);  // every processor that runs this has leaf 1
  char vendor[13] = {};
  std::memcpy(vendor, &regs[1], 4);
  std::memcpy(vendor + 4, &regs[3], 4);
  std::memcpy(vendor + 8, &regs[2], 4);
  for (char ch : std::string(vendor)) EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << vendor;
  EXPECT_EQ(std::strlen(vendor), 12u);
  W().Cpuid(1, regs);
  EXPECT_NE((regs[0] >> 8) & 0xF, 0u);  // some family
}

// The programs carry their own GetTickCount64 import: the system's function where it exists,
// else GetTickCount carried past its wraps.
TEST(RealWindows, TickCount64ThroughTheProgramsOwnImport) {
  ULONGLONG before = ::GetTickCount();
  ULONGLONG ticks = ::GetTickCount64();
  EXPECT_GE(ticks, before);
  EXPECT_LT(ticks - before, 10000u);

  EXPECT_EQ(os::CarryTickCount(0xFFFFFF00u), 0xFFFFFF00u);
  EXPECT_EQ(os::CarryTickCount(0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(os::CarryTickCount(0x10u), 0x100000010u);
  EXPECT_EQ(os::CarryTickCount(0x20u), 0x100000020u);
  EXPECT_EQ(os::CarryTickCount(0x5u), 0x200000005u);
}

// The window functions are found at their first call, through the import slots: a pointer
// taken before the first call still reaches the function after it; arguments beyond the
// registers arrive; a function the system lacks ends the process with a box naming it.
TEST(RealWindows, WindowFunctionsFoundAtTheirFirstCall) {
  EXPECT_FALSE(kCalledMissing);
  // The compiler may load a slot once and call what it held more than once: the stub, again.
  auto early = &::GetSystemMetrics;
  int width = ::GetSystemMetrics(SM_CXSCREEN);
  EXPECT_GT(width, 0);
  EXPECT_EQ(early(SM_CXSCREEN), width);

  HWND window = ::CreateWindowExA(0, "STATIC", "twelve arguments", WS_POPUP, 11, 22, 33, 44,
                                  nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  RECT rect;
  ASSERT_TRUE(::GetWindowRect(window, &rect));
  EXPECT_EQ(rect.left, 11);
  EXPECT_EQ(rect.top, 22);
  EXPECT_EQ(rect.right - rect.left, 33);
  EXPECT_EQ(rect.bottom - rect.top, 44);
  char text[32] = {};
  EXPECT_EQ(::GetWindowTextA(window, text, sizeof text), 16);
  EXPECT_STREQ(text, "twelve arguments");
  EXPECT_TRUE(::DestroyWindow(window));

  char self[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  ASSERT_TRUE(::SetEnvironmentVariableA(kCallMissing, "1"));
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::string line = std::string("\"") + self + "\"";
  BOOL started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &pi);
  ::SetEnvironmentVariableA(kCallMissing, nullptr);
  ASSERT_TRUE(started);
  std::string shown;
  for (int i = 0; i < 300 && shown.empty(); ++i) {
    for (HWND box = ::FindWindowExA(nullptr, nullptr, "#32770", "Morvane"); box != nullptr;
         box = ::FindWindowExA(nullptr, box, "#32770", "Morvane")) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(box, &owner);
      if (owner != pi.dwProcessId) continue;
      char message[256] = {};
      ::GetDlgItemTextA(box, 0xFFFF, message, sizeof message);
      shown = message;
      ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    if (shown.empty()) ::Sleep(50);
  }
  EXPECT_EQ(shown, "This version of Windows has no MessageBeep in gdi32.dll.");
  EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 1u);
  if (code == STILL_ACTIVE) ::TerminateProcess(pi.hProcess, 1);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
}

}  // namespace
