// The process-wide choice of Windows implementation behind the seam.
#include "os/Api.h"

#include <cstdlib>

namespace os {
namespace {
Api* installed = nullptr;
}

Api& Windows() {
  // Nothing may reach the system before the entry (or a test) has chosen an implementation.
  if (installed == nullptr) std::abort();
  return *installed;
}

void Install(Api* api) { installed = api; }

bool IsNtFamily(Dword* major) {
  OsVersionInfo info;
  info.dwOSVersionInfoSize = kOsVersionInfoSize;
  if (!Windows().GetVersionExA(&info)) return false;
  if (major != nullptr) *major = info.dwMajorVersion;
  return info.dwPlatformId == kVerPlatformWin32Nt;
}

}  // namespace os
