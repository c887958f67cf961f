// What a silent apply and a window start cannot avoid, shared by the two floor programs: the
// instance mutex, the platform queries, the driver service's start and the register accesses
// through the device, each made exactly as the job needs it and nothing besides.
#ifndef MORVANE_TESTS_BENCH_FLOOR_H
#define MORVANE_TESTS_BENCH_FLOOR_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "hw/driver/Protocol.h"
#include "regs/Tables.h"

namespace floor_calls {

// One instance at a time: a second start leaves at once.
inline bool TakeInstance() {
  CreateMutexA(nullptr, TRUE, "Morvane");
  return GetLastError() != ERROR_ALREADY_EXISTS;
}

// The system's family (NT or 9x) and the processor's width pick the driver image.
inline bool PlatformQueries() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  SYSTEM_INFO system;
  GetNativeSystemInfo(&system);
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The driver's service started, or found running.
inline bool StartDriverService() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceA(manager, "cpuz", SERVICE_ALL_ACCESS);
  bool running = service != nullptr && (StartServiceA(service, 0, nullptr) ||
                                        GetLastError() == ERROR_SERVICE_ALREADY_RUNNING);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return running;
}

inline bool PortRequest(HANDLE device, DWORD code, std::uint32_t port, std::uint32_t value,
                        std::uint32_t* result) {
  MvnWritePortInput in = {port, value};
  MvnPortOutput out = {0, 0};
  DWORD returned = 0;
  DWORD inSize = code == MVN_IOCTL_READ_PORT ? sizeof(MvnReadPortInput) : sizeof in;
  if (!DeviceIoControl(device, code, &in, inSize, &out, sizeof out, &returned, nullptr)) {
    return false;
  }
  if (result != nullptr) *result = out.value;
  return true;
}

// One configuration register read (or written with `value`) through its own device handle:
// the address port saved and set, the data port, the address port put back. Four requests.
inline bool Access(const PciRegister& reg, bool write, std::uint32_t* value) {
  HANDLE device =
      CreateFileA("\\\\.\\cpuz", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  const std::uint32_t address = 0x80000000u | (std::uint32_t(reg.bus) << 16) |
                                (std::uint32_t(reg.device) << 11) |
                                (std::uint32_t(reg.function) << 8) | std::uint32_t(reg.offset);
  std::uint32_t saved = 0;
  bool ok = PortRequest(device, MVN_IOCTL_READ_PORT, MVN_PCI_ADDRESS_PORT, 0, &saved) &&
            PortRequest(device, MVN_IOCTL_WRITE_PORT, MVN_PCI_ADDRESS_PORT, address, nullptr) &&
            (write ? PortRequest(device, MVN_IOCTL_WRITE_PORT, MVN_PCI_DATA_PORT, *value, nullptr)
                   : PortRequest(device, MVN_IOCTL_READ_PORT, MVN_PCI_DATA_PORT, 0, value)) &&
            PortRequest(device, MVN_IOCTL_WRITE_PORT, MVN_PCI_ADDRESS_PORT, saved, nullptr);
  CloseHandle(device);
  return ok;
}

template <std::size_t N>
bool ReadGroup(PciRegister* const (&group)[N]) {
  for (PciRegister* reg : group) {
    if (!Access(*reg, false, &reg->value)) return false;
  }
  return true;
}

// Written with what was read, so the simulated machine keeps its state: a request costs
// the same whatever it carries.
template <std::size_t N>
bool WriteGroup(PciRegister* const (&group)[N]) {
  for (PciRegister* reg : group) {
    if (!Access(*reg, true, &reg->value)) return false;
  }
  return true;
}

}  // namespace floor_calls

#endif  // MORVANE_TESTS_BENCH_FLOOR_H
