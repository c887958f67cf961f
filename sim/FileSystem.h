// The simulated Windows' file system: folders and files in memory, Windows path rules
// (drive letters, "\" separators, names matched without regard to case), read-only files and
// folders that refuse writes.
#pragma once

#include <string>

#include "os/Api.h"

namespace sim {

class FileSystem {
 public:
  FileSystem();

  // Set-up and inspection for tests. Paths are absolute ("C:\dir\file").
  void AddFolder(const std::string& path);  // with any missing parents
  void AddFile(const std::string& path, std::string contents,
               os::Dword attributes = os::kFileAttributeNormal);
  bool Exists(const std::string& path) const;
  std::string Contents(const std::string& path) const;  // empty when absent
  void SetReadOnly(const std::string& path, bool readOnly);
  void SetFolderWritable(const std::string& path, bool writable);
  void Remove(const std::string& path);

  // What the process sees; folders named here exist from the start.
  std::string currentDirectory = "C:\\Program Files\\Morvane";
  std::string moduleFileName = "C:\\Program Files\\Morvane\\morvane.exe";
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string tempPath = "C:\\WINDOWS\\TEMP\\";

  void CloseFile(int id);
};

}  // namespace sim
