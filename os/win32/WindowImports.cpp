// The window libraries (user32 and gdi32) are not imported: each function of WindowImports.h
// is found at its first call. A silent apply at log-on shows no window, and these libraries,
// with what they bring in (on Wine the display connection), cost more than its hardware
// traffic. Only a window or a message box loads them now.
//
// How: the code calls every imported function through its import slot (`__imp_` + the
// function's symbol), which this file defines in place of the import library's, so the
// linker takes no import. Each slot starts out pointing at a five-byte stub, `call`
// into a common entry that saves the argument registers, finds the function
// (LoadLibraryA and GetProcAddress, which every Windows from 95 has), stores it in the slot
// and jumps to it with the caller's arguments and return address untouched. From then on the
// call goes straight to the system. A function the system lacks ends the program with a clear
// message, never a crash. The program runs its windows on one thread; two threads resolving
// one slot at once would store the same address.
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

#define MVN_WINDOW_IMPORT32(library, function, argumentBytes) \
  MVN_WINDOW_IMPORT(library, function, argumentBytes)
#if defined(_WIN64)
#undef MVN_WINDOW_IMPORT32
#define MVN_WINDOW_IMPORT32(library, function, argumentBytes)
#define MVN_WINDOW_IMPORT64(library, function, argumentBytes) \
  MVN_WINDOW_IMPORT(library, function, argumentBytes)
#define MVN_SLOT(function, argumentBytes) "__imp_" #function
#define MVN_POINTER_BYTES "8"
#else
#define MVN_WINDOW_IMPORT64(library, function, argumentBytes)
#define MVN_SLOT(function, argumentBytes) "__imp__" #function "@" #argumentBytes
#define MVN_POINTER_BYTES "4"
#endif

// Each entry's argument bytes, checked against the system's declaration (i686 only: the
// x86_64 symbols carry no decoration).
#define MVN_WINDOW_IMPORT(library, function, argumentBytes)                         \
  static_assert(sizeof(void*) == 8 ||                                               \
                Stdcall<decltype(&::function)>::kArgumentBytes == (argumentBytes));
#include "os/win32/WindowImports.h"
#undef MVN_WINDOW_IMPORT

// The stubs, one `call` (5 bytes) each in list order, and the common entry. The stub's return
// address tells which function was called; the entry takes it off the stack, so the stack is
// again as the caller left it.
__asm__(
    ".text\n"
    "mvn_window_stubs:\n"
#define MVN_WINDOW_IMPORT(library, function, argumentBytes) "  call mvn_window_complete\n"
#include "os/win32/WindowImports.h"
#undef MVN_WINDOW_IMPORT
    "mvn_window_complete:\n"
#if defined(_WIN64)
    // Arguments in rcx, rdx, r8 and r9 (more on the stack, where they stay); 32 bytes of home
    // space and 8 of alignment for the call, which then starts 8 bytes off 16 as it must.
    "  popq %rax\n"
    "  pushq %rcx\n"
    "  pushq %rdx\n"
    "  pushq %r8\n"
    "  pushq %r9\n"
    "  subq $40, %rsp\n"
    "  movq %rax, %rcx\n"
    "  call mvn_resolve_window_import\n"
    "  addq $40, %rsp\n"
    "  popq %r9\n"
    "  popq %r8\n"
    "  popq %rdx\n"
    "  popq %rcx\n"
    "  jmp *%rax\n"
#else
    // Arguments on the stack; ecx and edx are kept for callers that pass something in them.
    "  popl %eax\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  pushl %eax\n"
    "  call mvn_resolve_window_import\n"
    "  addl $4, %esp\n"
    "  popl %edx\n"
    "  popl %ecx\n"
    "  jmp *%eax\n"
#endif
    // The slots, in list order, zero in the image (they take no room in the file) until
    // PointSlotsAtStubs runs.
    ".bss\n"
    ".p2align 3\n"
    "mvn_window_slots:\n"
#define MVN_WINDOW_IMPORT(library, function, argumentBytes)                        \
  ".globl " MVN_SLOT(function, argumentBytes) "\n" MVN_SLOT(function, argumentBytes) \
  ": .space " MVN_POINTER_BYTES "\n"
#include "os/win32/WindowImports.h"
#undef MVN_WINDOW_IMPORT
    "mvn_window_slots_end:\n"
    ".text\n");

namespace {

constexpr std::ptrdiff_t kStubBytes = 5;

// Each function's name behind its library's letter, in list order.
constexpr char kNames[] =
#define MVN_WINDOW_IMPORT(library, function, argumentBytes) #library #function "\0"
#include "os/win32/WindowImports.h"
#undef MVN_WINDOW_IMPORT
    "";

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
extern const unsigned char windowStubs[] __asm__("mvn_window_stubs");
extern const unsigned char* windowSlots[] __asm__("mvn_window_slots");
extern const unsigned char* windowSlotsEnd[] __asm__("mvn_window_slots_end");

// Called by the common entry with the stub's return address; answers the function to jump to.
void* ResolveWindowImport(const unsigned char* afterStub) __asm__("mvn_resolve_window_import");
__attribute__((used)) void* ResolveWindowImport(const unsigned char* afterStub) {
  const unsigned char*& slot = windowSlots[(afterStub - windowStubs) / kStubBytes - 1];
  // A caller that kept the slot's first value reaches the stub again later: the slot knows.
  if (slot != afterStub - kStubBytes) return const_cast<unsigned char*>(slot);
  const char* entry = kNames;
  for (auto* skipped = windowSlots; skipped != &slot; ++skipped) entry += std::strlen(entry) + 1;
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

namespace {

// Run before any other static constructor of the program, so before anything can call a
// window function: each slot gets its stub.
__attribute__((constructor(101))) void PointSlotsAtStubs() {
  const unsigned char* stub = windowStubs;
  for (auto* slot = windowSlots; slot != windowSlotsEnd; ++slot, stub += kStubBytes) *slot = stub;
}

}  // namespace
