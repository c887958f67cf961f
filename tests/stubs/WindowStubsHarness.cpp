// The stubs of the functions the programs find at their first call
// (os/win32/WindowImportStubs.h), run as the machine runs them: built as a Linux program for
// i386 (gcc -m32, run natively or under qemu-i386) and for x86_64 (with the Windows x64 calling
// convention), over a list of its own functions. Checks that each slot starts at its stub, that
// the first call of each function reaches the resolver once with the right name and then the
// function with every argument (on the stack, and in the registers that carry arguments:
// ecx and edx on i386, rcx, rdx, r8 and r9 on x86_64) and leaves the stack as a direct call
// would, that later calls go straight to the function, and that a caller that kept a slot's
// first value still gets there. Prints one line per check; exits 1 on any failure.
#include <cstdio>
#include <cstring>

#if defined(__x86_64__)
#define MVN_API __attribute__((ms_abi))
#define MVN_REGISTERS_API __attribute__((ms_abi))
#else
#define MVN_API __attribute__((stdcall))
#define MVN_REGISTERS_API __attribute__((fastcall))
#endif

#define MVN_WINDOW_IMPORT_LIST "tests/stubs/WindowStubsList.h"
#define MVN_WINDOW_SLOT(function, argumentBytes) "mvn_slot_" #function
#include "os/win32/WindowImportStubs.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++failures;
}

int MVN_API Nothing() {
  return 42;
}
int MVN_API Pair(int a, int b) {
  return a * 1000 + b;
}
int MVN_API Twelve(int a, int b, int c, int d, int e, int f, int g, int h, int i, int j, int k,
                   int l) {
  return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i + 10 * j + 11 * k +
         12 * l;
}
// i386: the first two arguments in ecx and edx, the others on the stack; x86_64: all four in
// rcx, rdx, r8 and r9.
int MVN_REGISTERS_API Registers(int a, int b, int c, int d) {
  return ((a * 10 + b) * 10 + c) * 10 + d;
}
int MVN_API OnlyOneWidth(int a) {
  return -a;
}
int MVN_API Last(int a) {
  return a + 1;
}

struct Known {
  const char* entry;  // library letter and name, as kNames holds it
  void* function;
};
const Known kKnown[] = {
    {"UNothing", reinterpret_cast<void*>(&Nothing)},
    {"GPair", reinterpret_cast<void*>(&Pair)},
    {"UTwelve", reinterpret_cast<void*>(&Twelve)},
    {"GRegisters", reinterpret_cast<void*>(&Registers)},
    {"UOnlyNarrow", reinterpret_cast<void*>(&OnlyOneWidth)},
    {"UOnlyWide", reinterpret_cast<void*>(&OnlyOneWidth)},
    {"ULast", reinterpret_cast<void*>(&Last)},
};

char resolved[256];  // the entries resolved, in order, separated by blanks
int fastPaths = 0;
int misaligned = 0;

// What a system's resolver may do: overwrite every register the convention lets it.
void Scramble() {
#if defined(__x86_64__)
  __asm__ volatile("movq $-1, %%rcx\n movq $-1, %%rdx\n movq $-1, %%r8\n movq $-1, %%r9\n"
                   "movq $-1, %%r10\n movq $-1, %%r11"
                   :
                   :
                   : "rcx", "rdx", "r8", "r9", "r10", "r11");
#else
  __asm__ volatile("movl $-1, %%ecx\n movl $-1, %%edx" : : : "ecx", "edx");
#endif
}

}  // namespace

extern "C" {
#if defined(__x86_64__)
__attribute__((ms_abi))
#endif
void* ResolveWindowImport(const unsigned char* afterStub) __asm__("mvn_resolve_window_import");

#if defined(__x86_64__)
__attribute__((ms_abi))
#endif
__attribute__((used)) void* ResolveWindowImport(const unsigned char* afterStub) {
  using namespace window_imports;
#if defined(__x86_64__)
  // The convention's stack alignment: 16 bytes at the call, so the frame is aligned here.
  if ((reinterpret_cast<unsigned long>(__builtin_frame_address(0)) & 15) != 0) ++misaligned;
#endif
  Scramble();
  const unsigned char*& slot = SlotAfter(afterStub);
  if (!StillUnresolved(slot, afterStub)) {
    ++fastPaths;
    return const_cast<unsigned char*>(slot);
  }
  const char* entry = EntryOf(slot);
  std::strncat(resolved, entry, sizeof resolved - std::strlen(resolved) - 2);
  std::strcat(resolved, " ");
  for (const Known& known : kKnown) {
    if (std::strcmp(known.entry, entry) == 0) {
      slot = static_cast<const unsigned char*>(known.function);
      return known.function;
    }
  }
  return nullptr;  // a crash the harness reports by its exit
}

// The slots, as the programs' code calls them.
extern int(MVN_API* slotNothing)() __asm__("mvn_slot_Nothing");
extern int(MVN_API* slotPair)(int, int) __asm__("mvn_slot_Pair");
extern int(MVN_API* slotTwelve)(int, int, int, int, int, int, int, int, int, int, int,
                                int) __asm__("mvn_slot_Twelve");
extern int(MVN_REGISTERS_API* slotRegisters)(int, int, int, int) __asm__("mvn_slot_Registers");
#if defined(__x86_64__)
extern int(MVN_API* slotOnlyOneWidth)(int) __asm__("mvn_slot_OnlyWide");
#else
extern int(MVN_API* slotOnlyOneWidth)(int) __asm__("mvn_slot_OnlyNarrow");
#endif
extern int(MVN_API* slotLast)(int) __asm__("mvn_slot_Last");
}

int main() {
  using namespace window_imports;
  const int slots = static_cast<int>(windowSlotsEnd - windowSlots);
  Check(slots == 6, "one slot per entry of this width");
  bool atStubs = true;
  for (int i = 0; i < slots; ++i) atStubs = atStubs && windowSlots[i] == windowStubs + 5 * i;
  Check(atStubs, "every slot starts at its own stub");

  // A pointer taken before the first call: the stub, whatever the slot holds later.
  auto early = slotPair;
  Check(slotLast(41) == 42, "the last entry: argument and result");
  Check(slotPair(3, 4) == 3004, "two arguments on the stack, in order");
  Check(slotPair == &Pair, "the slot holds the function after its first call");
  Check(early(5, 6) == 5006 && fastPaths == 1, "a kept stub reaches the function again");
  Check(slotNothing() == 42, "no arguments");
  Check(slotRegisters(1, 2, 3, 4) == 1234, "arguments in the argument registers");
  Check(slotOnlyOneWidth(9) == -9, "an entry of this width only");

  // Twelve arguments, many times over, with the caller's own stack data around the calls: a
  // stub that moved the stack pointer would shift or overwrite it.
  volatile int canary[8] = {11, 22, 33, 44, 55, 66, 77, 88};
  bool same = true;
  for (int round = 0; round < 1000; ++round) {
    same = same && slotTwelve(round, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12) ==
                       round + 2 * 2 + 3 * 3 + 4 * 4 + 5 * 5 + 6 * 6 + 7 * 7 + 8 * 8 + 9 * 9 +
                           10 * 10 + 11 * 11 + 12 * 12;
  }
  bool intact = true;
  for (int i = 0; i < 8; ++i) intact = intact && canary[i] == 11 * (i + 1);
  Check(same, "twelve arguments, 1000 calls");
  Check(intact, "the caller's stack data is intact");

#if defined(__x86_64__)
  const char* order = "ULast GPair UNothing GRegisters UOnlyWide UTwelve ";
#else
  const char* order = "ULast GPair UNothing GRegisters UOnlyNarrow UTwelve ";
#endif
  Check(misaligned == 0, "the resolver is called with the stack aligned as the convention says");
  Check(std::strcmp(resolved, order) == 0, "each function resolved once, by its own name");
  if (std::strcmp(resolved, order) != 0) std::printf("  resolved: %s\n", resolved);
  return failures == 0 ? 0 : 1;
}
