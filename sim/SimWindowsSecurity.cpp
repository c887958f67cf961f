// The simulated Windows' security calls: a file's or folder's owner and access list, the
// process token's user, and the drive types and volume flags, answered as the NT family
// answers them (the 9x family has none of the security calls).
#include <cstring>

#include "sim/SimWindows.h"

namespace sim {
namespace {

// The drive letter of "C:\" (upper case), or 0 for any other root.
char DriveOf(const char* root) {
  if (root == nullptr) return 0;
  char letter = root[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z' || root[1] != ':' || root[2] != '\\' || root[3] != '\0') {
    return 0;
  }
  return letter;
}

bool IsUncRoot(const char* root) {
  return root != nullptr && root[0] == '\\' && root[1] == '\\' && root[2] != '.' && root[2] != '?';
}

}  // namespace

os::Bool SimWindows::GetFileSecurityA(const char* name, os::Dword requested, void* descriptor,
                                      os::Dword size, os::Dword* needed) {
  calls.emplace_back("GetFileSecurityA");
  if (ShouldFail("GetFileSecurityA")) return 0;
  if (machine.platformId != os::kVerPlatformWin32Nt) {
    lastError_ = os::kErrorCallNotImplemented;
    return 0;
  }
  Security security;
  os::Dword error = 0;
  if (!fs.SecurityOfName(name, &security, &error)) {
    lastError_ = error;
    return 0;
  }
  std::vector<std::uint8_t> bytes = SelfRelative(security, requested);
  *needed = static_cast<os::Dword>(bytes.size());
  if (size < bytes.size() || descriptor == nullptr) {
    lastError_ = os::kErrorInsufficientBuffer;
    return 0;
  }
  std::memcpy(descriptor, bytes.data(), bytes.size());
  return 1;
}

os::Bool SimWindows::OpenProcessToken(os::Handle process, os::Dword access, os::Handle* token) {
  if (ShouldFail("OpenProcessToken")) return 0;
  if (machine.platformId != os::kVerPlatformWin32Nt) {
    lastError_ = os::kErrorCallNotImplemented;
    return 0;
  }
  if (process != GetCurrentProcess() || (access & os::kTokenQuery) == 0 || token == nullptr) {
    lastError_ = os::kErrorAccessDenied;
    return 0;
  }
  *token = NewHandle(HandleKind::Token, 1);
  return 1;
}

os::Bool SimWindows::GetTokenInformation(os::Handle token, os::Dword infoClass, void* info,
                                         os::Dword size, os::Dword* needed) {
  if (ShouldFail("GetTokenInformation")) return 0;
  if (FindHandle(token, HandleKind::Token) == nullptr) {
    lastError_ = os::kErrorInvalidHandle;
    return 0;
  }
  if (infoClass != os::kTokenUserClass) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  // TOKEN_USER: a SID_AND_ATTRIBUTES (pointer, attributes, padded to pointer size), then the
  // SID it points at, in the caller's buffer.
  std::vector<std::uint8_t> sid = SidBytes(session.userSid);
  const std::size_t header = 2 * sizeof(void*);
  *needed = static_cast<os::Dword>(header + sid.size());
  if (info == nullptr || size < *needed) {
    lastError_ = os::kErrorInsufficientBuffer;
    return 0;
  }
  auto* bytes = static_cast<std::uint8_t*>(info);
  std::memset(bytes, 0, header);
  std::memcpy(bytes + header, sid.data(), sid.size());
  void* pointer = bytes + header;
  std::memcpy(bytes, &pointer, sizeof pointer);
  return 1;
}

unsigned SimWindows::GetDriveTypeA(const char* root) {
  calls.emplace_back("GetDriveTypeA");
  if (IsUncRoot(root)) return os::kDriveRemote;
  auto volume = fs.volumes.find(DriveOf(root));
  return volume == fs.volumes.end() ? 1u : volume->second.type;  // DRIVE_NO_ROOT_DIR
}

os::Bool SimWindows::GetVolumeInformationA(const char* root, os::Dword* flags, char* fileSystem,
                                           os::Dword fileSystemSize) {
  calls.emplace_back("GetVolumeInformationA");
  if (ShouldFail("GetVolumeInformationA")) return 0;
  auto volume = fs.volumes.find(DriveOf(root));
  if (volume == fs.volumes.end()) {
    lastError_ = os::kErrorPathNotFound;
    return 0;
  }
  if (flags != nullptr) *flags = volume->second.flags;
  if (fileSystem != nullptr) {
    if (volume->second.fileSystem.size() >= fileSystemSize) {
      lastError_ = os::kErrorInsufficientBuffer;  // ERROR_BAD_LENGTH in some versions
      return 0;
    }
    std::memcpy(fileSystem, volume->second.fileSystem.c_str(),
                volume->second.fileSystem.size() + 1);
  }
  return 1;
}

}  // namespace sim
