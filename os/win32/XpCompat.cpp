// The GetTickCount64 import of the programs, resolved at the first call (see XpCompat.h).
#include "os/win32/XpCompat.h"

#include <windows.h>

namespace os {

std::uint64_t CarryTickCount(std::uint32_t now) {
  // The thread library asks only for timeouts, on this program's one thread; a call racing
  // another at the very wrap could at worst misjudge one timeout.
  static std::uint32_t last = 0;
  static std::uint64_t wraps = 0;
  if (now < last) wraps += 0x100000000ull;
  last = now;
  return wraps + now;
}

}  // namespace os

namespace {

ULONGLONG WINAPI TickCountWithoutTheSystem() {
  return os::CarryTickCount(::GetTickCount());
}
ULONGLONG WINAPI ResolveTickCount64();

}  // namespace

// The import slot the thread library calls through, first holding the resolver. Its symbol is
// decorated on i686 (a leading underscore and the argument bytes of a stdcall function) and
// plain on x86_64.
#if defined(_WIN64)
#define MVN_TICKCOUNT64_IMPORT "__imp_GetTickCount64"
#else
#define MVN_TICKCOUNT64_IMPORT "__imp__GetTickCount64@0"
#endif
extern "C" {
extern ULONGLONG(WINAPI* TickCount64Slot)() __asm__(MVN_TICKCOUNT64_IMPORT);
ULONGLONG(WINAPI* TickCount64Slot)() = ResolveTickCount64;
}

namespace {

ULONGLONG WINAPI ResolveTickCount64() {
  using Fn = ULONGLONG(WINAPI*)();
  HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  auto system = kernel32 == nullptr ? nullptr
                                    : reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                          ::GetProcAddress(kernel32, "GetTickCount64")));
  TickCount64Slot = system != nullptr ? system : TickCountWithoutTheSystem;
  return TickCount64Slot();
}

}  // namespace
