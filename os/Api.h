// The one seam to Windows: every system call the program makes, named after that call.
//
// Operations take and return the same kinds of values as the Windows calls they stand for
// and report failures the same way (a zero, INVALID_HANDLE_VALUE or an error code, with the
// thread's last-error code set). The real implementation (os/win32/) forwards one to one;
// the simulated Windows (sim/) keeps its state in memory. This header does not include
// <windows.h>, so the code above it builds and is tested natively on Linux.
#pragma once

#include <cstdint>

namespace os {

using Bool = int;
using Dword = std::uint32_t;
using Long = std::int32_t;
using Handle = void*;    // files, devices, mutexes, processes
using ScHandle = void*;  // service control manager and services
using HKey = void*;      // registry keys
using HModule = void*;   // loaded libraries
using Proc = void*;      // a procedure address; only compared with null above the seam

inline Handle const kInvalidHandle = reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));

// Error codes (winerror.h values).
inline constexpr Dword kErrorSuccess = 0;
inline constexpr Dword kErrorFileNotFound = 2;
inline constexpr Dword kErrorPathNotFound = 3;
inline constexpr Dword kErrorAccessDenied = 5;
inline constexpr Dword kErrorInvalidHandle = 6;
inline constexpr Dword kErrorNotEnoughMemory = 8;
inline constexpr Dword kErrorWriteProtect = 19;
inline constexpr Dword kErrorSharingViolation = 32;
inline constexpr Dword kErrorHandleDiskFull = 39;
inline constexpr Dword kErrorNotSupported = 50;
inline constexpr Dword kErrorFileExists = 80;
inline constexpr Dword kErrorInvalidParameter = 87;
inline constexpr Dword kErrorDiskFull = 112;
inline constexpr Dword kErrorCallNotImplemented = 120;
inline constexpr Dword kErrorInsufficientBuffer = 122;
inline constexpr Dword kErrorInvalidName = 123;
inline constexpr Dword kErrorModNotFound = 126;
inline constexpr Dword kErrorProcNotFound = 127;
inline constexpr Dword kErrorAlreadyExists = 183;
inline constexpr Dword kErrorFilenameExcedRange = 206;
inline constexpr Dword kErrorGenFailure = 31;
inline constexpr Dword kErrorInvalidFunction = 1;
inline constexpr Dword kErrorServiceRequestTimeout = 1053;
inline constexpr Dword kErrorServiceAlreadyRunning = 1056;
inline constexpr Dword kErrorServiceDisabled = 1058;
inline constexpr Dword kErrorServiceDoesNotExist = 1060;
inline constexpr Dword kErrorServiceMarkedForDelete = 1072;
inline constexpr Dword kErrorServiceExists = 1073;
inline constexpr Dword kErrorInvalidServiceName = 123;
inline constexpr Dword kErrorFileInvalid = 1006;
inline constexpr Dword kErrorBadPathname = 161;

// Registry results (LONG).
inline constexpr Long kRegSuccess = 0;

// CreateFileA access, sharing, creation and flags.
inline constexpr Dword kGenericRead = 0x80000000u;
inline constexpr Dword kGenericWrite = 0x40000000u;
inline constexpr Dword kFileShareRead = 0x1;
inline constexpr Dword kFileShareWrite = 0x2;
inline constexpr Dword kFileShareDelete = 0x4;
inline constexpr Dword kCreateNew = 1;
inline constexpr Dword kCreateAlways = 2;
inline constexpr Dword kOpenExisting = 3;
inline constexpr Dword kOpenAlways = 4;
inline constexpr Dword kTruncateExisting = 5;
inline constexpr Dword kFileAttributeReadonly = 0x1;
inline constexpr Dword kFileAttributeHidden = 0x2;
inline constexpr Dword kFileAttributeDirectory = 0x10;
inline constexpr Dword kFileAttributeNormal = 0x80;
inline constexpr Dword kFileFlagWriteThrough = 0x80000000u;
inline constexpr Dword kFileFlagDeleteOnClose = 0x04000000u;
inline constexpr Dword kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr Dword kInvalidSetFilePointer = 0xFFFFFFFFu;
inline constexpr Dword kFileBegin = 0;
inline constexpr Dword kFileCurrent = 1;
inline constexpr Dword kFileEnd = 2;

// MoveFileExA flags.
inline constexpr Dword kMovefileReplaceExisting = 0x1;
inline constexpr Dword kMovefileWriteThrough = 0x8;

// Version, architecture.
inline constexpr Dword kVerPlatformWin32s = 0;
inline constexpr Dword kVerPlatformWin32Windows = 1;
inline constexpr Dword kVerPlatformWin32Nt = 2;
inline constexpr Dword kOsVersionInfoSize = 148;    // sizeof(OSVERSIONINFOA)
inline constexpr Dword kOsVersionInfoExSize = 156;  // sizeof(OSVERSIONINFOEXA)
inline constexpr std::uint16_t kProcessorArchitectureIntel = 0;
inline constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;

// Service control manager.
inline constexpr Dword kScManagerAllAccess = 0xF003F;
inline constexpr Dword kServiceAllAccess = 0xF01FF;
inline constexpr Dword kServiceKernelDriver = 1;
inline constexpr Dword kServiceDemandStart = 3;
inline constexpr Dword kServiceErrorNormal = 1;
inline constexpr Dword kServiceNoChange = 0xFFFFFFFFu;
inline constexpr Dword kServiceStopped = 1;
inline constexpr Dword kQueryServiceConfigMaxSize = 8192;  // the largest record the call hands

// Registry.
inline HKey const kHKeyLocalMachine =
    reinterpret_cast<HKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
inline HKey const kHKeyCurrentUser =
    reinterpret_cast<HKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000001u)));
inline constexpr Dword kKeyAllAccess = 0xF003F;
inline constexpr Dword kKeyRead = 0x20019;
inline constexpr Dword kRegOptionNonVolatile = 0;
inline constexpr Dword kRegSz = 1;
inline constexpr Dword kRegCreatedNewKey = 1;
inline constexpr Dword kRegOpenedExistingKey = 2;

// FormatMessageA.
inline constexpr Dword kFormatMessageAllocateBuffer = 0x100;
inline constexpr Dword kFormatMessageIgnoreInserts = 0x200;
inline constexpr Dword kFormatMessageFromSystem = 0x1000;
inline constexpr Dword kLangNeutralSubLangDefault =
    0x0400;  // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)

// MessageBoxA styles and results.
inline constexpr Dword kMbOk = 0x0;
inline constexpr Dword kMbIconHand = 0x10;  // MB_ICONSTOP, MB_ICONERROR
inline constexpr Dword kMbIconExclamation = 0x30;
inline constexpr int kIdOk = 1;

// SYSTEMTIME.
struct SystemTime {
  std::uint16_t wYear = 0;
  std::uint16_t wMonth = 0;
  std::uint16_t wDayOfWeek = 0;
  std::uint16_t wDay = 0;
  std::uint16_t wHour = 0;
  std::uint16_t wMinute = 0;
  std::uint16_t wSecond = 0;
  std::uint16_t wMilliseconds = 0;
};

// FILETIME: 100-nanosecond intervals since 1 January 1601, UTC.
struct FileTime {
  Dword dwLowDateTime = 0;
  Dword dwHighDateTime = 0;
};

// OSVERSIONINFOEXA; dwOSVersionInfoSize says which of the two records the caller passes.
struct OsVersionInfo {
  Dword dwOSVersionInfoSize = 0;
  Dword dwMajorVersion = 0;
  Dword dwMinorVersion = 0;
  Dword dwBuildNumber = 0;
  Dword dwPlatformId = 0;
  char szCSDVersion[128] = {};
  std::uint16_t wServicePackMajor = 0;
  std::uint16_t wServicePackMinor = 0;
  std::uint16_t wSuiteMask = 0;
  std::uint8_t wProductType = 0;
  std::uint8_t wReserved = 0;
};

// The part of SYSTEM_INFO the program reads.
struct SystemInfo {
  std::uint16_t wProcessorArchitecture = 0;
  Dword dwNumberOfProcessors = 0;
};

// ReplaceFileA, the task scheduler (COM) and their results.
using HResult = std::int32_t;
inline constexpr HResult kSOk = 0;
inline constexpr Dword kReplacefileIgnoreMergeErrors = 0x2;
inline constexpr Dword kDelete = 0x00010000;  // CreateFileA access: DELETE
inline constexpr Dword kErrorLockViolation = 33;
inline constexpr Dword kErrorUnableToRemoveReplaced = 1175;
inline constexpr Dword kErrorUnableToMoveReplacement = 1176;
inline constexpr Dword kErrorUnableToMoveReplacement2 = 1177;
inline constexpr Long kTaskLogonInteractiveToken = 3;  // TASK_LOGON_TYPE
inline constexpr Long kTaskLogonGroup = 4;
// HRESULT_FROM_WIN32(code) and back.
constexpr HResult HResultFromWin32(Dword code) {
  return code == 0 ? 0 : static_cast<HResult>((code & 0xFFFFu) | 0x80070000u);
}
constexpr bool IsWin32HResult(HResult result) {
  return (static_cast<Dword>(result) & 0xFFFF0000u) == 0x80070000u;
}

// QUERY_SERVICE_CONFIGA: the record at the start of the caller's buffer; its texts follow it
// in the same buffer.
struct ServiceConfig {
  Dword dwServiceType;
  Dword dwStartType;
  Dword dwErrorControl;
  char* lpBinaryPathName;
  char* lpLoadOrderGroup;
  Dword dwTagId;
  char* lpDependencies;
  char* lpServiceStartName;
  char* lpDisplayName;
};

// SERVICE_STATUS.
struct ServiceStatus {
  Dword dwServiceType = 0;
  Dword dwCurrentState = 0;
  Dword dwControlsAccepted = 0;
  Dword dwWin32ExitCode = 0;
  Dword dwServiceSpecificExitCode = 0;
  Dword dwCheckPoint = 0;
  Dword dwWaitHint = 0;
};

// --- Who else may change a file or folder, the system-wide locks and the watch of an apply.

// Registry: volatile keys (gone at every restart of the system), binary values, the 64-bit
// view of a WOW64 process, and the errors these calls answer.
inline constexpr Dword kRegOptionVolatile = 1;
inline constexpr Dword kRegBinary = 3;
inline constexpr Dword kKeyWow64_64Key = 0x0100;
inline constexpr Dword kErrorMoreData = 234;
inline constexpr Dword kErrorChildMustBeVolatile = 1021;

// WaitForSingleObject's answers; a mutex's owner that ended without releasing it leaves it
// abandoned, and the next wait takes it with kWaitAbandoned.
inline constexpr Dword kWaitObject0 = 0;
inline constexpr Dword kWaitAbandoned = 0x80;
inline constexpr Dword kWaitTimeout = 0x102;
inline constexpr Dword kWaitFailed = 0xFFFFFFFFu;

// CreateProcessA creation flags.
inline constexpr Dword kDetachedProcess = 0x8;
inline constexpr Dword kCreateBreakawayFromJob = 0x01000000;

// Drives and volumes.
inline constexpr unsigned kDriveRemovable = 2;
inline constexpr unsigned kDriveFixed = 3;
inline constexpr unsigned kDriveRemote = 4;
inline constexpr Dword kFsPersistentAcls = 0x8;

// Security: what GetFileSecurityA is asked for, the token query and its record.
inline constexpr Dword kOwnerSecurityInformation = 0x1;
inline constexpr Dword kDaclSecurityInformation = 0x4;
inline constexpr Dword kTokenQuery = 0x8;
inline constexpr Dword kTokenUserClass = 1;  // TOKEN_INFORMATION_CLASS TokenUser

// PROCESS_INFORMATION.
struct ProcessInformation {
  Handle hProcess = nullptr;
  Handle hThread = nullptr;
  Dword dwProcessId = 0;
  Dword dwThreadId = 0;
};

class Api {
 public:
  virtual ~Api() = default;

  // Thread error state.
  virtual Dword GetLastError() = 0;
  virtual void SetLastError(Dword code) = 0;

  // Files and devices. Security attributes and template handles are always null here.
  virtual Handle CreateFileA(const char* name, Dword access, Dword share, Dword creation,
                             Dword flagsAndAttributes) = 0;
  virtual Bool ReadFile(Handle file, void* buffer, Dword toRead, Dword* read) = 0;
  virtual Bool WriteFile(Handle file, const void* buffer, Dword toWrite, Dword* written) = 0;
  virtual Dword SetFilePointer(Handle file, Long distance, Long* distanceHigh, Dword method) = 0;
  virtual Dword GetFileSize(Handle file, Dword* sizeHigh) = 0;
  virtual Bool FlushFileBuffers(Handle file) = 0;
  virtual Bool CloseHandle(Handle object) = 0;
  virtual Bool DeleteFileA(const char* name) = 0;
  virtual Bool MoveFileExA(const char* existing, const char* replacement, Dword flags) = 0;
  // The 9x family has MoveFileExA only as a stub that fails with kErrorCallNotImplemented.
  virtual Bool MoveFileA(const char* existing, const char* newName) = 0;
  virtual Dword GetFileAttributesA(const char* name) = 0;
  virtual Bool DeviceIoControl(Handle device, Dword code, const void* in, Dword inSize, void* out,
                               Dword outSize, Dword* returned) = 0;

  // Folders and paths. Lengths and results follow the Windows calls: the number of characters
  // copied without the terminator, or the size needed including it when the buffer is short.
  virtual Dword GetCurrentDirectoryA(Dword size, char* buffer) = 0;
  virtual Bool SetCurrentDirectoryA(const char* path) = 0;
  virtual Dword GetModuleFileNameA(HModule module, char* buffer, Dword size) = 0;
  virtual unsigned GetWindowsDirectoryA(char* buffer, unsigned size) = 0;
  virtual Dword GetTempPathA(Dword size, char* buffer) = 0;
  virtual Dword GetFullPathNameA(const char* name, Dword size, char* buffer, char** filePart) = 0;
  // The short (8.3) form of the path of a file or folder that exists: each long component
  // replaced by its alias ("Program Files" by "PROGRA~1"). Fails with ERROR_FILE_NOT_FOUND or
  // ERROR_PATH_NOT_FOUND when there is no such file, as the 9x family (and NT from 2000) does.
  virtual Dword GetShortPathNameA(const char* longPath, char* shortPath, Dword size) = 0;

  // System identification.
  virtual Bool GetVersionExA(OsVersionInfo* info) = 0;
  virtual HModule LoadLibraryA(const char* name) = 0;
  virtual Proc GetProcAddress(HModule module, const char* name) = 0;
  virtual Bool FreeLibrary(HModule module) = 0;
  // Only after GetProcAddress found "GetNativeSystemInfo" in kernel32.dll.
  virtual void GetNativeSystemInfo(SystemInfo* info) = 0;
  // Only after GetProcAddress found "IsWow64Process" in kernel32.dll.
  virtual Bool IsWow64Process(Handle process, Bool* wow64) = 0;
  // Whether this process itself is a 64-bit program (known when it was built): such a process
  // runs only on 64-bit Windows and is never a WOW64 process.
  virtual Bool Is64BitProcess() = 0;
  virtual Handle GetCurrentProcess() = 0;

  // Service control manager.
  virtual ScHandle OpenSCManagerA(const char* machine, const char* database, Dword access) = 0;
  virtual ScHandle CreateServiceA(ScHandle manager, const char* name, const char* displayName,
                                  Dword access, Dword type, Dword start, Dword errorControl,
                                  const char* binaryPath, const char* loadOrderGroup, Dword* tagId,
                                  const char* dependencies, const char* account,
                                  const char* password) = 0;
  virtual ScHandle OpenServiceA(ScHandle manager, const char* name, Dword access) = 0;
  virtual Bool StartServiceA(ScHandle service, Dword argc, const char** argv) = 0;
  virtual Bool CloseServiceHandle(ScHandle handle) = 0;
  // buffer (size bytes, pointer-aligned) receives a ServiceConfig and its texts.
  virtual Bool QueryServiceConfigA(ScHandle service, void* buffer, Dword size, Dword* needed) = 0;
  virtual Bool ChangeServiceConfigA(ScHandle service, Dword type, Dword start,
                                    Dword errorControl, const char* binaryPath,
                                    const char* loadOrderGroup, Dword* tagId,
                                    const char* dependencies, const char* account,
                                    const char* password, const char* displayName) = 0;
  virtual Bool QueryServiceStatus(ScHandle service, ServiceStatus* status) = 0;

  // The processor's own port instructions (in/out with a 32-bit operand), used on the 9x
  // family only, where a program may execute them.
  virtual Dword InPortDword(std::uint16_t port) = 0;
  virtual void OutPortDword(std::uint16_t port, Dword value) = 0;

  // CPUID: regs receives EAX, EBX, ECX, EDX.
  virtual void Cpuid(Dword leaf, Dword regs[4]) = 0;

  // Process.
  virtual Handle CreateMutexA(Bool initialOwner, const char* name) = 0;
  virtual const char* GetCommandLineA() = 0;
  // With kFormatMessageAllocateBuffer, buffer is really a char** that receives text the
  // caller releases with LocalFree.
  virtual Dword FormatMessageA(Dword flags, const void* source, Dword messageId, Dword languageId,
                               char* buffer, Dword size, void* arguments) = 0;
  virtual void* LocalFree(void* memory) = 0;
  virtual int MessageBoxA(void* owner, const char* text, const char* caption, Dword type) = 0;
  virtual void GetLocalTime(SystemTime* time) = 0;
  // The system clock, UTC.
  virtual void GetSystemTimeAsFileTime(FileTime* time) = 0;
  // Milliseconds since the system started (time asleep or hibernating included), wrapping to
  // 0 after 2^32 (49.7 days).
  virtual Dword GetTickCount() = 0;

  // Registry.
  virtual Long RegOpenKeyExA(HKey key, const char* subKey, Dword options, Dword access,
                             HKey* result) = 0;
  virtual Long RegCreateKeyExA(HKey key, const char* subKey, Dword reserved, char* className,
                               Dword options, Dword access, void* security, HKey* result,
                               Dword* disposition) = 0;
  virtual Long RegSetValueExA(HKey key, const char* valueName, Dword reserved, Dword type,
                              const std::uint8_t* data, Dword size) = 0;
  virtual Long RegDeleteValueA(HKey key, const char* valueName) = 0;
  virtual Long RegCloseKey(HKey key) = 0;

  // ReplaceFileA: Windows 2000 and later; where the system lacks it, it fails with
  // kErrorCallNotImplemented. The result keeps the replaced file's attributes and access list.
  // `backup` (or null) is the name the replaced file's data moves to.
  virtual Bool ReplaceFileA(const char* replaced, const char* replacement, const char* backup,
                            Dword flags) = 0;
  virtual void Sleep(Dword milliseconds) = 0;
  // Task Scheduler 2.0 (Vista and later) over COM, created when called: the task `name` in the
  // root folder. RegisterTask creates or replaces it from its XML definition (text in the
  // process's ANSI code page) with the given TASK_LOGON_TYPE; DeleteTask removes it.
  virtual HResult RegisterTask(const char* name, const char* xml, Long logonType) = 0;
  virtual HResult DeleteTask(const char* name) = 0;
  // --- Who else may change a file or folder (Windows NT only; the 9x family answers
  // kErrorCallNotImplemented), the system-wide locks and the watch of an apply.
  // The registry's value reader and key removal.
  virtual Long RegQueryValueExA(HKey key, const char* valueName, Dword* type, std::uint8_t* data,
                                Dword* size) = 0;
  virtual Long RegDeleteKeyA(HKey key, const char* subKey) = 0;
  // Mutexes: waiting takes ownership; only the owner releases it.
  virtual Dword WaitForSingleObject(Handle object, Dword milliseconds) = 0;
  virtual Bool ReleaseMutex(Handle mutex) = 0;
  virtual Dword GetCurrentProcessId() = 0;
  // A new process of `commandLine` (changed in place, as Windows may), no handle inherited,
  // the default start-up information; the caller closes both handles of `info`.
  virtual Bool CreateProcessA(char* commandLine, Dword flags, const char* directory,
                              ProcessInformation* info) = 0;
  // A file's or folder's owner and access list as a self-relative security descriptor.
  virtual Bool GetFileSecurityA(const char* name, Dword requested, void* descriptor, Dword size,
                                Dword* needed) = 0;
  virtual Bool OpenProcessToken(Handle process, Dword access, Handle* token) = 0;
  // With kTokenUserClass: a TOKEN_USER record (a SID pointer, attributes) and the SID.
  virtual Bool GetTokenInformation(Handle token, Dword infoClass, void* info, Dword size,
                                   Dword* needed) = 0;
  virtual unsigned GetDriveTypeA(const char* root) = 0;
  // Of the volume's answers only the file system's flags and name are asked for.
  virtual Bool GetVolumeInformationA(const char* root, Dword* flags, char* fileSystem,
                                     Dword fileSystemSize) = 0;
};

// The implementation the program talks to: the real Windows in the programs, a simulated one
// in tests. Installed once at start-up (or by a test fixture) before anything uses it.
Api& Windows();
void Install(Api* api);

// Whether this Windows is of the NT family (2000, XP and later), from the basic version
// record; *major (when given) receives its major version. False when the query fails.
bool IsNtFamily(Dword* major = nullptr);

}  // namespace os
