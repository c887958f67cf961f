// Port I/O and PCI configuration access on both families: the address built from masked
// arguments, four port accesses per operation with the address port put back, byte lanes,
// refused unaligned writes, and no port touched without an open device or after a failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"

namespace {

TEST(PciConfigAddress, FieldsAreMaskedNotRefused) {
  EXPECT_EQ(PciConfigAddress(0, 0x18, 2, 0x88), 0x8000C288u);
  EXPECT_EQ(PciConfigAddress(0, 0x18, 0, 0x84), 0x8000C084u);
  EXPECT_EQ(PciConfigAddress(256, 0x3F, 9, 0x1FF), 0x8000F9FFu);
  EXPECT_EQ(PciConfigAddress(0x1FF, 0, 0, 0), 0x80FF0000u);
  EXPECT_EQ(PciConfigAddress(-1, -1, -1, -1), 0x80FFFFFFu);  // never into bits 30:24
}

class PciNt : public DriverFixture {
 protected:
  std::unique_ptr<CDeviceDriver> driver;

  void SetUp() override {
    DriverFixture::SetUp();
    driver = Initialized();
    ASSERT_EQ(driver->Open(), 1);
    win.machine.requests.clear();
  }

  // (code, port, value) of each request since the last clear.
  struct Step {
    os::Dword code;
    std::uint32_t port;
    std::uint32_t value;
  };
  std::vector<Step> Steps() const {
    std::vector<Step> steps;
    for (const auto& r : win.machine.requests) steps.push_back({r.code, r.port, r.value});
    return steps;
  }
  static void ExpectStep(const Step& s, os::Dword code, std::uint32_t port, std::uint32_t value) {
    EXPECT_EQ(s.code, code);
    EXPECT_EQ(s.port, port);
    EXPECT_EQ(s.value, value);
  }
};

TEST_F(PciNt, ReadIsFourRequestsAndPutsTheAddressPortBack) {
  SimNbOutDword(0xCF8, 0x00001234u);  // what the system left in the chip's own port
  ASSERT_EQ(driver->WritePortDword(0xCF8, 0x00005678u), 1);  // this handle's port
  win.machine.requests.clear();
  bool succeeded = false;
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 2, 0x88, &succeeded), 0x13723335u);
  EXPECT_TRUE(succeeded);
  auto steps = Steps();
  ASSERT_EQ(steps.size(), 4u);
  ExpectStep(steps[0], MVN_IOCTL_READ_PORT, 0xCF8, 0x00005678u);
  ExpectStep(steps[1], MVN_IOCTL_WRITE_PORT, 0xCF8, 0x8000C288u);
  ExpectStep(steps[2], MVN_IOCTL_READ_PORT, 0xCFC, 0x13723335u);
  ExpectStep(steps[3], MVN_IOCTL_WRITE_PORT, 0xCF8, 0x00005678u);
  // The driver emulates the address port: the chip's own was never touched.
  EXPECT_EQ(SimNbInDword(0xCF8), 0x00001234u);
}

TEST_F(PciNt, WriteIsFourRequestsAndPutsTheAddressPortBack) {
  EXPECT_EQ(driver->WritePciConfig(0, 0x18, 0, 0x90, 0x02510456u), 1);
  auto steps = Steps();
  ASSERT_EQ(steps.size(), 4u);
  ExpectStep(steps[0], MVN_IOCTL_READ_PORT, 0xCF8, 0);
  ExpectStep(steps[1], MVN_IOCTL_WRITE_PORT, 0xCF8, 0x8000C090u);
  ExpectStep(steps[2], MVN_IOCTL_WRITE_PORT, 0xCFC, 0x02510456u);
  ExpectStep(steps[3], MVN_IOCTL_WRITE_PORT, 0xCF8, 0);
  EXPECT_EQ(SimNbConfigRead(0, 0x90), 0x02510456u);
  EXPECT_EQ(SimNbInDword(0xCF8), 0u);
  std::uint32_t port = 1;
  EXPECT_EQ(driver->ReadPortDword(0xCF8, &port), 1);
  EXPECT_EQ(port, 0u);
}

TEST_F(PciNt, OffsetInsideADwordSelectsItsByteLane) {
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 2, 0x8A), 0x00001372u);
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 2, 0x89), 0x00137233u);
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 2, 0x8B), 0x00000013u);
  // The address port gets the dword's address, never the lane bits.
  EXPECT_EQ(Steps()[1].value, 0x8000C288u);
}

TEST_F(PciNt, UnalignedWriteIsRefusedBeforeAnyRequest) {
  for (int offset : {0x89, 0x8A, 0x8B}) {
    EXPECT_EQ(driver->WritePciConfig(0, 0x18, 2, offset, 0), 0);
  }
  EXPECT_TRUE(win.machine.requests.empty());
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13723335u);
}

TEST_F(PciNt, OutOfRangeArgumentsAreMasked) {
  // Bus 256, device 0x3F, function 9, offset 0x1FF: bus 0, device 0x1F, function 1, 0xFC,
  // where no function answers: the read fails rather than handing out filler.
  bool succeeded = true;
  EXPECT_EQ(driver->ReadPciConfig(256, 0x3F, 9, 0x1FF, &succeeded), 0xFFFFFFFFu);
  EXPECT_FALSE(succeeded);
  ASSERT_EQ(Steps().size(), 4u);
  EXPECT_EQ(Steps()[1].value, 0x8000F9FCu);
  EXPECT_FALSE(win.machine.requests[2].ok);
  // Bus 256 is bus 0: the chip's own register.
  EXPECT_EQ(driver->ReadPciConfig(256, 0x18, 2, 0x88), 0x13723335u);
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18 + 0x20, 2 + 8, 0x188), 0x13723335u);
}

TEST_F(PciNt, NothingHappensWithoutAnOpenDevice) {
  driver->Close();
  std::uint32_t value = 0x55;
  EXPECT_EQ(driver->ReadPortDword(0xCF8, &value), 0);
  EXPECT_EQ(value, 0x55u);  // left untouched
  EXPECT_EQ(driver->WritePortDword(0xCF8, 0), 0);
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 2, 0x88), 0xFFFFFFFFu);
  EXPECT_EQ(driver->WritePciConfig(0, 0x18, 2, 0x88, 0), 0);
  EXPECT_EQ(win.CallCount("DeviceIoControl"), 0);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13723335u);
}

TEST_F(PciNt, AFailedRequestEndsTheOperationAtOnce) {
  // Up to the data access a failure ends the operation; after the data access only the
  // address port is still put back, and its failure no longer spoils the access itself.
  struct Case {
    int failing;
    std::size_t requests;
    bool done;
  };
  const Case cases[] = {{0, 0, false}, {1, 1, false}, {2, 3, false}, {3, 3, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    win.machine.requests.clear();
    win.FailCall("DeviceIoControl", os::kErrorGenFailure, c.failing);
    bool succeeded = !c.done;
    EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 2, 0x88, &succeeded),
              c.done ? 0x13723335u : 0xFFFFFFFFu);
    EXPECT_EQ(succeeded, c.done);
    EXPECT_EQ(win.machine.requests.size(), c.requests);
    win.ClearFailures();

    win.machine.requests.clear();
    SimNbConfigWrite(2, 0x88, 0x13723335u);
    win.FailCall("DeviceIoControl", os::kErrorGenFailure, c.failing);
    EXPECT_EQ(driver->WritePciConfig(0, 0x18, 2, 0x88, 0x13823542u), c.done ? 1 : 0);
    EXPECT_EQ(win.machine.requests.size(), c.requests);
    EXPECT_EQ(SimNbConfigRead(2, 0x88), c.done ? 0x13823542u : 0x13723335u);
    win.ClearFailures();
  }
}

TEST_F(PciNt, ReadPortValueIsZeroAfterAFailedRequest) {
  std::uint32_t value = 0x55;
  win.FailCall("DeviceIoControl", os::kErrorGenFailure);
  EXPECT_EQ(driver->ReadPortDword(0xCF8, &value), 0);
  EXPECT_EQ(value, 0u);
  // A port the driver refuses reads as a failure, not as a value.
  value = 0x55;
  EXPECT_EQ(driver->ReadPortDword(0x80, &value), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(driver->WritePortDword(0x80, 1), 0);
}

TEST_F(PciNt, ForeignAddressesInThePortDoNotSpoilAnAccess) {
  // Another agent's enabled address in the chip's port, or one this handle was left with, is
  // saved and put back without harm; the access goes to the program's own address.
  SimNbOutDword(0xCF8, 0x80000010u);
  ASSERT_EQ(driver->WritePortDword(0xCF8, 0x80001010u), 1);
  win.machine.requests.clear();
  bool succeeded = false;
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 2, 0x88, &succeeded), 0x13723335u);
  EXPECT_TRUE(succeeded);
  EXPECT_EQ(driver->WritePciConfig(0, 0x18, 2, 0x88, 0x13823542u), 1);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13823542u);
  EXPECT_EQ(win.machine.requests.size(), 8u);
  for (const auto& r : win.machine.requests) EXPECT_TRUE(r.ok);
  EXPECT_EQ(win.machine.requests.back().value, 0x80001010u);
  EXPECT_EQ(SimNbInDword(0xCF8), 0x80000010u);
}

class Pci9x : public DriverFixture {
 protected:
  std::unique_ptr<CDeviceDriver> driver;
  void SetUp() override {
    DriverFixture::SetUp();
    win.machine.SetPlatform(sim::Platform::Windows9x);
    driver = Initialized();
    ASSERT_EQ(driver->Open(), 1);
  }
};

TEST_F(Pci9x, PortInstructionsOfTheProgramItself) {
  SimNbOutDword(0xCF8, 0x00ABCDE0u);
  win.machine.portAccesses.clear();
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 0, 0x88), 0x80750622u);
  EXPECT_EQ(driver->WritePciConfig(0, 0x18, 0, 0x88, 0x80750522u), 1);
  EXPECT_EQ(SimNbConfigRead(0, 0x88), 0x80750522u);
  const auto& log = win.machine.portAccesses;
  ASSERT_EQ(log.size(), 8u);
  EXPECT_FALSE(log[0].write);
  EXPECT_EQ(log[0].port, 0xCF8);
  EXPECT_EQ(log[1].value, 0x8000C088u);
  EXPECT_EQ(log[2].port, 0xCFC);
  EXPECT_EQ(log[3].value, 0x00ABCDE0u);
  EXPECT_EQ(log[6].value, 0x80750522u);
  EXPECT_EQ(SimNbInDword(0xCF8), 0x00ABCDE0u);
  EXPECT_EQ(win.CallCount("DeviceIoControl"), 0);

  // The port number is cut to 16 bits as the instruction takes it.
  std::uint32_t value = 0;
  EXPECT_EQ(driver->ReadPortDword(0x10CF8, &value), 1);
  EXPECT_EQ(value, 0x00ABCDE0u);
}

TEST_F(Pci9x, ClosedDeviceTouchesNoPort) {
  driver->Close();
  win.machine.portAccesses.clear();
  EXPECT_EQ(driver->ReadPciConfig(0, 0x18, 0, 0x88), 0xFFFFFFFFu);
  EXPECT_EQ(driver->WritePciConfig(0, 0x18, 0, 0x88, 0), 0);
  EXPECT_TRUE(win.machine.portAccesses.empty());
}

TEST(PciUnknownPlatform, PortOperationsFail) {
  sim::ScopedSimWindows sim;
  CDeviceDriver driver;
  driver.m_hDevice = reinterpret_cast<os::Handle>(4);  // as if open
  std::uint32_t value = 0x55;
  EXPECT_EQ(driver.ReadPortDword(0xCF8, &value), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(driver.WritePortDword(0xCF8, 0), 0);
  EXPECT_EQ(driver.ReadPciConfig(0, 0x18, 2, 0x88), 0xFFFFFFFFu);
  EXPECT_TRUE(sim->calls.empty());
}

}  // namespace
