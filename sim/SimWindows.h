// A simulated Windows behind the seam, for native tests: files, the service manager, the
// driver's device over the simulated northbridge, the registry and the user session, with a
// switch that makes any single call fail with a chosen error code.
//
// The Api operations are implemented by component: SimWindowsFiles.cpp (files, folders,
// paths), SimWindowsMachine.cpp (version, libraries, services, device, ports, CPUID) and
// SimWindowsSession.cpp (mutex, command line, messages, registry). This file's .cpp holds
// the shared handle table, the last-error state and fault injection.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "os/Api.h"
#include "sim/FileSystem.h"
#include "sim/Machine.h"
#include "sim/Session.h"

namespace sim {

enum class HandleKind { File, Device, Mutex, Service, Manager, Key, Module, Process, Token };

class SimWindows : public os::Api {
 public:
  SimWindows();
  ~SimWindows() override;

  // Fault injection: the call named `call` (an Api operation name such as "CreateFileA")
  // fails with `error` after `skip` successful calls, `times` times in a row (-1: always).
  void FailCall(std::string call, os::Dword error, int skip = 0, int times = 1);
  void ClearFailures();
  // Each operation asks this first; true means "fail now" and the last error is set.
  bool ShouldFail(const char* call);

  // Called as each operation begins, with its name: a test can act there as another process
  // or user of the computer would (change a file, take a lock) before the call goes on.
  std::function<void(const char* call)> beforeCall;

  // Every Api operation called, by name, in order.
  std::vector<std::string> calls;
  int CallCount(std::string_view call) const;

  // The shared handle table.
  struct HandleEntry {
    HandleKind kind;
    int id;
  };
  void* NewHandle(HandleKind kind, int id);
  const HandleEntry* FindHandle(const void* handle, HandleKind kind) const;
  void ForgetHandle(const void* handle);
  // The service a service handle stands for; null (and the invalid-handle error) for any
  // other handle.
  Machine::Service* ServiceOfHandle(os::ScHandle service);
  int OpenHandleCount(HandleKind kind) const;

  FileSystem fs;
  Machine machine{fs};  // looks up driver images and VxD files in fs
  Session session;

  // os::Api
  os::Dword GetLastError() override;
  void SetLastError(os::Dword code) override;

  os::Handle CreateFileA(const char* name, os::Dword access, os::Dword share, os::Dword creation,
                         os::Dword flagsAndAttributes) override;
  os::Bool ReadFile(os::Handle file, void* buffer, os::Dword toRead, os::Dword* read) override;
  os::Bool WriteFile(os::Handle file, const void* buffer, os::Dword toWrite,
                     os::Dword* written) override;
  os::Dword SetFilePointer(os::Handle file, os::Long distance, os::Long* distanceHigh,
                           os::Dword method) override;
  os::Dword GetFileSize(os::Handle file, os::Dword* sizeHigh) override;
  os::Bool FlushFileBuffers(os::Handle file) override;
  os::Bool CloseHandle(os::Handle object) override;
  os::Bool DeleteFileA(const char* name) override;
  os::Bool MoveFileExA(const char* existing, const char* replacement, os::Dword flags) override;
  os::Bool MoveFileA(const char* existing, const char* newName) override;
  os::Dword GetFileAttributesA(const char* name) override;
  os::Bool DeviceIoControl(os::Handle device, os::Dword code, const void* in, os::Dword inSize,
                           void* out, os::Dword outSize, os::Dword* returned) override;

  os::Dword GetCurrentDirectoryA(os::Dword size, char* buffer) override;
  os::Bool SetCurrentDirectoryA(const char* path) override;
  os::Dword GetModuleFileNameA(os::HModule module, char* buffer, os::Dword size) override;
  unsigned GetWindowsDirectoryA(char* buffer, unsigned size) override;
  os::Dword GetTempPathA(os::Dword size, char* buffer) override;
  os::Dword GetFullPathNameA(const char* name, os::Dword size, char* buffer,
                             char** filePart) override;
  os::Dword GetShortPathNameA(const char* longPath, char* shortPath, os::Dword size) override;

  os::Bool GetVersionExA(os::OsVersionInfo* info) override;
  os::HModule LoadLibraryA(const char* name) override;
  os::Proc GetProcAddress(os::HModule module, const char* name) override;
  os::Bool FreeLibrary(os::HModule module) override;
  void GetNativeSystemInfo(os::SystemInfo* info) override;
  os::Bool IsWow64Process(os::Handle process, os::Bool* wow64) override;
  os::Bool Is64BitProcess() override;
  os::Handle GetCurrentProcess() override;

  os::ScHandle OpenSCManagerA(const char* machineName, const char* database,
                              os::Dword access) override;
  os::ScHandle CreateServiceA(os::ScHandle manager, const char* name, const char* displayName,
                              os::Dword access, os::Dword type, os::Dword start,
                              os::Dword errorControl, const char* binaryPath,
                              const char* loadOrderGroup, os::Dword* tagId,
                              const char* dependencies, const char* account,
                              const char* password) override;
  os::ScHandle OpenServiceA(os::ScHandle manager, const char* name, os::Dword access) override;
  os::Bool StartServiceA(os::ScHandle service, os::Dword argc, const char** argv) override;
  os::Bool CloseServiceHandle(os::ScHandle handle) override;
  os::Bool QueryServiceConfigA(os::ScHandle service, void* buffer, os::Dword size,
                               os::Dword* needed) override;
  os::Bool ChangeServiceConfigA(os::ScHandle service, os::Dword type, os::Dword start,
                                os::Dword errorControl, const char* binaryPath,
                                const char* loadOrderGroup, os::Dword* tagId,
                                const char* dependencies, const char* account,
                                const char* password, const char* displayName) override;
  os::Bool QueryServiceStatus(os::ScHandle service, os::ServiceStatus* status) override;

  os::Dword InPortDword(std::uint16_t port) override;
  void OutPortDword(std::uint16_t port, os::Dword value) override;
  void Cpuid(os::Dword leaf, os::Dword regs[4]) override;

  os::Handle CreateMutexA(os::Bool initialOwner, const char* name) override;
  const char* GetCommandLineA() override;
  os::Dword FormatMessageA(os::Dword flags, const void* source, os::Dword messageId,
                           os::Dword languageId, char* buffer, os::Dword size,
                           void* arguments) override;
  void* LocalFree(void* memory) override;
  int MessageBoxA(void* owner, const char* text, const char* caption, os::Dword type) override;
  void GetLocalTime(os::SystemTime* time) override;
  void GetSystemTimeAsFileTime(os::FileTime* time) override;
  os::Dword GetTickCount() override;

  os::Long RegOpenKeyExA(os::HKey key, const char* subKey, os::Dword options, os::Dword access,
                         os::HKey* result) override;
  os::Long RegCreateKeyExA(os::HKey key, const char* subKey, os::Dword reserved, char* className,
                           os::Dword options, os::Dword access, void* security, os::HKey* result,
                           os::Dword* disposition) override;
  os::Long RegSetValueExA(os::HKey key, const char* valueName, os::Dword reserved, os::Dword type,
                          const std::uint8_t* data, os::Dword size) override;
  os::Long RegDeleteValueA(os::HKey key, const char* valueName) override;
  os::Long RegCloseKey(os::HKey key) override;

  os::Bool ReplaceFileA(const char* replaced, const char* replacement, const char* backup,
                        os::Dword flags) override;
  // Sleep takes no time but the clock's: it adds to sleptMilliseconds and calls onSleep (which may,
  // for example, close a handle "another process" held), so waits are tested without timing.
  void Sleep(os::Dword milliseconds) override;
  std::uint64_t sleptMilliseconds = 0;
  std::function<void(os::Dword)> onSleep;
  // The task store of Session; Windows before Vista has no such scheduler (the class is not
  // registered).
  os::HResult RegisterTask(const char* name, const char* xml, os::Long logonType) override;
  os::HResult DeleteTask(const char* name) override;

  os::Long RegQueryValueExA(os::HKey key, const char* valueName, os::Dword* type,
                            std::uint8_t* data, os::Dword* size) override;
  os::Long RegDeleteKeyA(os::HKey key, const char* subKey) override;
  // A wait on a mutex another process owns takes no time but the clock's: the clock moves on
  // by the wait, onWait is asked first (it may let the other process release it).
  os::Dword WaitForSingleObject(os::Handle object, os::Dword milliseconds) override;
  std::function<void(os::Dword)> onWait;
  os::Bool ReleaseMutex(os::Handle mutex) override;
  os::Dword GetCurrentProcessId() override;
  os::Bool CreateProcessA(char* commandLine, os::Dword flags, const char* directory,
                          os::ProcessInformation* info) override;
  os::Bool GetFileSecurityA(const char* name, os::Dword requested, void* descriptor,
                            os::Dword size, os::Dword* needed) override;
  os::Bool OpenProcessToken(os::Handle process, os::Dword access, os::Handle* token) override;
  os::Bool GetTokenInformation(os::Handle token, os::Dword infoClass, void* info, os::Dword size,
                               os::Dword* needed) override;
  unsigned GetDriveTypeA(const char* root) override;
  os::Bool GetVolumeInformationA(const char* root, os::Dword* flags, char* fileSystem,
                                 os::Dword fileSystemSize) override;

 private:
  struct Failure {
    std::string call;
    os::Dword error;
    int skip;
    int times;
  };
  std::vector<Failure> failures_;
  std::vector<HandleEntry> handles_;  // index + 1 is the handle value
  os::Dword lastError_ = 0;
};

// Installs a fresh SimWindows as the process's Windows for the lifetime of the object.
class ScopedSimWindows {
 public:
  ScopedSimWindows();
  ~ScopedSimWindows();
  SimWindows& operator*() { return *win_; }
  SimWindows* operator->() { return win_; }

 private:
  SimWindows* win_;
};

}  // namespace sim
