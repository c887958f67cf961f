// Keeps the programs loadable on Windows XP and on the 9x family (Windows 98 SE and Me). An
// import the system does not export stops a program from loading at all, before any of its
// code runs. XpCompat.cpp, compiled into each program that links an os library, takes the
// place of such imports and finds the system's function at the first call:
//   - GetTickCount64 (Vista and later), which the C++ run-time's thread library calls;
//   - MoveFileExA, the service control manager's calls and the security calls that tell who
//     may change a file (GetFileSecurityA, OpenProcessToken, GetTokenInformation), which the
//     NT family has and the 9x family documents as unsupported. There a call fails with ERROR_CALL_NOT_IMPLEMENTED, as
//     the system's own stubs answer, so the callers' 9x paths (a plain move; no service) hold
//     whether or not the system exports the name.
#pragma once

#include <cstdint>

namespace os {

// The stand-in used where the system has no GetTickCount64: GetTickCount's 32-bit count, given
// as `now`, carried past its wrap every 49.7 days.
std::uint64_t CarryTickCount(std::uint32_t now);

}  // namespace os
