// The register model's constant data: the seven northbridge registers, the 38 fields with
// their choice lists, and the two register groups, checked at compile time.
#include "regs/Tables.h"

#include <cstddef>
#include <cstring>

namespace {

// The choice list of the first `count` records of `choices`.
template <std::size_t N>
constexpr ChoiceList MakeList(const FieldChoice (&choices)[N], std::size_t count = N) {
  return ChoiceList(choices, static_cast<int>(count < N ? count : N));
}

}  // namespace

constexpr FieldChoice NoChoice = {"", 0};

// The power-on contents of each register are unknown until its group is first read.
PciRegister Registers[kRegisterCount] = {
    {"DRAM Timing (Low)", 0, 0x18, 2, 0x88, 0},   // [0]
    {"DRAM Timing (High)", 0, 0x18, 2, 0x8C, 0},  // [1]
    {"DRAM Config (Low)", 0, 0x18, 2, 0x90, 0},   // [2]
    {"DRAM Config (High)", 0, 0x18, 2, 0x94, 0},  // [3]
    {"LDT0 Control Reg", 0, 0x18, 0, 0x84, 0},    // [4]
    {"LDT0 FREQ Reg", 0, 0x18, 0, 0x88, 0},       // [5]
    {"LDT0 FREQ Reg", 0, 0x18, 0, 0x90, 0},       // [6] same name as [5]: told apart by record
};

namespace {

constexpr PciRegister* kDramTimingLow = &Registers[0];
constexpr PciRegister* kDramTimingHigh = &Registers[1];
constexpr PciRegister* kDramConfigLow = &Registers[2];
constexpr PciRegister* kDramConfigHigh = &Registers[3];
constexpr PciRegister* kLinkControl = &Registers[4];
constexpr PciRegister* kLinkFreq = &Registers[5];
constexpr PciRegister* kLinkBuffers = &Registers[6];

// --- Choices. A trailing " *" marks a value the processor reserves.

constexpr FieldChoice kCasLatency[] = {{"1.0 *", 0}, {"2.0", 1}, {"3.0", 2},   {"4.0 *", 3},
                                       {"1.5 *", 4}, {"2.5", 5}, {"3.5 *", 6}, {"4.5 *", 7}};
constexpr FieldChoice kRowCycle[] = {
    {"7", 0},  {"8", 1},  {"9", 2},   {"10", 3},  {"11", 4},  {"12", 5},  {"13", 6},  {"14", 7},
    {"15", 8}, {"16", 9}, {"17", 10}, {"18", 11}, {"19", 12}, {"20", 13}, {"21", 14}, {"22", 15}};
constexpr FieldChoice kRowRefresh[] = {
    {"9", 0},  {"10", 1}, {"11", 2},  {"12", 3},  {"13", 4},  {"14", 5},  {"15", 6},  {"16", 7},
    {"17", 8}, {"18", 9}, {"19", 10}, {"20", 11}, {"21", 12}, {"22", 13}, {"23", 14}, {"24", 15}};
constexpr FieldChoice kRasToCas[] = {{"0 *", 0}, {"1 *", 1}, {"2", 2}, {"3", 3},
                                     {"4", 4},   {"5", 5},   {"6", 6}, {"7 *", 7}};
constexpr FieldChoice kRasToRas[] = {{"0 *", 0}, {"1 *", 1}, {"2", 2},   {"3", 3},
                                     {"4", 4},   {"5 *", 5}, {"6 *", 6}, {"7 *", 7}};
constexpr FieldChoice kRasActive[] = {
    {"0 *", 0}, {"1 *", 1}, {"2 *", 2}, {"3 *", 3}, {"4 *", 4}, {"5", 5},   {"6", 6},   {"7", 7},
    {"8", 8},   {"9", 9},   {"10", 10}, {"11", 11}, {"12", 12}, {"13", 13}, {"14", 14}, {"15", 15}};
constexpr FieldChoice kPrecharge[] = {{"0 *", 0}, {"1 *", 1}, {"2", 2}, {"3", 3},
                                      {"4", 4},   {"5", 5},   {"6", 6}, {"7 *", 7}};
constexpr FieldChoice kWriteRecovery[] = {{"2", 0}, {"3", 1}};
constexpr FieldChoice kWriteToRead[] = {{"1", 0}, {"2", 1}};
constexpr FieldChoice kReadToWrite[] = {{"1", 0}, {"2", 1}, {"3", 2},   {"4", 3},
                                        {"5", 4}, {"6", 5}, {"7 *", 6}, {"8 *", 7}};
constexpr FieldChoice kRefreshRate[] = {
    {"100 MHz 15.6us", 0},    {"133 MHz 15.6us", 1},    {"166 MHz 15.6us", 2},
    {"200 MHz 15.6us", 3},    {"100 MHz 7.8us", 4},     {"133 MHz 7.8us", 5},
    {"166 MHz 7.8us", 6},     {"200 MHz 7.8us", 7},     {"100 MHz 3.9us", 8},
    {"133 MHz 3.9us", 9},     {"166 MHz 3.9us", 10},    {"200 MHz 3.9us", 11},
    {"100 MHz 1.95us *", 12}, {"133 MHz 1.95us *", 13}, {"166 MHz 1.95us *", 14},
    {"200 MHz 1.95us *", 15}};
constexpr FieldChoice kQueueBypass[] = {{"2x", 0}, {"4x", 1}, {"8x", 2}, {"16x", 3}};
constexpr FieldChoice kControllerMode[] = {{"64 bit", 0}, {"128 bit", 1}};
constexpr FieldChoice kEccMode[] = {{"Disable", 0}, {"Enable", 1}};
constexpr FieldChoice kBypassMax[] = {{"0x", 0}, {"1x", 1}, {"2x", 2}, {"3x", 3},
                                      {"4x", 4}, {"5x", 5}, {"6x", 6}, {"7x", 7}};
constexpr FieldChoice kTwoTTiming[] = {{"Disable", 0}, {"Enable", 1}};
constexpr FieldChoice kAsyncLatency[] = {
    {"0 ns", 0},   {"1 ns", 1},   {"2 ns", 2},   {"3 ns", 3},  {"4 ns", 4},   {"5 ns", 5},
    {"6 ns", 6},   {"7 ns", 7},   {"8 ns", 8},   {"9 ns", 9},  {"10 ns", 10}, {"11 ns", 11},
    {"12 ns", 12}, {"13 ns", 13}, {"14 ns", 14}, {"15 ns", 15}};
constexpr FieldChoice kReadPreamble[] = {
    {"2.0 ns", 0},  {"2.5 ns", 1},  {"3.0 ns", 2},  {"3.5 ns", 3}, {"4.0 ns", 4},  {"4.5 ns", 5},
    {"5.0 ns", 6},  {"5.5 ns", 7},  {"6.0 ns", 8},  {"6.5 ns", 9}, {"7.0 ns", 10}, {"7.5 ns", 11},
    {"8.0 ns", 12}, {"8.5 ns", 13}, {"9.0 ns", 14}, {"9.5 ns", 15}};
constexpr FieldChoice kIdleCycleLimit[] = {{"0 clks", 0},   {"4 clks", 1},  {"8 clks", 2},
                                           {"16 clks", 3},  {"32 clks", 4}, {"64 clks", 5},
                                           {"128 clks", 6}, {"256 clks", 7}};
constexpr FieldChoice kDynamicIdle[] = {{"Disable", 0}, {"Enable", 1}};
constexpr FieldChoice kMemClkFrequency[] = {{"100", 0},     {"117 *", 1}, {"133", 2},
                                            {"133++ *", 3}, {"150 *", 4}, {"166", 5},
                                            {"183 *", 6},   {"200", 7}};
constexpr FieldChoice kMemClk[] = {{"Disable", 0}, {"Enable", 1}};
// The link frequency list starts with its lowest frequency, whose code is 15.
constexpr FieldChoice kLinkFrequency[] = {{"0.5x", 15}, {"1.0x", 0}, {"1.5x", 1}, {"2.0x", 2},
                                          {"2.5x", 3},  {"3.0x", 4}, {"4.0x", 5}, {"5.0x", 6}};
constexpr FieldChoice kLinkControlFlag[] = {{"Disable", 0}, {"Enable", 1}};
constexpr FieldChoice kLinkWidth[] = {
    {"2 bits", 4}, {"4 bits", 5}, {"8 bits", 0}, {"16 bits", 1}, {"32 bits", 3}};
constexpr FieldChoice kBufferCount[] = {
    {"0", 0}, {"1", 1}, {"2", 2},   {"3", 3},   {"4", 4},   {"5", 5},   {"6", 6},   {"7", 7},
    {"8", 8}, {"9", 9}, {"10", 10}, {"11", 11}, {"12", 12}, {"13", 13}, {"14", 14}, {"15", 15}};

constexpr ChoiceList kCasLatencyList = MakeList(kCasLatency);
constexpr ChoiceList kRowCycleList = MakeList(kRowCycle);
constexpr ChoiceList kRowRefreshList = MakeList(kRowRefresh);
constexpr ChoiceList kRasToCasList = MakeList(kRasToCas);
constexpr ChoiceList kRasToRasList = MakeList(kRasToRas);
constexpr ChoiceList kRasActiveList = MakeList(kRasActive);
constexpr ChoiceList kPrechargeList = MakeList(kPrecharge);
constexpr ChoiceList kWriteRecoveryList = MakeList(kWriteRecovery);
constexpr ChoiceList kWriteToReadList = MakeList(kWriteToRead);
constexpr ChoiceList kReadToWriteList = MakeList(kReadToWrite);
constexpr ChoiceList kRefreshRateList = MakeList(kRefreshRate);
constexpr ChoiceList kQueueBypassList = MakeList(kQueueBypass);
constexpr ChoiceList kControllerModeList = MakeList(kControllerMode);
constexpr ChoiceList kEccModeList = MakeList(kEccMode);
constexpr ChoiceList kBypassMaxList = MakeList(kBypassMax);
constexpr ChoiceList kTwoTTimingList = MakeList(kTwoTTiming);
constexpr ChoiceList kAsyncLatencyList = MakeList(kAsyncLatency);
constexpr ChoiceList kReadPreambleList = MakeList(kReadPreamble);
constexpr ChoiceList kIdleCycleLimitList = MakeList(kIdleCycleLimit);
constexpr ChoiceList kDynamicIdleList = MakeList(kDynamicIdle);
constexpr ChoiceList kMemClkFrequencyList = MakeList(kMemClkFrequency);
constexpr ChoiceList kMemClkList = MakeList(kMemClk);  // the four MEM CLK fields
constexpr ChoiceList kLinkFrequencyList = MakeList(kLinkFrequency);
constexpr ChoiceList kLinkControlFlagList = MakeList(kLinkControlFlag);  // three flags
constexpr ChoiceList kLinkWidthList = MakeList(kLinkWidth);              // out and in
constexpr ChoiceList kBufferCountList = MakeList(kBufferCount);          // 4-bit counts
constexpr ChoiceList kDataBufferCountList = MakeList(kBufferCount, 8);   // 3-bit counts

}  // namespace

constexpr RegisterField Fields[kFieldCount] = {
    // DRAM Timing (Low)
    {"CAS Latency (Tcl)", "Tcl", 0, 3, kDramTimingLow, &kCasLatencyList},
    {"Row Cycle Time (Trc)", "Trc", 4, 4, kDramTimingLow, &kRowCycleList},
    {"Row Refresh Cycle Time (Trfc)", "Trfc", 8, 4, kDramTimingLow, &kRowRefreshList},
    {"RAS to CAS Delay (Trcd)", "Trcd", 12, 3, kDramTimingLow, &kRasToCasList},
    {"RAS to RAS Delay (Trrd)", "Trrd", 16, 3, kDramTimingLow, &kRasToRasList},
    {"Min RAS Active Time (Tras)", "Tras", 20, 4, kDramTimingLow, &kRasActiveList},
    {"Row Precharge Time (Trp)", "Trp", 24, 3, kDramTimingLow, &kPrechargeList},
    {"Write Recovery Time (Twr)", "Twr", 28, 1, kDramTimingLow, &kWriteRecoveryList},
    // DRAM Timing (High)
    {"Write to Read Delay Time (Twtr)", "Twtr", 0, 1, kDramTimingHigh, &kWriteToReadList},
    {"Read to Write Delay Time (Trtw)", "Trtw", 4, 3, kDramTimingHigh, &kReadToWriteList},
    {"Refresh Rate (Tref)", "Tref", 8, 4, kDramTimingHigh, &kRefreshRateList},
    // DRAM Config (Low)
    {"Read Write Queue Bypass", "ReadWriteQueueBypass", 14, 2, kDramConfigLow, &kQueueBypassList},
    {"Controller Mode", "ControllerMode", 16, 1, kDramConfigLow, &kControllerModeList},
    {"ECC Mode", "ECCMode", 17, 1, kDramConfigLow, &kEccModeList},
    {"Bypass Max", "BypassMax", 25, 3, kDramConfigLow, &kBypassMaxList},
    {"2T Timing", "TwoTTiming", 28, 1, kDramConfigLow, &kTwoTTimingList},
    // DRAM Config (High)
    {"Max Async Latency", "MaxAsyncLatency", 0, 4, kDramConfigHigh, &kAsyncLatencyList},
    {"Read Preamble", "ReadPreamble", 8, 4, kDramConfigHigh, &kReadPreambleList},
    {"Idle Cycle Limit", "IdleCycleLimit", 16, 3, kDramConfigHigh, &kIdleCycleLimitList},
    {"Dynamic Idle Cycle Counter", "DynamicIdleCycleCounter", 19, 1, kDramConfigHigh,
     &kDynamicIdleList},
    {"MEMCLK Frequency", "MEMCLKFrequency", 20, 3, kDramConfigHigh, &kMemClkFrequencyList},
    {"MEM CLK 0", "MEMCLK0", 26, 1, kDramConfigHigh, &kMemClkList},
    {"MEM CLK 1", "MEMCLK1", 27, 1, kDramConfigHigh, &kMemClkList},
    {"MEM CLK 2", "MEMCLK2", 28, 1, kDramConfigHigh, &kMemClkList},
    {"MEM CLK 3", "MEMCLK3", 29, 1, kDramConfigHigh, &kMemClkList},
    // LDT0 FREQ Reg (0x88)
    {"Link Freq", "LinkFreq", 8, 4, kLinkFreq, &kLinkFrequencyList},
    // LDT0 Control Reg
    {"CRC Flood", "CRCFlood", 1, 1, kLinkControl, &kLinkControlFlagList},
    {"Stop Tristate", "StopTristate", 13, 1, kLinkControl, &kLinkControlFlagList},
    {"Ext Control Time", "ExtControlTime", 14, 1, kLinkControl, &kLinkControlFlagList},
    {"Width Out", "WidthOut", 20, 3, kLinkControl, &kLinkWidthList},
    {"Width In", "WidthIN", 24, 3, kLinkControl, &kLinkWidthList},
    // LDT0 FREQ Reg (0x90)
    {"Req Buf Cnt", "ReqBufCnt", 0, 4, kLinkBuffers, &kBufferCountList},
    {"Posted Req Buf Cnt", "PostedReqBufCnt", 4, 4, kLinkBuffers, &kBufferCountList},
    {"Resp Buf Cnt", "RespBufCnt", 8, 4, kLinkBuffers, &kBufferCountList},
    {"Probe Buf Cnt", "ProbeBufCnt", 12, 4, kLinkBuffers, &kBufferCountList},
    {"Req Data Buf Cnt", "ReqDataBufCnt", 16, 3, kLinkBuffers, &kDataBufferCountList},
    {"Posted Req Data Buf Cnt", "PostedReqDataBufCnt", 20, 3, kLinkBuffers, &kDataBufferCountList},
    {"Response Data Buf Cnt", "ResponseDataBufCnt", 24, 3, kLinkBuffers, &kDataBufferCountList},
};

// The LINK group is read and written frequency first, then control, then the buffer counts.
constexpr PciRegister* DramGroup[kDramRegisterCount] = {kDramTimingLow, kDramTimingHigh,
                                                        kDramConfigLow, kDramConfigHigh};
constexpr PciRegister* LinkGroup[kLinkRegisterCount] = {kLinkFreq, kLinkControl, kLinkBuffers};

const RegisterField* FindField(const char* key) {
  if (key == nullptr) return nullptr;
  for (const RegisterField& field : Fields) {
    if (std::strcmp(field.key, key) == 0) return &field;
  }
  return nullptr;
}

// --- Compile-time checks of the tables.

namespace {

constexpr int RegisterIndex(const PciRegister* reg) {
  for (int i = 0; i < kRegisterCount; ++i) {
    if (reg == &Registers[i]) return i;
  }
  return -1;
}

constexpr std::uint32_t FieldMask(const RegisterField& f) {
  return ((std::uint32_t{1} << f.width) - 1) << f.shift;
}

constexpr bool TextsEqual(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

// The number of choices before NoChoice, or -1 when a list is not properly ended.
constexpr int ChoiceCount(const ChoiceList& list) {
  int count = 0;
  while (count < kChoiceSlots && list[count] != &NoChoice) {
    if (list[count] == nullptr) return -1;
    ++count;
  }
  if (count == kChoiceSlots) return -1;
  for (int i = count + 1; i < kChoiceSlots; ++i) {
    if (list[i] != nullptr) return -1;
  }
  return count;
}

constexpr bool FieldsFitTheirRegisters() {
  for (const RegisterField& f : Fields) {
    if (f.width < 1 || f.width > 4 || f.shift < 0 || f.shift + f.width > 32) return false;
    if (RegisterIndex(f.reg) < 0) return false;
  }
  return true;
}

constexpr bool FieldsDoNotOverlap() {
  for (int i = 0; i < kFieldCount; ++i) {
    for (int j = i + 1; j < kFieldCount; ++j) {
      if (Fields[i].reg == Fields[j].reg && (FieldMask(Fields[i]) & FieldMask(Fields[j])) != 0)
        return false;
    }
  }
  return true;
}

constexpr bool ListsEndWithNoChoice() {
  for (const RegisterField& f : Fields) {
    if (f.choices == nullptr || ChoiceCount(*f.choices) < 1) return false;
  }
  return true;
}

constexpr bool CodesFitAndDiffer() {
  for (const RegisterField& f : Fields) {
    const ChoiceList& list = *f.choices;
    int count = ChoiceCount(list);
    for (int i = 0; i < count; ++i) {
      if (list[i]->code < 0 || list[i]->code >= (1 << f.width)) return false;
      for (int j = i + 1; j < count; ++j) {
        if (list[i]->code == list[j]->code) return false;
      }
    }
  }
  return true;
}

constexpr bool KeysAreUnique() {
  for (int i = 0; i < kFieldCount; ++i) {
    for (int j = i + 1; j < kFieldCount; ++j) {
      if (TextsEqual(Fields[i].key, Fields[j].key)) return false;
    }
  }
  return true;
}

constexpr bool GroupsHoldTheirFields() {
  // DRAM fields live in registers 0 to 3, LINK fields in 4 to 6; each group names its
  // registers once.
  for (int i = 0; i < kFieldCount; ++i) {
    int reg = RegisterIndex(Fields[i].reg);
    if ((i < kDramFieldCount) != (reg < kDramRegisterCount)) return false;
  }
  for (int i = 0; i < kDramRegisterCount; ++i) {
    if (RegisterIndex(DramGroup[i]) != i) return false;
  }
  int seen = 0;
  for (PciRegister* reg : LinkGroup) {
    int index = RegisterIndex(reg);
    if (index < kDramRegisterCount) return false;
    seen |= 1 << index;
  }
  return seen == 0x70;
}

static_assert(FieldsFitTheirRegisters(), "a field lies outside its 32-bit register");
static_assert(FieldsDoNotOverlap(), "two fields of one register share a bit");
static_assert(ListsEndWithNoChoice(), "a choice list does not end with NoChoice");
static_assert(CodesFitAndDiffer(), "a choice code exceeds its field or repeats in a list");
static_assert(KeysAreUnique(), "two fields share a register-file key");
static_assert(GroupsHoldTheirFields(), "a field or register is in the wrong group");
static_assert(ChoiceCount(kBufferCountList) == 16 && ChoiceCount(kDataBufferCountList) == 8 &&
                  kDataBufferCountList[7] == kBufferCountList[7],
              "the 3-bit buffer counts use the first 8 records of the 16-entry list");

}  // namespace
