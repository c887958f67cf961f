// The simulated Windows' machine calls: version, kernel32 lookups, services, the driver's
// device, port instructions and CPUID, each answering as the Windows call does.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "sim/SimWindows.h"

namespace sim {
namespace {

bool IsKernel32(const char* name) {
  if (name == nullptr) return false;
  std::string upper;
  for (const char* p = name; *p != '\0'; ++p) {
    upper += static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 'a' + 'A' : *p);
  }
  return upper == "KERNEL32.DLL" || upper == "KERNEL32";
}

// Addresses GetProcAddress hands out: never null, never called by the program itself.
os::Proc FakeProc(std::uintptr_t ordinal) {
  return reinterpret_cast<os::Proc>(std::uintptr_t{0x7C800000} + ordinal * 16);
}

}  // namespace

os::Bool SimWindows::DeviceIoControl(os::Handle device, os::Dword code, const void* in,
                                     os::Dword inSize, void* out, os::Dword outSize,
                                     os::Dword* returned) {
  if (ShouldFail("DeviceIoControl")) return 0;
  const HandleEntry* entry = FindHandle(device, HandleKind::Device);
  if (entry == nullptr) {
    SetLastError(os::kErrorInvalidHandle);
    return 0;
  }
  os::Dword error = 0;
  if (!machine.DeviceControl(entry->id, code, in, inSize, out, outSize, returned, &error)) {
    SetLastError(error);
    return 0;
  }
  return 1;
}

os::Bool SimWindows::GetVersionExA(os::OsVersionInfo* info) {
  if (ShouldFail("GetVersionExA")) return 0;
  os::Dword error = 0;
  if (!machine.VersionInfo(info, &error)) {
    SetLastError(error);
    return 0;
  }
  return 1;
}

os::HModule SimWindows::LoadLibraryA(const char* name) {
  if (ShouldFail("LoadLibraryA")) return nullptr;
  if (!IsKernel32(name)) {
    SetLastError(os::kErrorModNotFound);
    return nullptr;
  }
  if (machine.kernel32Module == nullptr) machine.kernel32Module = NewHandle(HandleKind::Module, 0);
  ++machine.libraryReferences;
  return machine.kernel32Module;
}

os::Proc SimWindows::GetProcAddress(os::HModule module, const char* name) {
  if (ShouldFail("GetProcAddress")) return nullptr;
  if (module == nullptr || FindHandle(module, HandleKind::Module) == nullptr) {
    SetLastError(os::kErrorModNotFound);
    return nullptr;
  }
  if (name != nullptr && machine.hasGetNativeSystemInfo &&
      std::strcmp(name, "GetNativeSystemInfo") == 0) {
    return FakeProc(1);
  }
  if (name != nullptr && machine.hasIsWow64Process && std::strcmp(name, "IsWow64Process") == 0) {
    return FakeProc(2);
  }
  SetLastError(os::kErrorProcNotFound);
  return nullptr;
}

os::Bool SimWindows::FreeLibrary(os::HModule module) {
  if (ShouldFail("FreeLibrary")) return 0;
  if (module == nullptr || FindHandle(module, HandleKind::Module) == nullptr ||
      machine.libraryReferences == 0) {
    SetLastError(os::kErrorModNotFound);
    return 0;
  }
  if (--machine.libraryReferences == 0) {
    ForgetHandle(module);
    machine.kernel32Module = nullptr;
  }
  return 1;
}

void SimWindows::GetNativeSystemInfo(os::SystemInfo* info) {
  if (ShouldFail("GetNativeSystemInfo")) return;
  if (!machine.hasGetNativeSystemInfo) ++machine.missingFunctionCalls;
  if (info == nullptr) return;
  info->wProcessorArchitecture = machine.nativeArchitecture;
  info->dwNumberOfProcessors = 1;
}

os::Bool SimWindows::IsWow64Process(os::Handle process, os::Bool* wow64) {
  if (ShouldFail("IsWow64Process")) return 0;
  if (!machine.hasIsWow64Process) ++machine.missingFunctionCalls;
  if (process != GetCurrentProcess()) {
    SetLastError(os::kErrorInvalidHandle);
    return 0;
  }
  if (wow64 == nullptr) {
    SetLastError(kErrorNoAccess);
    return 0;
  }
  *wow64 = machine.wow64 ? 1 : 0;
  return 1;
}

os::Bool SimWindows::Is64BitProcess() {
  calls.emplace_back("Is64BitProcess");
  return machine.process64 ? 1 : 0;
}

os::Handle SimWindows::GetCurrentProcess() {
  // The pseudo handle of the current process, whose value is that of INVALID_HANDLE_VALUE.
  calls.emplace_back("GetCurrentProcess");
  return os::kInvalidHandle;
}

os::ScHandle SimWindows::OpenSCManagerA(const char* machineName, const char* database,
                                        os::Dword access) {
  if (ShouldFail("OpenSCManagerA")) return nullptr;
  os::Dword error = 0;
  int id = machine.OpenManager(machineName, database, access, &error);
  if (id < 0) {
    SetLastError(error);
    return nullptr;
  }
  return NewHandle(HandleKind::Manager, id);
}

os::ScHandle SimWindows::CreateServiceA(os::ScHandle manager, const char* name,
                                        const char* displayName, os::Dword access, os::Dword type,
                                        os::Dword start, os::Dword errorControl,
                                        const char* binaryPath, const char* loadOrderGroup,
                                        os::Dword* tagId, const char* dependencies,
                                        const char* account, const char* password) {
  (void)access, (void)loadOrderGroup, (void)dependencies, (void)account, (void)password;
  if (ShouldFail("CreateServiceA")) return nullptr;
  const HandleEntry* entry = FindHandle(manager, HandleKind::Manager);
  if (entry == nullptr) {
    SetLastError(os::kErrorInvalidHandle);
    return nullptr;
  }
  if (tagId != nullptr) {
    SetLastError(os::kErrorInvalidParameter);  // a tag needs a load-order group
    return nullptr;
  }
  os::Dword error = 0;
  int id = machine.CreateService(entry->id, name, displayName, type, start, errorControl,
                                 binaryPath, &error);
  if (id < 0) {
    SetLastError(error);
    return nullptr;
  }
  return NewHandle(HandleKind::Service, id);
}

os::ScHandle SimWindows::OpenServiceA(os::ScHandle manager, const char* name, os::Dword access) {
  (void)access;
  if (ShouldFail("OpenServiceA")) return nullptr;
  const HandleEntry* entry = FindHandle(manager, HandleKind::Manager);
  if (entry == nullptr) {
    SetLastError(os::kErrorInvalidHandle);
    return nullptr;
  }
  os::Dword error = 0;
  int id = machine.OpenService(entry->id, name, &error);
  if (id < 0) {
    SetLastError(error);
    return nullptr;
  }
  return NewHandle(HandleKind::Service, id);
}

os::Bool SimWindows::StartServiceA(os::ScHandle service, os::Dword argc, const char** argv) {
  (void)argc, (void)argv;
  if (ShouldFail("StartServiceA")) return 0;
  const HandleEntry* entry = FindHandle(service, HandleKind::Service);
  if (entry == nullptr) {
    SetLastError(os::kErrorInvalidHandle);
    return 0;
  }
  os::Dword error = 0;
  if (!machine.StartService(entry->id, &error)) {
    SetLastError(error);
    return 0;
  }
  return 1;
}

os::Bool SimWindows::CloseServiceHandle(os::ScHandle handle) {
  if (ShouldFail("CloseServiceHandle")) return 0;
  for (HandleKind kind : {HandleKind::Service, HandleKind::Manager}) {
    const HandleEntry* entry = FindHandle(handle, kind);
    if (entry == nullptr) continue;
    os::Dword error = 0;
    int id = entry->id;
    ForgetHandle(handle);
    if (!machine.CloseServiceOrManager(id, &error)) {
      SetLastError(error);
      return 0;
    }
    return 1;
  }
  SetLastError(os::kErrorInvalidHandle);
  return 0;
}

Machine::Service* SimWindows::ServiceOfHandle(os::ScHandle service) {
  const HandleEntry* entry = FindHandle(service, HandleKind::Service);
  Machine::Service* s = entry != nullptr ? machine.ServiceOfHandle(entry->id) : nullptr;
  if (s == nullptr) SetLastError(os::kErrorInvalidHandle);
  return s;
}

os::Bool SimWindows::QueryServiceConfigA(os::ScHandle service, void* buffer, os::Dword size,
                                         os::Dword* needed) {
  if (ShouldFail("QueryServiceConfigA")) return 0;
  const Machine::Service* s = ServiceOfHandle(service);
  if (s == nullptr) return 0;
  if (needed == nullptr) {
    SetLastError(kErrorNoAccess);
    return 0;
  }
  // The record, then the texts it points at, each with its terminator.
  const std::string* texts[] = {&s->binaryPath, &s->displayName};
  os::Dword total = sizeof(os::ServiceConfig);
  for (const std::string* text : texts) total += static_cast<os::Dword>(text->size() + 1);
  total += 3;  // the empty group, dependencies (two terminators) and account
  if (buffer == nullptr || size < total) {
    *needed = total;
    SetLastError(os::kErrorInsufficientBuffer);
    return 0;
  }
  auto* record = static_cast<os::ServiceConfig*>(buffer);
  char* next = static_cast<char*>(buffer) + sizeof(os::ServiceConfig);
  auto put = [&next](const std::string& text, std::size_t terminators) {
    char* start = next;
    std::memcpy(next, text.data(), text.size());
    next += text.size();
    for (std::size_t i = 0; i < terminators; ++i) *next++ = '\0';
    return start;
  };
  record->dwServiceType = s->type;
  record->dwStartType = s->startType;
  record->dwErrorControl = s->errorControl;
  record->dwTagId = 0;
  record->lpBinaryPathName = put(s->binaryPath, 1);
  record->lpLoadOrderGroup = put("", 1);
  record->lpDependencies = put("", 2);
  record->lpServiceStartName = put("", 0) - 1;  // shares the last terminator: an empty text
  record->lpDisplayName = put(s->displayName, 1);
  return 1;
}

os::Bool SimWindows::ChangeServiceConfigA(os::ScHandle service, os::Dword type, os::Dword start,
                                          os::Dword errorControl, const char* binaryPath,
                                          const char* loadOrderGroup, os::Dword* tagId,
                                          const char* dependencies, const char* account,
                                          const char* password, const char* displayName) {
  (void)loadOrderGroup, (void)dependencies, (void)account, (void)password;
  if (ShouldFail("ChangeServiceConfigA")) return 0;
  Machine::Service* s = ServiceOfHandle(service);
  if (s == nullptr) return 0;
  if (tagId != nullptr) {
    SetLastError(os::kErrorInvalidParameter);
    return 0;
  }
  if (s->markedForDelete) {
    SetLastError(os::kErrorServiceMarkedForDelete);
    return 0;
  }
  ++machine.changeServiceConfigCalls;
  if (type != os::kServiceNoChange) s->type = type;
  if (start != os::kServiceNoChange) s->startType = start;
  if (errorControl != os::kServiceNoChange) s->errorControl = errorControl;
  if (binaryPath != nullptr) s->binaryPath = binaryPath;
  if (displayName != nullptr) s->displayName = displayName;
  return 1;
}

os::Bool SimWindows::QueryServiceStatus(os::ScHandle service, os::ServiceStatus* status) {
  if (ShouldFail("QueryServiceStatus")) return 0;
  const Machine::Service* s = ServiceOfHandle(service);
  if (s == nullptr) return 0;
  if (status == nullptr) {
    SetLastError(kErrorNoAccess);
    return 0;
  }
  *status = os::ServiceStatus();
  status->dwServiceType = s->type;
  status->dwCurrentState = s->running ? 4 : os::kServiceStopped;  // SERVICE_RUNNING
  return 1;
}

os::Dword SimWindows::InPortDword(std::uint16_t port) {
  if (ShouldFail("InPortDword")) return 0xFFFFFFFFu;
  return machine.In(port);
}

void SimWindows::OutPortDword(std::uint16_t port, os::Dword value) {
  if (ShouldFail("OutPortDword")) return;
  machine.Out(port, value);
}

void SimWindows::Cpuid(os::Dword leaf, os::Dword regs[4]) {
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
  if (ShouldFail("Cpuid")) return;
  if (leaf == 0) {
    // The vendor text lies in EBX, EDX, ECX, each register's low byte first.
    char vendor[12] = {};
    std::memcpy(vendor, machine.cpuVendor.data(),
                std::min<std::size_t>(12, machine.cpuVendor.size()));
    regs[0] = 1;
    std::memcpy(&regs[1], vendor, 4);
    std::memcpy(&regs[3], vendor + 4, 4);
    std::memcpy(&regs[2], vendor + 8, 4);
  } else if (leaf == 1) {
    regs[0] = machine.cpuSignature;
    regs[1] = 0x00010800;  // one logical processor, CLFLUSH line 8 quadwords
    regs[3] = 0x078BFBFF;  // the feature flags of an Athlon 64
  }
}

}  // namespace sim
