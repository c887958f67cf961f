// The simulated northbridge behaves as a K8 behind mechanism #1: addressing, absent functions,
// power-on values and the write rules of each register the program tunes.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "sim/Northbridge.h"

namespace {

constexpr std::uint16_t kAddress = 0xCF8;
constexpr std::uint16_t kData = 0xCFC;

std::uint32_t Address(unsigned bus, unsigned device, unsigned function, unsigned offset) {
  return 0x80000000u | bus << 16 | device << 11 | function << 8 | offset;
}

std::uint32_t PortRead(unsigned device, unsigned function, unsigned offset, unsigned bus = 0) {
  SimNbOutDword(kAddress, Address(bus, device, function, offset));
  return SimNbInDword(kData);
}

void PortWrite(unsigned function, unsigned offset, std::uint32_t value) {
  SimNbOutDword(kAddress, Address(0, 0x18, function, offset));
  SimNbOutDword(kData, value);
}

// Writes value through the ports and returns what the register reads afterwards.
std::uint32_t Takes(unsigned function, unsigned offset, std::uint32_t value) {
  PortWrite(function, offset, value);
  return PortRead(0x18, function, offset);
}

class Northbridge : public ::testing::Test {
 protected:
  void SetUp() override { SimNbReset(); }
};

TEST_F(Northbridge, PowersOnWithTheValuesOfTheReferenceBoard) {
  EXPECT_EQ(PortRead(0x18, 2, 0x88), 0x13723335u);
  EXPECT_EQ(PortRead(0x18, 2, 0x8C), 0x00000B31u);
  EXPECT_EQ(PortRead(0x18, 2, 0x90), 0x38058E80u);
  EXPECT_EQ(PortRead(0x18, 2, 0x94), 0x3E7B0707u);
  EXPECT_EQ(PortRead(0x18, 0, 0x84), 0x11110020u);
  EXPECT_EQ(PortRead(0x18, 0, 0x88), 0x80750622u);
  EXPECT_EQ(PortRead(0x18, 0, 0x90), 0x01610169u);
  EXPECT_EQ(SimNbInDword(kAddress), Address(0, 0x18, 0, 0x90));
  SimNbReset();
  EXPECT_EQ(SimNbInDword(kAddress), 0u);
}

TEST_F(Northbridge, FourFunctionsOfAMultiFunctionHostBridge) {
  for (unsigned f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    EXPECT_EQ(PortRead(0x18, f, 0x00), 0x11001022u + (f << 16));
    EXPECT_EQ(PortRead(0x18, f, 0x08) >> 8, 0x060000u);  // class code
    EXPECT_EQ((PortRead(0x18, f, 0x0C) >> 16) & 0xFF, 0x80u);
    // The header keeps its identity whatever is written.
    EXPECT_EQ(Takes(f, 0x00, 0), 0x11001022u + (f << 16));
    EXPECT_EQ(Takes(f, 0x0C, 0xFFFFFFFF), 0x00800000u);
  }
  // Function 0 lists its link capability where the link registers live.
  EXPECT_EQ(PortRead(0x18, 0, 0x34) & 0xFF, 0x80u);
  EXPECT_EQ(PortRead(0x18, 0, 0x80) & 0xFF, 0x08u);
}

TEST_F(Northbridge, AbsentFunctionsDevicesAndBusesReadAllOnesAndDropWrites) {
  for (unsigned f = 4; f < 8; ++f) EXPECT_EQ(PortRead(0x18, f, 0x00), 0xFFFFFFFFu);
  EXPECT_EQ(PortRead(0x19, 0, 0x00), 0xFFFFFFFFu);  // no second node
  EXPECT_EQ(PortRead(0x00, 0, 0x00), 0xFFFFFFFFu);
  EXPECT_EQ(PortRead(0x18, 2, 0x88, 1), 0xFFFFFFFFu);  // bus 1, same device
  SimNbOutDword(kAddress, Address(1, 0x18, 2, 0x88));
  SimNbOutDword(kData, 0);
  SimNbOutDword(kAddress, Address(0, 0x18, 6, 0x88));  // function 6 aliases nothing
  SimNbOutDword(kData, 0);
  EXPECT_EQ(PortRead(0x18, 2, 0x88), 0x13723335u);
  EXPECT_EQ(SimNbConfigRead(4, 0), 0xFFFFFFFFu);
}

TEST_F(Northbridge, DisabledAddressLeavesTheDataPortInert) {
  SimNbOutDword(kAddress, Address(0, 0x18, 2, 0x88) & 0x7FFFFFFFu);
  EXPECT_EQ(SimNbInDword(kData), 0xFFFFFFFFu);
  SimNbOutDword(kData, 0);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13723335u);
}

TEST_F(Northbridge, AddressPortLatchesDwordsWithReservedBitsZero) {
  SimNbOutDword(kAddress, 0x8000C288u);
  EXPECT_EQ(SimNbInDword(kAddress), 0x8000C288u);
  // Bits 30:24 and 1:0 read as zero; a register offset inside the dword reads the dword.
  SimNbOutDword(kAddress, 0xFF00C28Bu);
  EXPECT_EQ(SimNbInDword(kAddress), 0x8000C288u);
  EXPECT_EQ(SimNbInDword(kData), 0x13723335u);
  // Other ports, among them the bytes beside the address port, neither answer nor latch.
  SimNbOutDword(0xCFB, 0x12345678u);
  SimNbOutDword(0xCF9, 0);
  EXPECT_EQ(SimNbInDword(kAddress), 0x8000C288u);
  EXPECT_EQ(SimNbInDword(0xCFB), 0xFFFFFFFFu);
  EXPECT_EQ(SimNbInDword(0x80), 0xFFFFFFFFu);
}

TEST_F(Northbridge, DramTimingRegistersKeepTheirReservedBitsZero) {
  EXPECT_EQ(Takes(2, 0x88, 0xFFFFFFFFu), 0x17F77FF7u);  // 3, 15, 19, 27, 31:29 stay 0
  EXPECT_EQ(Takes(2, 0x88, 0x00000000u), 0u);
  EXPECT_EQ(Takes(2, 0x88, 0x13823542u), 0x13823542u);  // the single-channel board's value
  // Twtr bit 0, Trwt 6:4, a 5-bit refresh rate 12:8 and Twcl 22:20 take writes, nothing else.
  EXPECT_EQ(Takes(2, 0x8C, 0xFFFFFFFFu), 0x00701F71u);
  EXPECT_EQ(Takes(2, 0x8C, 0x00000B31u), 0x00000B31u);
}

TEST_F(Northbridge, DramConfigLowCommandsAndStatus) {
  const std::uint32_t powerOn = 0x38058E80u;
  // Writing back what was read starts nothing and changes nothing.
  EXPECT_EQ(Takes(2, 0x90, powerOn), powerOn);
  EXPECT_EQ(SimNbDramCommandCount(), 0u);
  // The status bits 10, 11 and 13 ignore writes.
  EXPECT_EQ(Takes(2, 0x90, 0), 0x00000C00u);
  EXPECT_EQ(Takes(2, 0x90, 0x2000u), 0x00000C00u);
  // Init (8) and exit self-refresh (12) start a command each and read 0 again.
  EXPECT_EQ(Takes(2, 0x90, powerOn | 0x100u), powerOn);
  EXPECT_EQ(SimNbDramCommandCount(), 1u);
  EXPECT_EQ(Takes(2, 0x90, powerOn | 0x1000u), powerOn);
  EXPECT_EQ(SimNbDramCommandCount(), 2u);
  // Config high: clocks and the ratio-valid flag are plain settings.
  EXPECT_EQ(Takes(2, 0x94, 0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(Takes(2, 0x94, 0x3E7B0606u), 0x3E7B0606u);
}

TEST_F(Northbridge, LinkControlWidthsAndErrorFlags) {
  const std::uint32_t powerOn = 0x11110020u;
  // Width in (26:24) and out (30:28) take writes; the maxima 18:16 and 22:20 do not.
  EXPECT_EQ(Takes(0, 0x84, 0x33330020u), 0x33110020u);
  EXPECT_EQ(Takes(0, 0x84, 0x00000000u), 0x00110020u);  // init complete (5) stays set
  EXPECT_EQ(Takes(0, 0x84, powerOn), powerOn);
  // Link failure (4) and CRC errors (11:8) clear when written with 1s and stay when written 0.
  SimNbRaiseBits(0, 0x84, 0x00000F10u);
  EXPECT_EQ(Takes(0, 0x84, powerOn), powerOn | 0xF10u);
  EXPECT_EQ(Takes(0, 0x84, powerOn | 0x00000310u), powerOn | 0xC00u);
  EXPECT_EQ(Takes(0, 0x84, powerOn | 0x00000C00u), powerOn);
}

TEST_F(Northbridge, LinkFrequencyAndBufferCounts) {
  // Revision and capabilities stay; the frequency code takes writes.
  EXPECT_EQ(Takes(0, 0x88, 0x00000000u), 0x80750022u);
  EXPECT_EQ(Takes(0, 0x88, 0xFFFF0522u), 0x80750522u);
  SimNbRaiseBits(0, 0x88, 0x0000A000u);
  EXPECT_EQ(Takes(0, 0x88, 0x80758522u), 0x80752522u);  // a 1 in 15 clears it, 13 stays
  EXPECT_EQ(Takes(0, 0x90, 0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(Takes(0, 0x90, 0x02510456u), 0x02510456u);
}

TEST_F(Northbridge, EveryOtherDwordReadsBackWhatWasWritten) {
  for (unsigned f = 0; f < 4; ++f) {
    EXPECT_EQ(Takes(f, 0x40, 0xA5A50000u + f), 0xA5A50000u + f);
    EXPECT_EQ(Takes(f, 0xFC, 0x5A5A5A5Au), 0x5A5A5A5Au);
  }
  EXPECT_EQ(SimNbConfigRead(3, 0x40), 0xA5A50003u);
  SimNbConfigWrite(1, 0x44, 0x00FF00FFu);
  EXPECT_EQ(PortRead(0x18, 1, 0x44), 0x00FF00FFu);
  // The direct access takes writes by the same rules as the ports.
  SimNbConfigWrite(2, 0x88, 0xFFFFFFFFu);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x17F77FF7u);
  SimNbReset();
  EXPECT_EQ(SimNbConfigRead(1, 0x44), 0u);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), 0x13723335u);
}

TEST_F(Northbridge, SystemConfigurationAccessLeavesTheAddressPortAndEveryWriteIsLogged) {
  SimNbOutDword(0xCF8, 0x80000010u);  // someone else's address
  std::uint32_t value = 0;
  EXPECT_EQ(SimNbConfigCycleRead(0, 0x18, 2, 0x88, &value), 1);
  EXPECT_EQ(value, 0x13723335u);
  for (auto absent : {std::array<std::uint32_t, 3>{1, 0x18, 2}, {0, 0x19, 0}, {0, 0x18, 4}}) {
    value = 0;
    EXPECT_EQ(SimNbConfigCycleRead(absent[0], absent[1], absent[2], 0x88, &value), 0);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(SimNbConfigCycleWrite(absent[0], absent[1], absent[2], 0x88, 0), 0);
  }
  EXPECT_EQ(SimNbConfigCycleWrite(0, 0x18, 2, 0x88, 0x13823542u), 1);
  SimNbOutDword(0xCF8, 0x8000C090u);
  SimNbOutDword(0xCFC, 0x02510456u);
  EXPECT_EQ(SimNbWriteCount(), 2u);
  SimNbWriteRecord record{};
  ASSERT_EQ(SimNbWriteAt(0, &record), 1);
  EXPECT_EQ(record.function, 2u);
  EXPECT_EQ(record.offset, 0x88u);
  EXPECT_EQ(record.before, 0x13723335u);
  EXPECT_EQ(record.value, 0x13823542u);
  ASSERT_EQ(SimNbWriteAt(1, &record), 1);
  EXPECT_EQ(record.before, 0x01610169u);
  EXPECT_EQ(SimNbWriteAt(2, &record), 0);
  EXPECT_EQ(SimNbInDword(0xCF8), 0x8000C090u);
  SimNbReset();
  EXPECT_EQ(SimNbWriteCount(), 0u);
}

}  // namespace
