// The register groups against the simulated chip through the real driver loader: power-on
// values, group order, one open and close per register, write-back shown by the read-back,
// and the driver given up for good after a failed open.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "regs/Groups.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"

namespace {

class Groups : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    for (PciRegister& reg : Registers) {
      reg.value = 0x5A5A5A5Au;
      reg.readable = false;
    }
  }
  void TearDown() override {
    delete DeviceDriver;
    DeviceDriver = nullptr;
    for (PciRegister& reg : Registers) {
      reg.value = 0;
      reg.readable = false;
    }
    DriverFixture::TearDown();
  }

  void StartDriver() {
    int ok = 0;
    DeviceDriver = Initialized(&ok).release();
    ASSERT_EQ(ok, 1);
    win.machine.requests.clear();
  }

  // The configuration addresses the program selected, in order (restores left out).
  std::vector<std::uint32_t> SelectedAddresses() const {
    std::vector<std::uint32_t> addresses;
    for (const auto& r : win.machine.requests) {
      if (r.code == MVN_IOCTL_WRITE_PORT && r.port == 0xCF8 && (r.value & 0x80000000u) != 0) {
        addresses.push_back(r.value);
      }
    }
    return addresses;
  }

  static std::uint32_t Value(int function, int offset) {
    for (const PciRegister& reg : Registers) {
      if (reg.function == function && reg.offset == offset) return reg.value;
    }
    ADD_FAILURE() << "no register " << function << ":" << offset;
    return 0;
  }
};

TEST_F(Groups, ReadingBothGroupsGivesThePowerOnValues) {
  StartDriver();
  ReadDramGroup();
  ReadLinkGroup();
  EXPECT_EQ(Value(2, 0x88), 0x13723335u);
  EXPECT_EQ(Value(2, 0x8C), 0x00000B31u);
  EXPECT_EQ(Value(2, 0x90), 0x38058E80u);
  EXPECT_EQ(Value(2, 0x94), 0x3E7B0707u);
  EXPECT_EQ(Value(0, 0x84), 0x11110020u);
  EXPECT_EQ(Value(0, 0x88), 0x80750622u);
  EXPECT_EQ(Value(0, 0x90), 0x01610169u);
  // One open and one close around each of the seven registers, four requests each.
  EXPECT_EQ(win.machine.deviceOpens, 7);
  EXPECT_EQ(win.machine.OpenDeviceCount(), 0);
  EXPECT_EQ(win.machine.requests.size(), 28u);
  EXPECT_EQ(SelectedAddresses(),
            (std::vector<std::uint32_t>{0x8000C288u, 0x8000C28Cu, 0x8000C290u, 0x8000C294u,
                                        0x8000C088u, 0x8000C084u, 0x8000C090u}));
}

TEST_F(Groups, WritingAnUnchangedGroupWritesEveryRegisterAndReadsItBack) {
  StartDriver();
  ReadDramGroup();
  ReadLinkGroup();
  win.machine.requests.clear();
  WriteDramGroup();
  WriteLinkGroup();
  EXPECT_EQ(win.machine.RequestCount(MVN_IOCTL_READ_PORT), 7 * 1 + 7 * 2);
  EXPECT_EQ(win.machine.requests.size(), 7u * 4 * 2);
  EXPECT_EQ(
      SelectedAddresses(),
      (std::vector<std::uint32_t>{0x8000C288u, 0x8000C28Cu, 0x8000C290u, 0x8000C294u, 0x8000C288u,
                                  0x8000C28Cu, 0x8000C290u, 0x8000C294u, 0x8000C088u, 0x8000C084u,
                                  0x8000C090u, 0x8000C088u, 0x8000C084u, 0x8000C090u}));
  EXPECT_EQ(Value(2, 0x90), 0x38058E80u);
  EXPECT_EQ(Value(0, 0x84), 0x11110020u);
  EXPECT_EQ(SimNbDramCommandCount(), 0u);  // writing back what was read starts nothing
  EXPECT_EQ(win.machine.OpenDeviceCount(), 0);
}

TEST_F(Groups, ReadBackAfterAWriteShowsOnlyWhatTheChipTakes) {
  StartDriver();
  ReadDramGroup();
  ReadLinkGroup();
  for (PciRegister* reg : LinkGroup) {
    if (reg->offset == 0x84) reg->value = (reg->value & ~0x07700000u) | 0x03300000u;
    if (reg->offset == 0x88) reg->value = (reg->value & ~0xF00u) | 0x500u;
  }
  for (PciRegister* reg : DramGroup) {
    if (reg->offset == 0x88) reg->value |= 0x8u;  // reserved
    if (reg->offset == 0x8C) reg->value = (reg->value & ~0x1F00u) | 0x1200u;
  }
  WriteDramGroup();
  WriteLinkGroup();
  // Width in and frequency take; the field called "Width Out" is the read-only maximum.
  EXPECT_EQ(Value(0, 0x84), 0x13110020u);
  EXPECT_EQ(Value(0, 0x88), 0x80750522u);
  EXPECT_EQ(Value(2, 0x88), 0x13723335u);
  EXPECT_EQ(Value(2, 0x8C), 0x00001231u);
  EXPECT_EQ(SimNbConfigRead(0, 0x84), 0x13110020u);
}

TEST_F(Groups, WithoutADriverReadsGiveZeroAndWritesDoNothing) {
  ReadDramGroup();
  ReadLinkGroup();
  for (const PciRegister& reg : Registers) EXPECT_EQ(reg.value, 0u) << reg.name;
  for (const PciRegister& reg : Registers) EXPECT_FALSE(reg.readable) << reg.name;
  EXPECT_FALSE(RegistersWritable());
  for (PciRegister& reg : Registers) reg.value = 0xFFFFFFFFu;
  EXPECT_FALSE(WriteDramGroup());
  EXPECT_FALSE(WriteLinkGroup());
  EXPECT_TRUE(win.calls.empty());
  // Nothing unread is written, so nothing is read back either.
  for (const PciRegister& reg : Registers) EXPECT_EQ(reg.value, 0xFFFFFFFFu) << reg.name;
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13723335u);
}

TEST_F(Groups, AFailedOpenDiscardsTheDriverForGood) {
  StartDriver();
  const int opens = win.CallCount("CreateFileA");
  win.machine.deviceAccessDenied = true;
  ReadDramGroup();
  EXPECT_EQ(DeviceDriver, nullptr);
  for (PciRegister* reg : DramGroup) EXPECT_EQ(reg->value, 0u);
  EXPECT_EQ(win.CallCount("CreateFileA"), opens + 1);  // only the first register tried
  EXPECT_EQ(win.CallCount("OpenSCManagerA"), 1);       // Initialize's, no re-install on 5

  // Access allowed again: the driver stays gone, nothing reaches the device.
  win.machine.deviceAccessDenied = false;
  ReadLinkGroup();
  WriteDramGroup();
  for (PciRegister* reg : LinkGroup) EXPECT_EQ(reg->value, 0u);
  EXPECT_EQ(win.CallCount("CreateFileA"), opens + 1);
  EXPECT_EQ(win.machine.deviceOpens, 0);
  EXPECT_TRUE(win.machine.requests.empty());
}

TEST_F(Groups, WriteWhoseOpenFailsWritesNothing) {
  StartDriver();
  win.machine.RemoveService("cpuz");
  win.machine.administrator = false;  // the re-install cannot happen
  for (PciRegister& reg : Registers) {
    reg.value = 0;
    reg.readable = true;  // as after a good read
  }
  WriteDramGroup();
  EXPECT_EQ(DeviceDriver, nullptr);
  EXPECT_TRUE(win.machine.requests.empty());
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13723335u);
}

TEST_F(Groups, AFailedConfigurationReadShowsAllOnes) {
  StartDriver();
  win.FailCall("DeviceIoControl", os::kErrorGenFailure, 2);  // the first register's data read
  ReadDramGroup();
  EXPECT_EQ(Value(2, 0x88), 0xFFFFFFFFu);
  EXPECT_EQ(Value(2, 0x8C), 0x00000B31u);
  EXPECT_NE(DeviceDriver, nullptr);  // a failed request is no failed open
  EXPECT_EQ(win.machine.OpenDeviceCount(), 0);
}

TEST_F(Groups, OnlyRegistersWhoseLastReadSucceededAreWritten) {
  StartDriver();
  struct Case {
    const char* what;
    std::function<void()> inject;
  };
  const Case cases[] = {
      {"refused data read", [&] { win.FailCall("DeviceIoControl", os::kErrorAccessDenied, 6); }},
      {"failed address save", [&] { win.FailCall("DeviceIoControl", os::kErrorGenFailure, 4); }},
      {"no function answers", [&] { win.machine.failConfigAt = win.machine.configAccesses + 1; }},
      {"all ones", [&] { win.machine.allOnesReadAt = win.machine.configAccesses + 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadDramGroup();
    ReadLinkGroup();
    ASSERT_TRUE(RegistersWritable());
    c.inject();
    ReadDramGroup();  // the second register's read is spoilt
    EXPECT_TRUE(DramGroup[0]->readable);
    EXPECT_FALSE(DramGroup[1]->readable);
    EXPECT_FALSE(RegistersWritable());
    const std::uint32_t writes = SimNbWriteCount();
    EXPECT_FALSE(WriteDramGroup());
    EXPECT_TRUE(WriteLinkGroup());  // the other group is whole
    EXPECT_EQ(SimNbWriteCount(), writes + 3);
    EXPECT_FALSE(WriteRegister(*DramGroup[1]));
    EXPECT_EQ(SimNbWriteCount(), writes + 3);
    // A good read makes it writable again.
    ReadDramGroup();
    EXPECT_TRUE(RegistersWritable());
    EXPECT_TRUE(WriteDramGroup());
    EXPECT_EQ(SimNbWriteCount(), writes + 7);
  }
  EXPECT_EQ(SimNbConfigRead(2, 0x8C), 0x00000B31u);
}

TEST_F(Groups, DeviceThatVanishedIsReinstalledOnTheNextAccess) {
  StartDriver();
  win.machine.RemoveService("cpuz");
  ReadLinkGroup();
  EXPECT_EQ(Value(0, 0x88), 0x80750622u);
  EXPECT_NE(DeviceDriver, nullptr);
  ASSERT_NE(Service(), nullptr);
  EXPECT_TRUE(Service()->running);
}

TEST_F(Groups, On9xEveryAccessLoadsAndUnloadsTheVxd) {
  win.machine.SetPlatform(sim::Platform::Windows9x);
  StartDriver();
  ReadDramGroup();
  ReadLinkGroup();
  EXPECT_EQ(Value(2, 0x94), 0x3E7B0707u);
  EXPECT_EQ(Value(0, 0x90), 0x01610169u);
  EXPECT_EQ(win.machine.vxdLoads, 7);
  EXPECT_EQ(win.machine.vxdUnloads, 7);
  for (PciRegister* reg : DramGroup) {
    if (reg->offset == 0x94) reg->value = 0x3E7B0606u;
  }
  WriteDramGroup();
  EXPECT_EQ(Value(2, 0x94), 0x3E7B0606u);
  EXPECT_EQ(win.machine.vxdLoads, 15);
  EXPECT_EQ(win.CallCount("DeviceIoControl"), 0);
}

}  // namespace
