// The simulated Windows' machine: version, architecture, libraries, services, the driver's
// device and the ports.
#pragma once

#include <string>

#include "os/Api.h"

namespace sim {

class Machine {
 public:
  // Opens "\\.\<name>" (name without the prefix); returns a device id, or -1 with *error set.
  int OpenDevice(const std::string& name, os::Dword access, os::Dword share, os::Dword creation,
                 os::Dword flags, os::Dword* error) {
    (void)name, (void)access, (void)share, (void)creation, (void)flags;
    *error = os::kErrorFileNotFound;
    return -1;
  }
  void CloseDevice(int /*id*/) {}
};

}  // namespace sim
