// The processor check and the one driver object of the process.
#include "app/Startup.h"

#include <cstring>

#include "hw/DeviceDriver.h"
#include "os/Api.h"

std::string ExtractFilePath(const std::string& path) {
  auto last = path.find_last_of("\\:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

int InitDeviceDriver() {
  if (DeviceDriver != nullptr) return 1;
  DeviceDriver = new CDeviceDriver;
  if (DeviceDriver->Initialize(nullptr, "cpuz", "cpuz", 1) == 0) {
    // The caller reports the system's last error; releasing the object must not change it.
    os::Dword error = os::Windows().GetLastError();
    delete DeviceDriver;
    DeviceDriver = nullptr;
    os::Windows().SetLastError(error);
    return 0;
  }
  return 1;
}

void FreeDeviceDriver() {
  // Releases the object only: the driver service stays installed and running.
  delete DeviceDriver;
  DeviceDriver = nullptr;
}

// The tables describe the DDR memory controller of K8 up to revision E: base family 15 with
// no extended family and an extended model below 4. Revision F and G (DDR2) lay out the same
// registers differently, and every later AMD processor reports base family 15 too, with an
// extended family, while its device 0x18 functions are something else entirely.
ProcessorSupport CheckProcessor() {
  os::Dword regs[4] = {};
  os::Windows().Cpuid(0, regs);
  // The vendor text is EBX, EDX, ECX, each from its lowest byte up.
  char vendor[13] = {};
  const os::Dword order[3] = {regs[1], regs[3], regs[2]};
  for (int r = 0; r < 3; ++r) {
    for (int b = 0; b < 4; ++b) vendor[r * 4 + b] = static_cast<char>((order[r] >> (8 * b)) & 0xFF);
  }
  os::Windows().Cpuid(1, regs);
  const unsigned family = (regs[0] >> 8) & 0xF;
  const unsigned extendedFamily = (regs[0] >> 20) & 0xFF;
  const unsigned extendedModel = (regs[0] >> 16) & 0xF;
  if (family != 0xF || std::strcmp(vendor, "AuthenticAMD") != 0) {
    return ProcessorSupport::NotAmd64;
  }
  if (extendedFamily != 0 || extendedModel >= 4) return ProcessorSupport::UnsupportedAmd64;
  return ProcessorSupport::Supported;
}

bool IsAmd64Processor() {
  return CheckProcessor() == ProcessorSupport::Supported;
}
