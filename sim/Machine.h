// The simulated Windows' machine: version, architecture, libraries, services, the driver's
// device and the ports.
#pragma once

namespace sim {

class Machine {
 public:
  void CloseDevice(int /*id*/) {}
};

}  // namespace sim
