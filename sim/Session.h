// The simulated Windows' process and user session: mutexes, command line, message texts,
// message boxes and the registry.
#pragma once

namespace sim {

class Session {
 public:
  void CloseMutex(int /*id*/) {}
};

}  // namespace sim
