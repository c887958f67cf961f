// The machinery behind functions found at their first call (WindowImports.cpp): the stubs, the
// common entry, the slots and the names, made from a list of entries
//   MVN_WINDOW_IMPORT(library letter, function, argument bytes)
// (with MVN_WINDOW_IMPORT32 and MVN_WINDOW_IMPORT64 for one width only). Before including
// this file, define MVN_WINDOW_IMPORT_LIST (the list's header, as an include name) and
// MVN_WINDOW_SLOT(function, argumentBytes) (the slot's symbol, a string); include it in one
// file only. The includer defines the resolver, `mvn_resolve_window_import`, which gets the
// stub's return address (the first argument of the platform's C convention: on the stack on
// i386, in rcx under the Windows x64 convention) and answers the function to jump to.
//
// Each slot starts out pointing at its five-byte stub, a `call` into the common entry, which
// saves the argument registers, calls the resolver and jumps to its answer with the caller's
// arguments and return address untouched, as if the caller had called the function itself.
// The resolver stores the function in the slot, so that later calls go straight to it.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__x86_64__)
#define MVN_WINDOW_IMPORT32(library, function, argumentBytes)
#define MVN_WINDOW_IMPORT64(library, function, argumentBytes) \
  MVN_WINDOW_IMPORT(library, function, argumentBytes)
#define MVN_WINDOW_POINTER_BYTES "8"
#else
#define MVN_WINDOW_IMPORT32(library, function, argumentBytes) \
  MVN_WINDOW_IMPORT(library, function, argumentBytes)
#define MVN_WINDOW_IMPORT64(library, function, argumentBytes)
#define MVN_WINDOW_POINTER_BYTES "4"
#endif

// The stubs, one `call` (5 bytes) each in list order, and the common entry. The stub's return
// address tells which function was called; the entry takes it off the stack, so the stack is
// again as the caller left it.
__asm__(
    ".text\n"
    "mvn_window_stubs:\n"
#define MVN_WINDOW_IMPORT(library, function, argumentBytes) "  call mvn_window_complete\n"
#include MVN_WINDOW_IMPORT_LIST
#undef MVN_WINDOW_IMPORT
    "mvn_window_complete:\n"
#if defined(__x86_64__)
    // Arguments in rcx, rdx, r8 and r9 (more on the stack, where they stay); 32 bytes of home
    // space and 8 of alignment for the call, which then starts 8 bytes off 16 as it must.
    // Floating-point arguments (xmm0 to xmm3) are not kept: no listed function takes one.
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
    // Arguments on the stack; ecx and edx are kept for functions that take arguments in them.
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
    // PointWindowSlotsAtStubs runs.
    ".bss\n"
    ".p2align 3\n"
    "mvn_window_slots:\n"
#define MVN_WINDOW_IMPORT(library, function, argumentBytes)                                      \
  ".globl " MVN_WINDOW_SLOT(function, argumentBytes) "\n" MVN_WINDOW_SLOT(function, argumentBytes) \
  ": .space " MVN_WINDOW_POINTER_BYTES "\n"
#include MVN_WINDOW_IMPORT_LIST
#undef MVN_WINDOW_IMPORT
    "mvn_window_slots_end:\n"
    ".text\n");

extern "C" {
extern const unsigned char windowStubs[] __asm__("mvn_window_stubs");
extern const unsigned char* windowSlots[] __asm__("mvn_window_slots");
extern const unsigned char* windowSlotsEnd[] __asm__("mvn_window_slots_end");
}

namespace window_imports {

constexpr std::ptrdiff_t kStubBytes = 5;

// Each function's name behind its library's letter, in list order.
constexpr char kNames[] =
#define MVN_WINDOW_IMPORT(library, function, argumentBytes) #library #function "\0"
#include MVN_WINDOW_IMPORT_LIST
#undef MVN_WINDOW_IMPORT
    "";

// The slot of the stub that returns to `afterStub`.
inline const unsigned char*& SlotAfter(const unsigned char* afterStub) {
  return windowSlots[(afterStub - windowStubs) / kStubBytes - 1];
}

// Whether the slot still holds its stub, the one that returns to `afterStub`.
inline bool StillUnresolved(const unsigned char* slot, const unsigned char* afterStub) {
  return slot == afterStub - kStubBytes;
}

// The slot's entry in kNames: its library's letter, then the function's name.
inline const char* EntryOf(const unsigned char* const& slot) {
  const char* entry = kNames;
  for (auto* skipped = windowSlots; skipped != &slot; ++skipped) entry += std::strlen(entry) + 1;
  return entry;
}

// Run before any other static constructor of the program, so before anything can call a
// listed function: each slot gets its stub.
__attribute__((constructor(101))) static void PointWindowSlotsAtStubs() {
  const unsigned char* stub = windowStubs;
  for (auto* slot = windowSlots; slot != windowSlotsEnd; ++slot, stub += kStubBytes) *slot = stub;
}

}  // namespace window_imports
