// Tests of the simulated build's processor answer, run under Wine: an Athlon 64 of family 15
// whatever the host is.
#include <gtest/gtest.h>

#include <cstring>

#include "os/win32/WinApi.h"

namespace {

TEST(SimulatedCpuid, AnswersAsAnAthlon64) {
  os::Dword regs[4] = {};
  os::RealWindows().Cpuid(0, regs);
  EXPECT_EQ(regs[0], 1u);
  char vendor[13] = {};
  std::memcpy(vendor, &regs[1], 4);
  std::memcpy(vendor + 4, &regs[3], 4);
  std::memcpy(vendor + 8, &regs[2], 4);
  EXPECT_STREQ(vendor, "AuthenticAMD");

  os::RealWindows().Cpuid(1, regs);
  EXPECT_EQ((regs[0] >> 8) & 0xF, 15u);
  EXPECT_EQ((regs[0] >> 20) & 0xFF, 0u);  // no extended family: a K8, not a later part
  EXPECT_EQ(regs[0], 0x00020FF0u);
  EXPECT_LT((regs[0] >> 16) & 0xF, 4u);  // extended model 2: revision E, the DDR controller
  EXPECT_NE(regs[3] & (1u << 4), 0u);  // the time-stamp counter, as on every K8

  os::RealWindows().Cpuid(0x80000008u, regs);
  EXPECT_EQ(regs[0] | regs[1] | regs[2] | regs[3], 0u);
}

}  // namespace
