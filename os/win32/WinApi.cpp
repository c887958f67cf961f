// The real Windows behind the seam: each operation is the Windows call of the same name.
// Only calls that Windows XP has are made; newer ones are looked up at run time, and the task
// scheduler is reached through COM libraries loaded when it is used.
#include "os/win32/WinApi.h"

#include <windows.h>

#include <cstddef>

#include "os/win32/TaskScheduler.h"

namespace os {
namespace {

// The seam's records stand for the Windows ones byte for byte.
static_assert(sizeof(OsVersionInfo) == sizeof(OSVERSIONINFOEXA));
static_assert(offsetof(OsVersionInfo, szCSDVersion) == offsetof(OSVERSIONINFOEXA, szCSDVersion));
static_assert(offsetof(OsVersionInfo, wServicePackMajor) ==
              offsetof(OSVERSIONINFOEXA, wServicePackMajor));
static_assert(offsetof(OsVersionInfo, wProductType) == offsetof(OSVERSIONINFOEXA, wProductType));
static_assert(sizeof(Dword) == sizeof(DWORD) && sizeof(Long) == sizeof(LONG));
static_assert(sizeof(Bool) == sizeof(BOOL));
static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME));
static_assert(sizeof(FileTime) == sizeof(FILETIME) &&
              offsetof(FileTime, dwHighDateTime) == offsetof(FILETIME, dwHighDateTime));

DWORD* D(Dword* p) {
  return reinterpret_cast<DWORD*>(p);
}
HKEY K(HKey key) {
  return reinterpret_cast<HKEY>(key);
}
SC_HANDLE S(ScHandle handle) {
  return reinterpret_cast<SC_HANDLE>(handle);
}

// Calls that older systems lack (the 9x family, Windows 2000, XP before SP2), found in kernel32
// when called.
template <typename F>
F Kernel32(const char* name) {
  HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

// The seam's records stand for these system records, field for field.
static_assert(sizeof(ServiceConfig) == sizeof(QUERY_SERVICE_CONFIGA));
static_assert(offsetof(ServiceConfig, lpBinaryPathName) ==
              offsetof(QUERY_SERVICE_CONFIGA, lpBinaryPathName));
static_assert(offsetof(ServiceConfig, lpDisplayName) ==
              offsetof(QUERY_SERVICE_CONFIGA, lpDisplayName));
static_assert(sizeof(ServiceStatus) == sizeof(SERVICE_STATUS));
static_assert(sizeof(ProcessInformation) == sizeof(PROCESS_INFORMATION) &&
              offsetof(ProcessInformation, dwProcessId) ==
                  offsetof(PROCESS_INFORMATION, dwProcessId));
// The seam's values of this program's newer calls are the system's own.
static_assert(kRegOptionVolatile == REG_OPTION_VOLATILE && kRegBinary == REG_BINARY &&
              kKeyWow64_64Key == KEY_WOW64_64KEY && kErrorMoreData == ERROR_MORE_DATA &&
              kErrorChildMustBeVolatile == ERROR_CHILD_MUST_BE_VOLATILE);
static_assert(kWaitObject0 == WAIT_OBJECT_0 && kWaitAbandoned == WAIT_ABANDONED &&
              kWaitTimeout == WAIT_TIMEOUT && kWaitFailed == WAIT_FAILED);
static_assert(kDetachedProcess == DETACHED_PROCESS &&
              kCreateBreakawayFromJob == CREATE_BREAKAWAY_FROM_JOB);
static_assert(kDriveRemovable == DRIVE_REMOVABLE && kDriveFixed == DRIVE_FIXED &&
              kDriveRemote == DRIVE_REMOTE && kFsPersistentAcls == FS_PERSISTENT_ACLS);
static_assert(kOwnerSecurityInformation == OWNER_SECURITY_INFORMATION &&
              kDaclSecurityInformation == DACL_SECURITY_INFORMATION &&
              kTokenQuery == TOKEN_QUERY && kTokenUserClass == TokenUser);
static_assert(offsetof(ServiceStatus, dwCurrentState) == offsetof(SERVICE_STATUS, dwCurrentState));

class RealApi final : public Api {
 public:
  Dword GetLastError() override { return ::GetLastError(); }
  void SetLastError(Dword code) override { ::SetLastError(code); }

  Handle CreateFileA(const char* name, Dword access, Dword share, Dword creation,
                     Dword flagsAndAttributes) override {
    return ::CreateFileA(name, access, share, nullptr, creation, flagsAndAttributes, nullptr);
  }
  Bool ReadFile(Handle file, void* buffer, Dword toRead, Dword* read) override {
    return ::ReadFile(file, buffer, toRead, D(read), nullptr);
  }
  Bool WriteFile(Handle file, const void* buffer, Dword toWrite, Dword* written) override {
    return ::WriteFile(file, buffer, toWrite, D(written), nullptr);
  }
  Dword SetFilePointer(Handle file, Long distance, Long* distanceHigh, Dword method) override {
    return ::SetFilePointer(file, distance, reinterpret_cast<LONG*>(distanceHigh), method);
  }
  Dword GetFileSize(Handle file, Dword* sizeHigh) override {
    return ::GetFileSize(file, D(sizeHigh));
  }
  Bool FlushFileBuffers(Handle file) override { return ::FlushFileBuffers(file); }
  Bool CloseHandle(Handle object) override { return ::CloseHandle(object); }
  Bool DeleteFileA(const char* name) override { return ::DeleteFileA(name); }
  Bool MoveFileExA(const char* existing, const char* replacement, Dword flags) override {
    return ::MoveFileExA(existing, replacement, flags);
  }
  Bool MoveFileA(const char* existing, const char* newName) override {
    return ::MoveFileA(existing, newName);
  }
  Dword GetFileAttributesA(const char* name) override { return ::GetFileAttributesA(name); }
  Bool DeviceIoControl(Handle device, Dword code, const void* in, Dword inSize, void* out,
                       Dword outSize, Dword* returned) override {
    return ::DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize, D(returned),
                             nullptr);
  }

  Dword GetCurrentDirectoryA(Dword size, char* buffer) override {
    return ::GetCurrentDirectoryA(size, buffer);
  }
  Bool SetCurrentDirectoryA(const char* path) override { return ::SetCurrentDirectoryA(path); }
  Dword GetModuleFileNameA(HModule module, char* buffer, Dword size) override {
    return ::GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
  }
  unsigned GetWindowsDirectoryA(char* buffer, unsigned size) override {
    return ::GetWindowsDirectoryA(buffer, size);
  }
  Dword GetTempPathA(Dword size, char* buffer) override { return ::GetTempPathA(size, buffer); }
  Dword GetFullPathNameA(const char* name, Dword size, char* buffer, char** filePart) override {
    return ::GetFullPathNameA(name, size, buffer, filePart);
  }
  Dword GetShortPathNameA(const char* longPath, char* shortPath, Dword size) override {
    return ::GetShortPathNameA(longPath, shortPath, size);
  }

  Bool GetVersionExA(OsVersionInfo* info) override {
    return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info));
  }
  HModule LoadLibraryA(const char* name) override { return ::LoadLibraryA(name); }
  Proc GetProcAddress(HModule module, const char* name) override {
    return reinterpret_cast<Proc>(::GetProcAddress(static_cast<HMODULE>(module), name));
  }
  Bool FreeLibrary(HModule module) override { return ::FreeLibrary(static_cast<HMODULE>(module)); }
  void GetNativeSystemInfo(SystemInfo* info) override {
    using Fn = void(WINAPI*)(SYSTEM_INFO*);
    SYSTEM_INFO system{};
    if (auto fn = Kernel32<Fn>("GetNativeSystemInfo")) {
      fn(&system);
    } else {
      ::GetSystemInfo(&system);  // without the call, the system is what the process sees
    }
    info->wProcessorArchitecture = system.wProcessorArchitecture;
    info->dwNumberOfProcessors = system.dwNumberOfProcessors;
  }
  Bool IsWow64Process(Handle process, Bool* wow64) override {
    using Fn = BOOL(WINAPI*)(HANDLE, BOOL*);
    auto fn = Kernel32<Fn>("IsWow64Process");
    if (fn == nullptr) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return FALSE;
    }
    return fn(process, wow64);
  }
  Bool Is64BitProcess() override { return sizeof(void*) == 8; }
  Handle GetCurrentProcess() override { return ::GetCurrentProcess(); }

  ScHandle OpenSCManagerA(const char* machine, const char* database, Dword access) override {
    return ::OpenSCManagerA(machine, database, access);
  }
  ScHandle CreateServiceA(ScHandle manager, const char* name, const char* displayName, Dword access,
                          Dword type, Dword start, Dword errorControl, const char* binaryPath,
                          const char* loadOrderGroup, Dword* tagId, const char* dependencies,
                          const char* account, const char* password) override {
    return ::CreateServiceA(S(manager), name, displayName, access, type, start, errorControl,
                            binaryPath, loadOrderGroup, D(tagId), dependencies, account, password);
  }
  ScHandle OpenServiceA(ScHandle manager, const char* name, Dword access) override {
    return ::OpenServiceA(S(manager), name, access);
  }
  Bool StartServiceA(ScHandle service, Dword argc, const char** argv) override {
    return ::StartServiceA(S(service), argc, argv);
  }
  Bool CloseServiceHandle(ScHandle handle) override { return ::CloseServiceHandle(S(handle)); }
  Bool QueryServiceConfigA(ScHandle service, void* buffer, Dword size, Dword* needed) override {
    return ::QueryServiceConfigA(S(service), static_cast<QUERY_SERVICE_CONFIGA*>(buffer), size,
                                 D(needed));
  }
  Bool ChangeServiceConfigA(ScHandle service, Dword type, Dword start, Dword errorControl,
                            const char* binaryPath, const char* loadOrderGroup, Dword* tagId,
                            const char* dependencies, const char* account, const char* password,
                            const char* displayName) override {
    return ::ChangeServiceConfigA(S(service), type, start, errorControl, binaryPath,
                                  loadOrderGroup, D(tagId), dependencies, account, password,
                                  displayName);
  }
  Bool QueryServiceStatus(ScHandle service, ServiceStatus* status) override {
    return ::QueryServiceStatus(S(service), reinterpret_cast<SERVICE_STATUS*>(status));
  }

  // A program may execute these only on the 9x family; on the NT family they fault.
  Dword InPortDword(std::uint16_t port) override {
    Dword value;
    __asm__ __volatile__("inl %w1, %0" : "=a"(value) : "Nd"(port));
    return value;
  }
  void OutPortDword(std::uint16_t port, Dword value) override {
    __asm__ __volatile__("outl %0, %w1" : : "a"(value), "Nd"(port));
  }
  void Cpuid(Dword leaf, Dword regs[4]) override { ProcessorCpuid(leaf, regs); }

  Handle CreateMutexA(Bool initialOwner, const char* name) override {
    return ::CreateMutexA(nullptr, initialOwner, name);
  }
  const char* GetCommandLineA() override { return ::GetCommandLineA(); }
  Dword FormatMessageA(Dword flags, const void* source, Dword messageId, Dword languageId,
                       char* buffer, Dword size, void* arguments) override {
    return ::FormatMessageA(flags, source, messageId, languageId, buffer, size,
                            static_cast<va_list*>(arguments));
  }
  void* LocalFree(void* memory) override { return ::LocalFree(memory); }
  int MessageBoxA(void* owner, const char* text, const char* caption, Dword type) override {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, type);
  }
  void GetLocalTime(SystemTime* time) override {
    ::GetLocalTime(reinterpret_cast<SYSTEMTIME*>(time));
  }
  void GetSystemTimeAsFileTime(FileTime* time) override {
    // Made of the two calls every Windows since 95 has: GetSystemTimeAsFileTime itself is not
    // documented for the 9x family.
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    ::SystemTimeToFileTime(&now, reinterpret_cast<FILETIME*>(time));
  }
  Dword GetTickCount() override { return ::GetTickCount(); }

  Long RegOpenKeyExA(HKey key, const char* subKey, Dword options, Dword access,
                     HKey* result) override {
    return ::RegOpenKeyExA(K(key), subKey, options, access, reinterpret_cast<HKEY*>(result));
  }
  Long RegCreateKeyExA(HKey key, const char* subKey, Dword reserved, char* className, Dword options,
                       Dword access, void* security, HKey* result, Dword* disposition) override {
    return ::RegCreateKeyExA(K(key), subKey, reserved, className, options, access,
                             static_cast<SECURITY_ATTRIBUTES*>(security),
                             reinterpret_cast<HKEY*>(result), D(disposition));
  }
  Long RegSetValueExA(HKey key, const char* valueName, Dword reserved, Dword type,
                      const std::uint8_t* data, Dword size) override {
    return ::RegSetValueExA(K(key), valueName, reserved, type, data, size);
  }
  Long RegDeleteValueA(HKey key, const char* valueName) override {
    return ::RegDeleteValueA(K(key), valueName);
  }
  Long RegCloseKey(HKey key) override { return ::RegCloseKey(K(key)); }

  Bool ReplaceFileA(const char* replaced, const char* replacement, const char* backup,
                    Dword flags) override {
    using Fn = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID);
    auto fn = Kernel32<Fn>("ReplaceFileA");
    if (fn == nullptr) {
      ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return FALSE;
    }
    return fn(replaced, replacement, backup, flags, nullptr, nullptr);
  }
  void Sleep(Dword milliseconds) override { ::Sleep(milliseconds); }
  HResult RegisterTask(const char* name, const char* xml, Long logonType) override {
    return RegisterRootTask(name, xml, logonType);
  }
  HResult DeleteTask(const char* name) override { return DeleteRootTask(name); }
  Long RegQueryValueExA(HKey key, const char* valueName, Dword* type, std::uint8_t* data,
                        Dword* size) override {
    return ::RegQueryValueExA(K(key), valueName, nullptr, D(type), data, D(size));
  }
  Long RegDeleteKeyA(HKey key, const char* subKey) override {
    return ::RegDeleteKeyA(K(key), subKey);
  }
  Dword WaitForSingleObject(Handle object, Dword milliseconds) override {
    return ::WaitForSingleObject(object, milliseconds);
  }
  Bool ReleaseMutex(Handle mutex) override { return ::ReleaseMutex(mutex); }
  Dword GetCurrentProcessId() override { return ::GetCurrentProcessId(); }
  Bool CreateProcessA(char* commandLine, Dword flags, const char* directory,
                      ProcessInformation* info) override {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return ::CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, flags, nullptr,
                            directory, &startup, reinterpret_cast<PROCESS_INFORMATION*>(info));
  }
  Bool GetFileSecurityA(const char* name, Dword requested, void* descriptor, Dword size,
                        Dword* needed) override {
    return ::GetFileSecurityA(name, requested, descriptor, size, D(needed));
  }
  Bool OpenProcessToken(Handle process, Dword access, Handle* token) override {
    return ::OpenProcessToken(process, access, token);
  }
  Bool GetTokenInformation(Handle token, Dword infoClass, void* info, Dword size,
                           Dword* needed) override {
    return ::GetTokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(infoClass), info,
                                 size, D(needed));
  }
  unsigned GetDriveTypeA(const char* root) override { return ::GetDriveTypeA(root); }
  Bool GetVolumeInformationA(const char* root, Dword* flags, char* fileSystem,
                             Dword fileSystemSize) override {
    return ::GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, D(flags), fileSystem,
                                   fileSystemSize);
  }
};

}  // namespace

Api& RealWindows() {
  static RealApi api;
  return api;
}

}  // namespace os
