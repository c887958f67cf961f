// Keeps the programs loadable on Windows XP, whose kernel32 lacks GetTickCount64: the C++
// run-time's thread library (linked in statically) calls it, which would otherwise put it in
// every program's import table. XpCompat.cpp, compiled into each program that links an os
// library, takes that import's place and finds the system's function at the first call.
#pragma once

#include <cstdint>

namespace os {

// The stand-in used where the system has no GetTickCount64: GetTickCount's 32-bit count, given
// as `now`, carried past its wrap every 49.7 days.
std::uint64_t CarryTickCount(std::uint32_t now);

}  // namespace os
