// The driver's request checks: only the two requests with exact buffers, only the PCI
// configuration ports, an address port of each client's own, data-port access only to a
// northbridge dword, and nothing touched when a request is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "hw/driver/Protocol.h"
#include "hw/driver/Requests.h"

namespace {

// Configuration operations that log every access and answer a fixed value; one client's
// emulated address port beside them.
struct FakePorts {
  struct Access {
    bool write;
    std::uint32_t device;
    std::uint32_t function;
    std::uint32_t offset;
    std::uint32_t value;
  };
  std::uint32_t address = 0;
  bool answer = true;  // false: no function takes the access
  std::vector<Access> log;
  MvnConfigOps ops{Read, Write, this};

  static int Read(void* ctx, std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                  std::uint32_t offset, std::uint32_t* value) {
    auto* self = static_cast<FakePorts*>(ctx);
    EXPECT_EQ(bus, 0u);
    self->log.push_back({false, device, function, offset, 0xDEADBEEFu});
    if (!self->answer) return 0;
    *value = 0xDEADBEEFu;
    return 1;
  }
  static int Write(void* ctx, std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                   std::uint32_t offset, std::uint32_t value) {
    auto* self = static_cast<FakePorts*>(ctx);
    EXPECT_EQ(bus, 0u);
    self->log.push_back({true, device, function, offset, value});
    return self->answer ? 1 : 0;
  }
  int Writes() const {
    int n = 0;
    for (const Access& a : log) n += a.write ? 1 : 0;
    return n;
  }
};

struct Result {
  std::int32_t status;
  std::uint32_t information;
  std::uint8_t out[16];
};

Result Send(FakePorts& ports, std::uint32_t code, const std::vector<std::uint32_t>& in,
            std::uint32_t outLength = 8) {
  Result r{};
  std::memset(r.out, 0xCC, sizeof r.out);
  r.information = 0x55;
  r.status =
      MvnHandleRequest(&ports.ops, &ports.address, code, in.data(),
                       static_cast<std::uint32_t>(in.size() * 4), r.out, outLength, &r.information);
  return r;
}

std::uint32_t Dword(const std::uint8_t* bytes) {
  std::uint32_t v;
  std::memcpy(&v, bytes, 4);
  return v;
}

void ExpectRefused(const Result& r, std::int32_t status, const FakePorts& ports) {
  EXPECT_EQ(r.status, status);
  EXPECT_EQ(r.information, 0u);
  EXPECT_EQ(Dword(r.out), 0xCCCCCCCCu) << "output touched on refusal";
  EXPECT_TRUE(ports.log.empty()) << "a refused request reached a device";
}

TEST(Requests, ServesReadAndWriteOfThePciConfigurationPorts) {
  FakePorts ports;
  Result w = Send(ports, MVN_IOCTL_WRITE_PORT, {0xCF8, 0x8000C288u});
  EXPECT_EQ(w.status, MVN_STATUS_SUCCESS);
  EXPECT_EQ(w.information, 8u);
  EXPECT_EQ(ports.address, 0x8000C288u);
  EXPECT_TRUE(ports.log.empty()) << "the address port reaches no device";

  Result r = Send(ports, MVN_IOCTL_READ_PORT, {0xCFC});
  EXPECT_EQ(r.status, MVN_STATUS_SUCCESS);
  EXPECT_EQ(r.information, 8u);
  EXPECT_EQ(Dword(r.out), 0xDEADBEEFu);
  EXPECT_EQ(Dword(r.out + 4), 0u);

  Result back = Send(ports, MVN_IOCTL_READ_PORT, {0xCF8});
  EXPECT_EQ(Dword(back.out), 0x8000C288u);

  ports.log.clear();
  EXPECT_EQ(Send(ports, MVN_IOCTL_WRITE_PORT, {0xCFC, 0x12345678u}).status, MVN_STATUS_SUCCESS);
  // One configuration access for exactly the client's address: 0:18.2 offset 0x88.
  ASSERT_EQ(ports.log.size(), 1u);
  EXPECT_TRUE(ports.log[0].write);
  EXPECT_EQ(ports.log[0].device, 0x18u);
  EXPECT_EQ(ports.log[0].function, 2u);
  EXPECT_EQ(ports.log[0].offset, 0x88u);
  EXPECT_EQ(ports.log[0].value, 0x12345678u);
}

TEST(Requests, EachClientHasItsOwnAddressPortStartingAtZero) {
  FakePorts first;
  FakePorts second;  // another handle over the same device
  second.ops.ctx = &first;
  EXPECT_EQ(Dword(Send(first, MVN_IOCTL_READ_PORT, {0xCF8}).out), 0u);
  Send(first, MVN_IOCTL_WRITE_PORT, {0xCF8, 0x8000C094u});
  Send(second, MVN_IOCTL_WRITE_PORT, {0xCF8, 0x8000C288u});
  EXPECT_EQ(Dword(Send(first, MVN_IOCTL_READ_PORT, {0xCF8}).out), 0x8000C094u);
  EXPECT_EQ(Send(first, MVN_IOCTL_READ_PORT, {0xCFC}).status, MVN_STATUS_SUCCESS);
  ASSERT_EQ(first.log.size(), 1u);
  EXPECT_EQ(first.log[0].function, 0u);
  EXPECT_EQ(first.log[0].offset, 0x94u);
}

TEST(Requests, AnAccessNoFunctionTakesFailsTheRequest) {
  FakePorts ports;
  ports.address = 0x8000C288u;
  ports.answer = false;
  Result r = Send(ports, MVN_IOCTL_READ_PORT, {0xCFC});
  EXPECT_EQ(r.status, MVN_STATUS_DEVICE_DOES_NOT_EXIST);
  EXPECT_EQ(r.information, 0u);
  EXPECT_EQ(Dword(r.out), 0xCCCCCCCCu) << "filler handed out as data";
  EXPECT_EQ(Send(ports, MVN_IOCTL_WRITE_PORT, {0xCFC, 1}).status, MVN_STATUS_DEVICE_DOES_NOT_EXIST);
}

TEST(Requests, OtherControlCodesAreInvalidDeviceRequests) {
  for (std::uint32_t code : {0u, 0x9C402410u, 0x9C40241Cu, 0x9C402415u, 0x00222414u}) {
    FakePorts ports;
    SCOPED_TRACE(code);
    ExpectRefused(Send(ports, code, {0xCF8, 0}), MVN_STATUS_INVALID_DEVICE_REQUEST, ports);
  }
  FakePorts ports;
  std::uint32_t address = 0;
  EXPECT_EQ(
      MvnHandleRequest(nullptr, &address, MVN_IOCTL_READ_PORT, "abcd", 4, nullptr, 0, nullptr),
      MVN_STATUS_INVALID_DEVICE_REQUEST);
  EXPECT_EQ(
      MvnHandleRequest(&ports.ops, nullptr, MVN_IOCTL_READ_PORT, "abcd", 4, nullptr, 0, nullptr),
      MVN_STATUS_INVALID_DEVICE_REQUEST);
}

TEST(Requests, BufferSizesMustBeExact) {
  struct Case {
    std::uint32_t code;
    std::vector<std::uint32_t> in;
    std::uint32_t outLength;
    std::int32_t status;
  };
  const Case cases[] = {
      {MVN_IOCTL_READ_PORT, {}, 8, MVN_STATUS_INVALID_PARAMETER},
      {MVN_IOCTL_READ_PORT, {0xCF8, 0}, 8, MVN_STATUS_INVALID_PARAMETER},
      {MVN_IOCTL_READ_PORT, {0xCF8}, 4, MVN_STATUS_BUFFER_TOO_SMALL},
      {MVN_IOCTL_READ_PORT, {0xCF8}, 0, MVN_STATUS_BUFFER_TOO_SMALL},
      {MVN_IOCTL_READ_PORT, {0xCF8}, 12, MVN_STATUS_INVALID_PARAMETER},
      {MVN_IOCTL_WRITE_PORT, {0xCF8}, 8, MVN_STATUS_INVALID_PARAMETER},
      {MVN_IOCTL_WRITE_PORT, {0xCF8, 0, 0}, 8, MVN_STATUS_INVALID_PARAMETER},
      {MVN_IOCTL_WRITE_PORT, {0xCF8, 0}, 7, MVN_STATUS_BUFFER_TOO_SMALL},
      {MVN_IOCTL_WRITE_PORT, {0xCF8, 0}, 16, MVN_STATUS_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    FakePorts ports;
    SCOPED_TRACE(c.in.size() * 100 + c.outLength);
    ExpectRefused(Send(ports, c.code, c.in, c.outLength), c.status, ports);
  }
  // A length that claims more than a missing buffer holds is refused too.
  FakePorts ports;
  std::uint32_t information = 1;
  std::uint8_t out[8];
  EXPECT_EQ(MvnHandleRequest(&ports.ops, &ports.address, MVN_IOCTL_READ_PORT, nullptr, 4, out, 8,
                             &information),
            MVN_STATUS_INVALID_PARAMETER);
  std::uint32_t port = 0xCF8;
  EXPECT_EQ(MvnHandleRequest(&ports.ops, &ports.address, MVN_IOCTL_READ_PORT, &port, 4, nullptr, 8,
                             &information),
            MVN_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(information, 0u);
  EXPECT_TRUE(ports.log.empty());
}

TEST(Requests, OnlyTheTwoConfigurationPortsAreServed) {
  // 0x10CF8 must not be taken for 0xCF8 by cutting it to 16 bits.
  for (std::uint32_t port : {0x80u, 0x70u, 0xCF9u, 0xCFAu, 0xCFBu, 0xCFDu, 0xCFEu, 0xCF4u, 0x10CF8u,
                             0x10CFCu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(port);
    FakePorts ports;
    ports.address = 0x8000C288u;
    ExpectRefused(Send(ports, MVN_IOCTL_READ_PORT, {port}), MVN_STATUS_ACCESS_DENIED, ports);
    ExpectRefused(Send(ports, MVN_IOCTL_WRITE_PORT, {port, 0}), MVN_STATUS_ACCESS_DENIED, ports);
  }
}

TEST(Requests, DataPortOnlyWhileTheAddressNamesANorthbridgeFunction) {
  const std::uint32_t refused[] = {
      0x8000C28Au,  // not a dword offset
      0x8000C289u,
      0x0000C288u,  // enable bit clear
      0x00000000u,
      0x8001C288u,  // bus 1
      0x8000BF88u,  // device 0x17, function 7
      0x80000088u,  // device 0 (the chipset's host bridge)
      0x8000C488u,  // function 4
      0x8000C788u,  // function 7
      0x8100C288u,  // reserved bit 24
      0xC000C288u,  // reserved bit 30
  };
  for (std::uint32_t address : refused) {
    SCOPED_TRACE(address);
    FakePorts ports;
    ports.address = address;
    ExpectRefused(Send(ports, MVN_IOCTL_READ_PORT, {0xCFC}), MVN_STATUS_ACCESS_DENIED, ports);
    ExpectRefused(Send(ports, MVN_IOCTL_WRITE_PORT, {0xCFC, 1}), MVN_STATUS_ACCESS_DENIED, ports);
  }
  for (std::uint32_t device = 0x18; device <= 0x1F; ++device) {
    for (std::uint32_t function = 0; function <= 3; ++function) {
      FakePorts ports;
      ports.address = 0x80000000u | device << 11 | function << 8 | 0xFC;
      EXPECT_EQ(Send(ports, MVN_IOCTL_READ_PORT, {0xCFC}).status, MVN_STATUS_SUCCESS);
    }
  }
}

// Every dword of every northbridge function reads; a write is carried out for the seven
// registers the program changes only, and any other is refused as an access no function
// answers, reaching nothing: the address maps of function 1, the other functions' registers,
// the other nodes' devices.
TEST(Requests, OnlyTheSevenRegistersCanBeWritten) {
  struct Register {
    std::uint32_t function, offset;
  };
  const Register writable[] = {{2, 0x88}, {2, 0x8C}, {2, 0x90}, {2, 0x94},
                               {0, 0x84}, {0, 0x88}, {0, 0x90}};
  int written = 0;
  for (std::uint32_t device = 0x18; device <= 0x1F; ++device) {
    for (std::uint32_t function = 0; function <= 3; ++function) {
      for (std::uint32_t offset = 0; offset < 0x100; offset += 4) {
        bool mine = false;
        for (const Register& reg : writable) {
          mine = mine || (device == 0x18 && function == reg.function && offset == reg.offset);
        }
        SCOPED_TRACE(::testing::Message()
                     << std::hex << device << "." << function << " " << offset);
        FakePorts ports;
        ports.address = 0x80000000u | device << 11 | function << 8 | offset;
        EXPECT_EQ(Send(ports, MVN_IOCTL_READ_PORT, {0xCFC}).status, MVN_STATUS_SUCCESS);
        ports.log.clear();
        Result w = Send(ports, MVN_IOCTL_WRITE_PORT, {0xCFC, 0x5A5A5A5Au});
        if (mine) {
          ++written;
          EXPECT_EQ(w.status, MVN_STATUS_SUCCESS);
          ASSERT_EQ(ports.log.size(), 1u);
          EXPECT_EQ(ports.log[0].value, 0x5A5A5A5Au);
        } else {
          ExpectRefused(w, MVN_STATUS_DEVICE_DOES_NOT_EXIST, ports);
        }
        EXPECT_EQ(MvnIsWritableRegister(ports.address), mine ? 1 : 0);
      }
    }
  }
  EXPECT_EQ(written, 7);
  // The same registers with the enable bit clear, or with byte-lane bits, are no registers.
  for (std::uint32_t address : {0x0000C288u, 0x8000C289u, 0x8000C28Bu, 0x8001C288u}) {
    EXPECT_EQ(MvnIsWritableRegister(address), 0) << std::hex << address;
  }
}

TEST(Requests, AddressPortTakesAnyValueAndReachesNoDevice) {
  // Putting back whatever was found there must always work, a foreign enabled address too.
  const std::uint32_t values[] = {0x00000000u, 0x7FFFFFFFu, 0x0000C288u, 0x12345678u, 0x80000000u,
                                  0x8000B800u, 0x8001C288u, 0x8000C28Au, 0xFFFFFFFFu, 0x8000C288u};
  for (std::uint32_t value : values) {
    SCOPED_TRACE(value);
    FakePorts ports;
    ports.address = 0x1234u;
    EXPECT_EQ(Send(ports, MVN_IOCTL_WRITE_PORT, {0xCF8, value}).status, MVN_STATUS_SUCCESS);
    EXPECT_EQ(ports.address, value);
    EXPECT_TRUE(ports.log.empty());
  }
  EXPECT_TRUE(MvnIsNorthbridgeAddress(0x8000C288u));
  EXPECT_FALSE(MvnIsNorthbridgeAddress(0x0000C288u));
  EXPECT_FALSE(MvnIsNorthbridgeAddress(0x8000C28Au));
}

TEST(Requests, OneSharedBufferForInputAndOutput) {
  // A buffered request hands the driver one system buffer: the input must be read before the
  // output is written into the same bytes.
  FakePorts ports;
  ports.address = 0x8000C288u;
  std::uint32_t buffer[2] = {0xCFC, 0x0BADF00Du};
  std::uint32_t information = 0;
  EXPECT_EQ(MvnHandleRequest(&ports.ops, &ports.address, MVN_IOCTL_WRITE_PORT, buffer, 8, buffer, 8,
                             &information),
            MVN_STATUS_SUCCESS);
  ASSERT_FALSE(ports.log.empty());
  EXPECT_TRUE(ports.log.back().write);
  EXPECT_EQ(ports.log.back().value, 0x0BADF00Du);
  EXPECT_EQ(buffer[0], 0u);
  EXPECT_EQ(buffer[1], 0u);

  buffer[0] = 0xCFC;
  buffer[1] = 0x11111111u;
  EXPECT_EQ(MvnHandleRequest(&ports.ops, &ports.address, MVN_IOCTL_READ_PORT, buffer, 4, buffer, 8,
                             &information),
            MVN_STATUS_SUCCESS);
  EXPECT_EQ(buffer[0], 0xDEADBEEFu);
  EXPECT_EQ(buffer[1], 0u);
  EXPECT_EQ(information, 8u);
}

}  // namespace
