// CPUID of the simulated build: the answers of an Athlon 64 of revision E (family 15), so
// the program that drives the simulated northbridge runs on any x86 host.
#include "os/win32/WinApi.h"

namespace os {

void ProcessorCpuid(Dword leaf, Dword regs[4]) {
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
  switch (leaf) {
    case 0:  // highest standard leaf, then the vendor "AuthenticAMD" in EBX, EDX, ECX
      regs[0] = 1;
      regs[1] = 0x68747541;  // "Auth"
      regs[3] = 0x69746E65;  // "enti"
      regs[2] = 0x444D4163;  // "cAMD"
      break;
    case 1:  // family 0xF, extended model 2, model 0xF, stepping 0; SSE3; the K8 features
      regs[0] = 0x00020FF0;
      regs[1] = 0x00000800;  // CLFLUSH line 8 quadwords, one logical processor, APIC id 0
      regs[2] = 0x00000001;
      regs[3] = 0x078BFBFF;
      break;
    default:  // the program asks for no other leaf
      break;
  }
}

}  // namespace os
