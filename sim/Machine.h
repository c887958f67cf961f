// The simulated Windows' machine: version and architecture answers, kernel32's run-time
// lookups, the processor's CPUID, the service control manager, the kernel I/O driver's device
// (served by the simulated northbridge through the driver's own request checks), the 9x
// family's dynamically loaded VxD and the port instructions.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "os/Api.h"
#include "sim/FileSystem.h"

namespace sim {

// Error codes the machine answers with beyond those os/Api.h names.
inline constexpr os::Dword kErrorBadExeFormat = 193;
inline constexpr os::Dword kErrorDatabaseDoesNotExist = 1065;
inline constexpr os::Dword kErrorRpcServerUnavailable = 1722;
inline constexpr os::Dword kErrorDevNotExist = 55;

// Preset machines: which Windows answers the version and architecture questions.
enum class Platform {
  Windows9x,                 // Windows 98 SE: no extended version record, no kernel32 lookups
  Nt32,                      // Windows XP SP3, 32-bit
  NtWow64,                   // Windows 7 x64, the program a 32-bit process under WOW64
  Nt64,                      // Windows 7 x64, the program a 64-bit process
  NtWithoutNativeSystemInfo  // Windows 2000: neither GetNativeSystemInfo nor IsWow64Process
};

class Machine {
 public:
  explicit Machine(const FileSystem& files);
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // --- Version and architecture (Nt32 unless a test chooses otherwise).
  void SetPlatform(Platform platform);
  os::Dword platformId = os::kVerPlatformWin32Nt;
  os::Dword majorVersion = 5, minorVersion = 1, buildNumber = 2600;
  std::string servicePack = "Service Pack 3";
  bool extendedVersionInfo = true;  // GetVersionExA takes the 156-byte record
  bool hasGetNativeSystemInfo = true;
  bool hasIsWow64Process = true;
  std::uint16_t nativeArchitecture = os::kProcessorArchitectureIntel;
  bool wow64 = false;
  bool process64 = false;  // the program is a 64-bit process (on 64-bit Windows only)
  // Calls of GetNativeSystemInfo or IsWow64Process that a real program could not have made
  // (the function is missing on this platform): a real one would jump through a null pointer.
  int missingFunctionCalls = 0;
  // kernel32.dll: LoadLibraryA hands out one module handle and counts references.
  os::HModule kernel32Module = nullptr;
  int libraryReferences = 0;

  // --- The processor (an Athlon 64 X2, family 15, unless a test chooses otherwise).
  std::string cpuVendor = "AuthenticAMD";  // 12 characters
  os::Dword cpuSignature = 0x00020FB1;     // CPUID 1 EAX: family 15, model 0x2B, stepping 1
  void SetCpuFamily(unsigned family);      // bits 11:8 of the signature

  // --- The service control manager. Services stay across runs of the program.
  struct Service {
    std::string name;
    std::string displayName;
    std::string binaryPath;
    os::Dword type = os::kServiceKernelDriver;
    os::Dword startType = os::kServiceDemandStart;
    os::Dword errorControl = os::kServiceErrorNormal;
    bool running = false;
    bool markedForDelete = false;
    std::string loadedImage;  // the image file's contents when the service started
    int starts = 0;
  };
  bool administrator = true;  // without, the manager refuses all access (5)
  Service& AddService(const std::string& name, const std::string& binaryPath, bool running = false);
  Service* FindService(const std::string& name);
  const Service* FindService(const std::string& name) const;
  void StopService(const std::string& name);
  void RemoveService(const std::string& name);  // stops it first, as an administrator would
  void MarkForDelete(const std::string& name);
  int createServiceCalls = 0;
  int startServiceCalls = 0;
  int changeServiceConfigCalls = 0;
  // The service an open service handle names, or null (bad handle, service gone).
  Service* ServiceOfHandle(int id);
  int OpenManagerCount() const { return static_cast<int>(managers_.size()); }
  int OpenServiceHandleCount() const { return static_cast<int>(serviceHandles_.size()); }

  // --- The kernel I/O driver's device "\\.\<service name>", present while its kernel
  // driver service runs; only administrators may open it.
  bool deviceAccessDenied = false;  // opening answers ERROR_ACCESS_DENIED
  int deviceOpens = 0;
  int OpenDeviceCount() const;
  struct Request {
    os::Dword code;
    std::uint32_t port;   // from the input buffer (0 when shorter than 4 bytes)
    std::uint32_t value;  // written value, or the value read (0 when refused)
    bool ok;
  };
  std::vector<Request> requests;
  int RequestCount(os::Dword code) const;
  // Called with each request's code, port and (for a write) value before the driver carries
  // it out: a test can note the state of everything else at that moment, as it would be if
  // the process (or the machine) died there.
  std::function<void(os::Dword code, std::uint32_t port, std::uint32_t value)> beforeRequest;

  // --- Faults of the hardware path, each at one position (-1: never). Positions count from
  // 0 over this machine's device requests, configuration accesses and device opens; a
  // refused or failed request as a whole is SimWindows::FailCall("DeviceIoControl", ...).
  int otherCoreAtRequest = -1;  // before it, another agent latches otherCoreAddress in 0xCF8
  std::uint32_t otherCoreAddress = 0x8000C290u;  // enabled: 0:18.1 offset 0x90
  int failConfigAt = -1;    // this configuration access finds no function
  int allOnesReadAt = -1;   // this configuration read answers all ones
  int failDeviceOpenAt = -1;  // this open of the device fails with deviceOpenError
  os::Dword deviceOpenError = os::kErrorAccessDenied;
  int deviceRequests = 0;
  int configAccesses = 0;
  int deviceOpenAttempts = 0;

  // --- The 9x family's VxD: opening "\\.\<file>.vxd" with CREATE_NEW and DELETE_ON_CLOSE
  // loads the file (a bare name looked up in the current, the system and the Windows
  // directory; a full path only in short names, "\\.\C:\PROGRA~1\MORVANE\CPUZ.VXD");
  // closing that handle unloads it.
  int vxdLoads = 0;
  int vxdUnloads = 0;
  std::string loadedVxdPath;    // full path of the last VxD loaded
  std::string lastVxdOpenName;  // the last VxD file name opened, as the program gave it
  bool VxdLoaded() const { return vxdLoads > vxdUnloads; }

  // --- Port instructions (9x family): each one logged. On the NT family a program's own
  // port instruction faults; such attempts are counted and touch no port.
  struct PortAccess {
    bool write;
    std::uint16_t port;
    std::uint32_t value;
  };
  std::vector<PortAccess> portAccesses;
  int privilegedInstructionFaults = 0;

  // --- Used by SimWindows' operations. Failures return -1 (or false) with *error set.
  // Opens "\\.\<name>" (name without the prefix); returns a device id.
  int OpenDevice(const std::string& name, os::Dword access, os::Dword share, os::Dword creation,
                 os::Dword flags, os::Dword* error);
  void CloseDevice(int id);
  bool DeviceControl(int id, os::Dword code, const void* in, os::Dword inSize, void* out,
                     os::Dword outSize, os::Dword* returned, os::Dword* error);

  bool VersionInfo(os::OsVersionInfo* info, os::Dword* error) const;
  int OpenManager(const char* machineName, const char* database, os::Dword access,
                  os::Dword* error);
  bool IsManager(int id) const { return managers_.count(id) != 0; }
  int CreateService(int manager, const char* name, const char* displayName, os::Dword type,
                    os::Dword start, os::Dword errorControl, const char* binaryPath,
                    os::Dword* error);
  int OpenService(int manager, const char* name, os::Dword* error);
  bool StartService(int service, os::Dword* error);
  bool CloseServiceOrManager(int id, os::Dword* error);

  std::uint32_t In(std::uint16_t port);
  void Out(std::uint16_t port, std::uint32_t value);

 private:
  struct Device {
    std::string name;
    bool vxd;
    bool unloadOnClose;
    std::uint32_t address;  // the driver's emulated address port for this handle
  };
  static int ChipRead(void* ctx, std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                      std::uint32_t offset, std::uint32_t* value);
  static int ChipWrite(void* ctx, std::uint32_t bus, std::uint32_t device,
                       std::uint32_t function, std::uint32_t offset, std::uint32_t value);
  // The services in creation order (names match without regard to case, as Windows does).
  std::vector<Service> services_;
  const FileSystem& files_;
  std::map<int, os::Dword> managers_;          // id -> access
  std::map<int, std::string> serviceHandles_;  // id -> service name
  std::map<int, Device> devices_;
  int nextId_ = 1;

  int OpenVxd(const std::string& name, os::Dword creation, os::Dword flags, os::Dword* error);
};

}  // namespace sim
