// Import slots of functions that Windows XP or the 9x family lacks, each resolved at the first
// call (see XpCompat.h).
#include "os/win32/XpCompat.h"

#include <windows.h>

#include <cstring>

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

// An import slot is the pointer the code calls through (`__imp_` + the function's symbol).
// Defined here, it takes the place of the import library's slot, so the function is not in the
// program's import table. The symbol is decorated on i686 (a leading underscore and the
// argument bytes of a stdcall function) and plain on x86_64.
#if defined(_WIN64)
#define MVN_IMPORT_SLOT(function, argumentBytes) "__imp_" #function
#else
#define MVN_IMPORT_SLOT(function, argumentBytes) "__imp__" #function "@" #argumentBytes
#endif

namespace {

ULONGLONG WINAPI TickCountWithoutTheSystem() {
  return os::CarryTickCount(::GetTickCount());
}
ULONGLONG WINAPI ResolveTickCount64();

// The answer of the 9x family's stubs for what the system does not implement, with the
// function's own arguments (a stdcall function removes them from the stack itself).
template <typename Fn>
struct Missing;

template <typename R, typename... A>
struct Missing<R(WINAPI*)(A...)> {
  // What a stdcall function's decorated name counts: its arguments, each at least 4 bytes.
  static constexpr unsigned kArgumentBytes = (((sizeof(A) + 3) / 4 * 4) + ... + 0u);
  static R WINAPI Call(A...) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return R();
  }
};

constexpr char kKernel32[] = "kernel32.dll";
constexpr char kAdvapi32[] = "advapi32.dll";

}  // namespace

extern "C" {
extern ULONGLONG(WINAPI* TickCount64Slot)() __asm__(MVN_IMPORT_SLOT(GetTickCount64, 0));
ULONGLONG(WINAPI* TickCount64Slot)() = ResolveTickCount64;
}

// One late import: its slot, named as the import library names it (the argument bytes are
// checked against the function's declaration), holding the stand-in until the system's
// function is found.
#define MVN_LATE_IMPORT(function, argumentBytes)                                                 \
  static_assert(Missing<decltype(&::function)>::kArgumentBytes == (argumentBytes) ||             \
                sizeof(void*) == 8);                                                             \
  extern "C" {                                                                                   \
  extern decltype(&::function) function##Slot __asm__(MVN_IMPORT_SLOT(function, argumentBytes)); \
  decltype(&::function) function##Slot = Missing<decltype(&::function)>::Call;                   \
  }

MVN_LATE_IMPORT(MoveFileExA, 12)
MVN_LATE_IMPORT(OpenSCManagerA, 12)
MVN_LATE_IMPORT(CreateServiceA, 52)
MVN_LATE_IMPORT(OpenServiceA, 12)
MVN_LATE_IMPORT(StartServiceA, 12)
MVN_LATE_IMPORT(CloseServiceHandle, 4)
MVN_LATE_IMPORT(QueryServiceConfigA, 16)
MVN_LATE_IMPORT(ChangeServiceConfigA, 44)
MVN_LATE_IMPORT(QueryServiceStatus, 8)
MVN_LATE_IMPORT(GetFileSecurityA, 20)
MVN_LATE_IMPORT(OpenProcessToken, 12)
MVN_LATE_IMPORT(GetTokenInformation, 20)

namespace {

struct LateImport {
  const char* library;
  const char* name;
  void* slot;  // the function pointer to fill
};

#define MVN_LATE_IMPORT_ENTRY(library, function) \
  { library, #function, &function##Slot }
const LateImport kLateImports[] = {
    MVN_LATE_IMPORT_ENTRY(kKernel32, MoveFileExA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, OpenSCManagerA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, CreateServiceA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, OpenServiceA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, StartServiceA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, CloseServiceHandle),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, QueryServiceConfigA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, ChangeServiceConfigA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, QueryServiceStatus),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, GetFileSecurityA),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, OpenProcessToken),
    MVN_LATE_IMPORT_ENTRY(kAdvapi32, GetTokenInformation),
};

// Run with the program's static constructors, before any of its own code: each slot whose
// function the system exports gets it; the others keep their stand-in. Both libraries are
// loaded already (the program imports other functions from them); the load only counts.
__attribute__((constructor)) void ResolveLateImports() {
  for (const LateImport& entry : kLateImports) {
    HMODULE module = ::LoadLibraryA(entry.library);
    FARPROC system = module == nullptr ? nullptr : ::GetProcAddress(module, entry.name);
    if (system != nullptr) std::memcpy(entry.slot, &system, sizeof system);
  }
}

ULONGLONG WINAPI ResolveTickCount64() {
  using Fn = ULONGLONG(WINAPI*)();
  HMODULE kernel32 = ::GetModuleHandleA(kKernel32);
  auto system = kernel32 == nullptr ? nullptr
                                    : reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                          ::GetProcAddress(kernel32, "GetTickCount64")));
  TickCount64Slot = system != nullptr ? system : TickCountWithoutTheSystem;
  return TickCount64Slot();
}

}  // namespace
