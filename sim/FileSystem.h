// The simulated Windows' file system (in memory).
#pragma once

namespace sim {

class FileSystem {
 public:
  void CloseFile(int /*id*/) {}
};

}  // namespace sim
