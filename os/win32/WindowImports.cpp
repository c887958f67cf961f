// The window libraries (user32 and gdi32) are not imported: each function of WindowImports.h
// is found at its first call. A silent apply at log-on shows no window, and these libraries,
// with what they bring in (on Wine the display connection), cost more than its hardware
// traffic. Only a window or a message box loads them now.
//
// How: the code calls every imported function through its import slot (`__imp_` + the
// function's symbol), which this file defines in place of the import library's, so the
// linker takes no import (WindowImportStubs.h). The first call of each goes to the resolver
// below, which finds the function with LoadLibraryA and GetProcAddress (every Windows from 95
// has them) and stores it in the slot. A function the system lacks ends the program with a
// clear message, never a crash. The program runs its windows on one thread; two threads
// resolving one slot at once would store the same address.
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace {

template <typename Fn>
struct Stdcall;

// What a stdcall function's decorated name counts: its arguments, each at least 4 bytes.
template <typename R, typename... A>
struct Stdcall<R(WINAPI*)(A...)> {
  static constexpr unsigned kArgumentBytes = (((sizeof(A) + 3) / 4 * 4) + ... + 0u);
};

}  // namespace

#define MVN_WINDOW_IMPORT_LIST "os/win32/WindowImports.h"
#if defined(_WIN64)
#define MVN_WINDOW_SLOT(function, argumentBytes) "__imp_" #function
#else
#define MVN_WINDOW_SLOT(function, argumentBytes) "__imp__" #function "@" #argumentBytes
#endif
#include "os/win32/WindowImportStubs.h"

// Each entry's argument bytes, checked against the system's declaration (i686 only: the
// x86_64 symbols carry no decoration).
#define MVN_WINDOW_IMPORT(library, function, argumentBytes)                         \
  static_assert(sizeof(void*) == 8 ||                                               \
                Stdcall<decltype(&::function)>::kArgumentBytes == (argumentBytes));
#include "os/win32/WindowImports.h"
#undef MVN_WINDOW_IMPORT

namespace {

// Where the system lacks a function: a box saying so where user32 has one to show, and the
// end of the process, never a jump to nowhere.
[[noreturn]] void FailWithout(HMODULE user32, const char* library, const char* function) {
  char text[160];
  char* end = text;
  for (const char* part : {"This version of Windows has no ", function, " in ", library, "."}) {
    while (*part != '\0') *end++ = *part++;
  }
  *end = '\0';
  using Box = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
  auto box = user32 == nullptr ? nullptr
                               : reinterpret_cast<Box>(reinterpret_cast<void*>(
                                     ::GetProcAddress(user32, "MessageBoxA")));
  if (box != nullptr) box(nullptr, text, "Morvane", MB_OK | MB_ICONHAND);
  ::ExitProcess(1);
}

}  // namespace

extern "C" {
// Called by the common entry with the stub's return address; answers the function to jump to.
void* ResolveWindowImport(const unsigned char* afterStub) __asm__("mvn_resolve_window_import");
__attribute__((used)) void* ResolveWindowImport(const unsigned char* afterStub) {
  using namespace window_imports;
  const unsigned char*& slot = SlotAfter(afterStub);
  // A caller that kept the slot's first value reaches the stub again later: the slot knows.
  if (!StillUnresolved(slot, afterStub)) return const_cast<unsigned char*>(slot);
  const char* entry = EntryOf(slot);
  // Loaded once each; they stay until the process ends.
  static HMODULE modules[2];
  bool gdi32 = entry[0] == 'G';
  const char* library = gdi32 ? "gdi32.dll" : "user32.dll";
  if (modules[gdi32] == nullptr) modules[gdi32] = ::LoadLibraryA(library);
  FARPROC function = modules[gdi32] != nullptr ? ::GetProcAddress(modules[gdi32], entry + 1)
                                               : nullptr;
  if (function == nullptr) FailWithout(::LoadLibraryA("user32.dll"), library, entry + 1);
  slot = reinterpret_cast<const unsigned char*>(function);
  return reinterpret_cast<void*>(function);
}
}
