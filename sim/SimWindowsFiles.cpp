// The simulated Windows' file, folder and path calls over sim::FileSystem, with the return
// values and last-error codes of the real calls; "\\.\" names open the machine's devices.
#include <algorithm>
#include <cstring>
#include <string>

#include "sim/SimWindows.h"

namespace sim {
namespace {

// Copies `text` with its terminator when it fits in `size` characters and returns its length;
// otherwise returns the size needed, terminator included, and leaves the buffer alone.
os::Dword CopyOut(const std::string& text, char* buffer, os::Dword size) {
  auto length = static_cast<os::Dword>(text.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return length;
}

bool IsDeviceName(const char* name) {
  if (std::strncmp(name, "\\\\.\\", 4) != 0) return false;
  // "\\.\C:\..." is a file on drive C, not a device.
  const char* rest = name + 4;
  bool drivePath =
      ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z')) && rest[1] == ':';
  return !drivePath && rest[0] != '\0';
}

bool EndsWithVxd(const char* name) {
  std::size_t length = std::strlen(name);
  if (length < 4) return false;
  std::string tail(name + length - 4);
  for (char& c : tail) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return tail == ".VXD";
}

}  // namespace

os::Handle SimWindows::CreateFileA(const char* name, os::Dword access, os::Dword share,
                                   os::Dword creation, os::Dword flagsAndAttributes) {
  if (ShouldFail("CreateFileA")) return os::kInvalidHandle;
  os::Dword error = os::kErrorSuccess;
  // On the 9x family "\\.\C:\DIR\NAME.VXD" loads that VxD file.
  bool vxdPath = name != nullptr && machine.platformId == os::kVerPlatformWin32Windows &&
                 std::strncmp(name, "\\\\.\\", 4) == 0 && std::strchr(name + 4, '\\') &&
                 std::strlen(name) > 8 && EndsWithVxd(name);
  if (name != nullptr && (IsDeviceName(name) || vxdPath)) {
    int device = machine.OpenDevice(name + 4, access, share, creation, flagsAndAttributes, &error);
    if (device < 0) {
      lastError_ = error;
      return os::kInvalidHandle;
    }
    lastError_ = os::kErrorSuccess;
    return NewHandle(HandleKind::Device, device);
  }
  int id = fs.Open(name, access, share, creation, flagsAndAttributes, &error);
  lastError_ = error;
  if (id < 0) return os::kInvalidHandle;
  return NewHandle(HandleKind::File, id);
}

os::Bool SimWindows::ReadFile(os::Handle file, void* buffer, os::Dword toRead, os::Dword* read) {
  if (ShouldFail("ReadFile")) {
    if (read != nullptr) *read = 0;
    return 0;
  }
  if (read != nullptr) *read = 0;
  const HandleEntry* entry = FindHandle(file, HandleKind::File);
  os::Dword error = os::kErrorInvalidHandle;
  if (entry == nullptr || !fs.Read(entry->id, buffer, toRead, read, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

os::Bool SimWindows::WriteFile(os::Handle file, const void* buffer, os::Dword toWrite,
                               os::Dword* written) {
  if (ShouldFail("WriteFile")) {
    if (written != nullptr) *written = 0;
    return 0;
  }
  if (written != nullptr) *written = 0;
  const HandleEntry* entry = FindHandle(file, HandleKind::File);
  os::Dword error = os::kErrorInvalidHandle;
  if (entry == nullptr || !fs.Write(entry->id, buffer, toWrite, written, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

os::Dword SimWindows::SetFilePointer(os::Handle file, os::Long distance, os::Long* distanceHigh,
                                     os::Dword method) {
  if (ShouldFail("SetFilePointer")) return os::kInvalidSetFilePointer;
  const HandleEntry* entry = FindHandle(file, HandleKind::File);
  if (entry == nullptr) {
    lastError_ = os::kErrorInvalidHandle;
    return os::kInvalidSetFilePointer;
  }
  // Without a high part the distance is a signed 32-bit number and the result must fit 32 bits.
  std::int64_t move = distance;
  std::uint64_t limit = 0xFFFFFFFFu;
  if (distanceHigh != nullptr) {
    move = static_cast<std::int64_t>((static_cast<std::uint64_t>(*distanceHigh) << 32) |
                                     static_cast<os::Dword>(distance));
    limit = 0x7FFFFFFFFFFFFFFFull;
  }
  std::uint64_t position = 0;
  os::Dword error = os::kErrorSuccess;
  if (!fs.Seek(entry->id, move, method, limit, &position, &error)) {
    lastError_ = error;
    return os::kInvalidSetFilePointer;
  }
  if (distanceHigh != nullptr) *distanceHigh = static_cast<os::Long>(position >> 32);
  auto low = static_cast<os::Dword>(position);
  if (low == os::kInvalidSetFilePointer) lastError_ = os::kErrorSuccess;
  return low;
}

os::Dword SimWindows::GetFileSize(os::Handle file, os::Dword* sizeHigh) {
  constexpr os::Dword kInvalidFileSize = 0xFFFFFFFFu;
  if (ShouldFail("GetFileSize")) return kInvalidFileSize;
  const HandleEntry* entry = FindHandle(file, HandleKind::File);
  std::uint64_t size = 0;
  os::Dword error = os::kErrorInvalidHandle;
  if (entry == nullptr || !fs.Size(entry->id, &size, &error)) {
    lastError_ = error;
    return kInvalidFileSize;
  }
  if (sizeHigh != nullptr) *sizeHigh = static_cast<os::Dword>(size >> 32);
  auto low = static_cast<os::Dword>(size);
  if (low == kInvalidFileSize) lastError_ = os::kErrorSuccess;
  return low;
}

os::Bool SimWindows::FlushFileBuffers(os::Handle file) {
  if (ShouldFail("FlushFileBuffers")) return 0;
  const HandleEntry* entry = FindHandle(file, HandleKind::File);
  os::Dword error = os::kErrorInvalidHandle;
  if (entry == nullptr || !fs.Flush(entry->id, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

os::Bool SimWindows::DeleteFileA(const char* name) {
  if (ShouldFail("DeleteFileA")) return 0;
  os::Dword error = os::kErrorSuccess;
  if (!fs.Delete(name, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

os::Bool SimWindows::MoveFileExA(const char* existing, const char* replacement, os::Dword flags) {
  if (ShouldFail("MoveFileExA")) return 0;
  // The 9x family has it only as a stub.
  if (machine.platformId != os::kVerPlatformWin32Nt) {
    lastError_ = os::kErrorCallNotImplemented;
    return 0;
  }
  constexpr os::Dword kCopyAllowed = 0x2;
  // Delayed moves (until the next start of Windows) are not simulated: there is no restart.
  constexpr os::Dword kKnownFlags =
      os::kMovefileReplaceExisting | kCopyAllowed | os::kMovefileWriteThrough;
  os::Dword error = os::kErrorSuccess;
  if ((flags & ~kKnownFlags) != 0) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  if (!fs.Move(existing, replacement, (flags & os::kMovefileReplaceExisting) != 0,
               (flags & kCopyAllowed) != 0, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

os::Bool SimWindows::MoveFileA(const char* existing, const char* newName) {
  if (ShouldFail("MoveFileA")) return 0;
  os::Dword error = os::kErrorSuccess;
  if (!fs.Move(existing, newName, false, true, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

os::Bool SimWindows::ReplaceFileA(const char* replaced, const char* replacement, const char* backup,
                                  os::Dword flags) {
  if (ShouldFail("ReplaceFileA")) return 0;
  // The 9x family has no such call.
  if (machine.platformId != os::kVerPlatformWin32Nt) {
    lastError_ = os::kErrorCallNotImplemented;
    return 0;
  }
  constexpr os::Dword kKnownFlags = 0x1 | os::kReplacefileIgnoreMergeErrors;
  os::Dword error = os::kErrorSuccess;
  if ((flags & ~kKnownFlags) != 0) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  if (!fs.Replace(replaced, replacement, backup, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

void SimWindows::Sleep(os::Dword milliseconds) {
  calls.emplace_back("Sleep");
  sleptMilliseconds += milliseconds;
  session.Advance(milliseconds);
  if (onSleep) onSleep(milliseconds);
}

os::Dword SimWindows::GetFileAttributesA(const char* name) {
  if (ShouldFail("GetFileAttributesA")) return os::kInvalidFileAttributes;
  os::Dword error = os::kErrorSuccess;
  os::Dword attributes = fs.AttributesOf(name, &error);
  if (attributes == os::kInvalidFileAttributes) lastError_ = error;
  return attributes;
}

os::Dword SimWindows::GetCurrentDirectoryA(os::Dword size, char* buffer) {
  if (ShouldFail("GetCurrentDirectoryA")) return 0;
  return CopyOut(fs.currentDirectory, buffer, size);
}

os::Bool SimWindows::SetCurrentDirectoryA(const char* path) {
  if (ShouldFail("SetCurrentDirectoryA")) return 0;
  os::Dword error = os::kErrorSuccess;
  if (!fs.SetCurrent(path, &error)) {
    lastError_ = error;
    return 0;
  }
  return 1;
}

os::Dword SimWindows::GetModuleFileNameA(os::HModule module, char* buffer, os::Dword size) {
  if (ShouldFail("GetModuleFileNameA")) return 0;
  // Only the program's own module has a file name in the simulation.
  if (module != nullptr) {
    lastError_ = os::kErrorModNotFound;
    return 0;
  }
  const std::string& name = fs.moduleFileName;
  if (buffer != nullptr && size > name.size()) {
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return static_cast<os::Dword>(name.size());
  }
  // A short buffer gets as much of the name as fits; the result is the buffer size.
  if (buffer == nullptr || size == 0) {
    lastError_ = os::kErrorInsufficientBuffer;
    return 0;
  }
  if (fs.moduleFileNameAsXp) {
    std::memcpy(buffer, name.data(), size);
  } else {
    std::memcpy(buffer, name.data(), size - 1);
    buffer[size - 1] = '\0';
    lastError_ = os::kErrorInsufficientBuffer;
  }
  return size;
}

unsigned SimWindows::GetWindowsDirectoryA(char* buffer, unsigned size) {
  if (ShouldFail("GetWindowsDirectoryA")) return 0;
  return CopyOut(fs.windowsDirectory, buffer, size);
}

os::Dword SimWindows::GetTempPathA(os::Dword size, char* buffer) {
  if (ShouldFail("GetTempPathA")) return 0;
  std::string temp = fs.tempPath;
  if (temp.empty() || temp.back() != '\\') temp += '\\';
  return CopyOut(temp, buffer, size);
}

os::Dword SimWindows::GetFullPathNameA(const char* name, os::Dword size, char* buffer,
                                       char** filePart) {
  if (ShouldFail("GetFullPathNameA")) return 0;
  if (name == nullptr) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  if (*name == '\0') {
    lastError_ = os::kErrorInvalidName;
    return 0;
  }
  // The ANSI call converts the name into a buffer of MAX_PATH + 1 characters first.
  if (std::strlen(name) > kMaxPath) {
    lastError_ = os::kErrorFilenameExcedRange;
    return 0;
  }
  std::string full = fs.FullPath(name);
  os::Dword result = CopyOut(full, buffer, size);
  if (result == full.size() && filePart != nullptr) {
    std::size_t sep = full.find_last_of('\\');
    bool hasName = sep != std::string::npos && sep + 1 < full.size();
    *filePart = hasName ? buffer + sep + 1 : nullptr;
  }
  return result;
}

os::Dword SimWindows::GetShortPathNameA(const char* longPath, char* shortPath, os::Dword size) {
  if (ShouldFail("GetShortPathNameA")) return 0;
  if (longPath == nullptr) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  std::string result;
  os::Dword error = os::kErrorSuccess;
  // The 9x family's FAT keeps its aliases in capitals.
  if (!fs.ShortPath(longPath, machine.platformId == os::kVerPlatformWin32Windows, &result,
                    &error)) {
    lastError_ = error;
    return 0;
  }
  return CopyOut(result, shortPath, size);
}

}  // namespace sim
