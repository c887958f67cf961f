// CPUID of the real build: the instruction itself.
#include <cpuid.h>

#include "os/win32/WinApi.h"

namespace os {

void ProcessorCpuid(Dword leaf, Dword regs[4]) {
  unsigned eax, ebx, ecx, edx;
  __cpuid(leaf, eax, ebx, ecx, edx);
  regs[0] = eax;
  regs[1] = ebx;
  regs[2] = ecx;
  regs[3] = edx;
}

}  // namespace os
