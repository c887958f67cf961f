// The VxD loader's rules, checked on an LE file as it lies on disk: what the loader of
// Windows 98 and Me takes from a dynamically loadable VxD, as far as the public descriptions
// of the LE format and of the loader say, and nothing of what the VxD does once loaded (the
// harness tests/vxd/VxdHarness.c calls its control procedure for that).
#pragma once

#include <string>
#include <vector>

#include "tools/LeWriter.h"

namespace le {

// The DDK versions a descriptor block may name: from 4.0 (Windows 95, the first with the
// Win32 open of a VxD and W32_DeviceIoControl) to 4.10 (Windows 98, the oldest system this
// VxD is for; a block built for a newer DDK than the system's may need what it lacks).
inline constexpr std::uint32_t kOldestDdkVersion = 0x0400;
inline constexpr std::uint32_t kNewestDdkVersion = 0x040A;

struct RulesReport {
  std::vector<std::string> faults;  // one sentence each; empty when every rule holds
  std::string summary;              // what was found, for the log of a file that passes
};

// Checks every rule; never reads outside `file`, whatever it holds.
RulesReport CheckLoaderRules(ByteView file);

}  // namespace le
