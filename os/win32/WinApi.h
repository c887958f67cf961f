// The real Windows behind the seam: every operation of os::Api forwarded to the system call
// of the same name.
#pragma once

#include "os/Api.h"

namespace os {

// The one real implementation; the program installs it at entry.
Api& RealWindows();

// The processor's answer to CPUID: the instruction itself, or (in the simulated build) the
// answer of an Athlon 64. Linked from the morvane_os_win32 or morvane_os_win32_sim library.
void ProcessorCpuid(Dword leaf, Dword regs[4]);

}  // namespace os
