// Tests of the register tables against the register and field catalogue, written out here
// row by row: registers, every field's position and every choice in list order, the shared
// lists and the groups.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "regs/Tables.h"

namespace {

struct ExpectedRegister {
  const char* name;
  int function;
  int offset;
};

const ExpectedRegister kRegisters[kRegisterCount] = {
    {"DRAM Timing (Low)", 2, 0x88}, {"DRAM Timing (High)", 2, 0x8C},
    {"DRAM Config (Low)", 2, 0x90}, {"DRAM Config (High)", 2, 0x94},
    {"LDT0 Control Reg", 0, 0x84},  {"LDT0 FREQ Reg", 0, 0x88},
    {"LDT0 FREQ Reg", 0, 0x90},
};

using Choices = std::vector<std::pair<int, std::string>>;

struct ExpectedField {
  const char* label;
  const char* key;
  int shift;
  int width;
  int reg;  // index in table order
  Choices choices;
};

const Choices kDisableEnable = {{0, "Disable"}, {1, "Enable"}};
const Choices kWidths = {
    {4, "2 bits"}, {5, "4 bits"}, {0, "8 bits"}, {1, "16 bits"}, {3, "32 bits"}};
const Choices kCounts16 = {{0, "0"},   {1, "1"},   {2, "2"},   {3, "3"},  {4, "4"},   {5, "5"},
                           {6, "6"},   {7, "7"},   {8, "8"},   {9, "9"},  {10, "10"}, {11, "11"},
                           {12, "12"}, {13, "13"}, {14, "14"}, {15, "15"}};
const Choices kCounts8 = {{0, "0"}, {1, "1"}, {2, "2"}, {3, "3"},
                          {4, "4"}, {5, "5"}, {6, "6"}, {7, "7"}};

const std::vector<ExpectedField>& Catalogue() {
  static const std::vector<ExpectedField> rows = {
      {"CAS Latency (Tcl)",
       "Tcl",
       0,
       3,
       0,
       {{0, "1.0 *"},
        {1, "2.0"},
        {2, "3.0"},
        {3, "4.0 *"},
        {4, "1.5 *"},
        {5, "2.5"},
        {6, "3.5 *"},
        {7, "4.5 *"}}},
      {"Row Cycle Time (Trc)",
       "Trc",
       4,
       4,
       0,
       {{0, "7"},
        {1, "8"},
        {2, "9"},
        {3, "10"},
        {4, "11"},
        {5, "12"},
        {6, "13"},
        {7, "14"},
        {8, "15"},
        {9, "16"},
        {10, "17"},
        {11, "18"},
        {12, "19"},
        {13, "20"},
        {14, "21"},
        {15, "22"}}},
      {"Row Refresh Cycle Time (Trfc)",
       "Trfc",
       8,
       4,
       0,
       {{0, "9"},
        {1, "10"},
        {2, "11"},
        {3, "12"},
        {4, "13"},
        {5, "14"},
        {6, "15"},
        {7, "16"},
        {8, "17"},
        {9, "18"},
        {10, "19"},
        {11, "20"},
        {12, "21"},
        {13, "22"},
        {14, "23"},
        {15, "24"}}},
      {"RAS to CAS Delay (Trcd)",
       "Trcd",
       12,
       3,
       0,
       {{0, "0 *"}, {1, "1 *"}, {2, "2"}, {3, "3"}, {4, "4"}, {5, "5"}, {6, "6"}, {7, "7 *"}}},
      {"RAS to RAS Delay (Trrd)",
       "Trrd",
       16,
       3,
       0,
       {{0, "0 *"}, {1, "1 *"}, {2, "2"}, {3, "3"}, {4, "4"}, {5, "5 *"}, {6, "6 *"}, {7, "7 *"}}},
      {"Min RAS Active Time (Tras)",
       "Tras",
       20,
       4,
       0,
       {{0, "0 *"},
        {1, "1 *"},
        {2, "2 *"},
        {3, "3 *"},
        {4, "4 *"},
        {5, "5"},
        {6, "6"},
        {7, "7"},
        {8, "8"},
        {9, "9"},
        {10, "10"},
        {11, "11"},
        {12, "12"},
        {13, "13"},
        {14, "14"},
        {15, "15"}}},
      {"Row Precharge Time (Trp)",
       "Trp",
       24,
       3,
       0,
       {{0, "0 *"}, {1, "1 *"}, {2, "2"}, {3, "3"}, {4, "4"}, {5, "5"}, {6, "6"}, {7, "7 *"}}},
      {"Write Recovery Time (Twr)", "Twr", 28, 1, 0, {{0, "2"}, {1, "3"}}},
      {"Write to Read Delay Time (Twtr)", "Twtr", 0, 1, 1, {{0, "1"}, {1, "2"}}},
      {"Read to Write Delay Time (Trtw)",
       "Trtw",
       4,
       3,
       1,
       {{0, "1"}, {1, "2"}, {2, "3"}, {3, "4"}, {4, "5"}, {5, "6"}, {6, "7 *"}, {7, "8 *"}}},
      {"Refresh Rate (Tref)",
       "Tref",
       8,
       4,
       1,
       {{0, "100 MHz 15.6us"},
        {1, "133 MHz 15.6us"},
        {2, "166 MHz 15.6us"},
        {3, "200 MHz 15.6us"},
        {4, "100 MHz 7.8us"},
        {5, "133 MHz 7.8us"},
        {6, "166 MHz 7.8us"},
        {7, "200 MHz 7.8us"},
        {8, "100 MHz 3.9us"},
        {9, "133 MHz 3.9us"},
        {10, "166 MHz 3.9us"},
        {11, "200 MHz 3.9us"},
        {12, "100 MHz 1.95us *"},
        {13, "133 MHz 1.95us *"},
        {14, "166 MHz 1.95us *"},
        {15, "200 MHz 1.95us *"}}},
      {"Read Write Queue Bypass",
       "ReadWriteQueueBypass",
       14,
       2,
       2,
       {{0, "2x"}, {1, "4x"}, {2, "8x"}, {3, "16x"}}},
      {"Controller Mode", "ControllerMode", 16, 1, 2, {{0, "64 bit"}, {1, "128 bit"}}},
      {"ECC Mode", "ECCMode", 17, 1, 2, kDisableEnable},
      {"Bypass Max",
       "BypassMax",
       25,
       3,
       2,
       {{0, "0x"}, {1, "1x"}, {2, "2x"}, {3, "3x"}, {4, "4x"}, {5, "5x"}, {6, "6x"}, {7, "7x"}}},
      {"2T Timing", "TwoTTiming", 28, 1, 2, kDisableEnable},
      {"Max Async Latency",
       "MaxAsyncLatency",
       0,
       4,
       3,
       {{0, "0 ns"},
        {1, "1 ns"},
        {2, "2 ns"},
        {3, "3 ns"},
        {4, "4 ns"},
        {5, "5 ns"},
        {6, "6 ns"},
        {7, "7 ns"},
        {8, "8 ns"},
        {9, "9 ns"},
        {10, "10 ns"},
        {11, "11 ns"},
        {12, "12 ns"},
        {13, "13 ns"},
        {14, "14 ns"},
        {15, "15 ns"}}},
      {"Read Preamble",
       "ReadPreamble",
       8,
       4,
       3,
       {{0, "2.0 ns"},
        {1, "2.5 ns"},
        {2, "3.0 ns"},
        {3, "3.5 ns"},
        {4, "4.0 ns"},
        {5, "4.5 ns"},
        {6, "5.0 ns"},
        {7, "5.5 ns"},
        {8, "6.0 ns"},
        {9, "6.5 ns"},
        {10, "7.0 ns"},
        {11, "7.5 ns"},
        {12, "8.0 ns"},
        {13, "8.5 ns"},
        {14, "9.0 ns"},
        {15, "9.5 ns"}}},
      {"Idle Cycle Limit",
       "IdleCycleLimit",
       16,
       3,
       3,
       {{0, "0 clks"},
        {1, "4 clks"},
        {2, "8 clks"},
        {3, "16 clks"},
        {4, "32 clks"},
        {5, "64 clks"},
        {6, "128 clks"},
        {7, "256 clks"}}},
      {"Dynamic Idle Cycle Counter", "DynamicIdleCycleCounter", 19, 1, 3, kDisableEnable},
      {"MEMCLK Frequency",
       "MEMCLKFrequency",
       20,
       3,
       3,
       {{0, "100"},
        {1, "117 *"},
        {2, "133"},
        {3, "133++ *"},
        {4, "150 *"},
        {5, "166"},
        {6, "183 *"},
        {7, "200"}}},
      {"MEM CLK 0", "MEMCLK0", 26, 1, 3, kDisableEnable},
      {"MEM CLK 1", "MEMCLK1", 27, 1, 3, kDisableEnable},
      {"MEM CLK 2", "MEMCLK2", 28, 1, 3, kDisableEnable},
      {"MEM CLK 3", "MEMCLK3", 29, 1, 3, kDisableEnable},
      {"Link Freq",
       "LinkFreq",
       8,
       4,
       5,
       {{15, "0.5x"},
        {0, "1.0x"},
        {1, "1.5x"},
        {2, "2.0x"},
        {3, "2.5x"},
        {4, "3.0x"},
        {5, "4.0x"},
        {6, "5.0x"}}},
      {"CRC Flood", "CRCFlood", 1, 1, 4, kDisableEnable},
      {"Stop Tristate", "StopTristate", 13, 1, 4, kDisableEnable},
      {"Ext Control Time", "ExtControlTime", 14, 1, 4, kDisableEnable},
      {"Width Out", "WidthOut", 20, 3, 4, kWidths},
      {"Width In", "WidthIN", 24, 3, 4, kWidths},
      {"Req Buf Cnt", "ReqBufCnt", 0, 4, 6, kCounts16},
      {"Posted Req Buf Cnt", "PostedReqBufCnt", 4, 4, 6, kCounts16},
      {"Resp Buf Cnt", "RespBufCnt", 8, 4, 6, kCounts16},
      {"Probe Buf Cnt", "ProbeBufCnt", 12, 4, 6, kCounts16},
      {"Req Data Buf Cnt", "ReqDataBufCnt", 16, 3, 6, kCounts8},
      {"Posted Req Data Buf Cnt", "PostedReqDataBufCnt", 20, 3, 6, kCounts8},
      {"Response Data Buf Cnt", "ResponseDataBufCnt", 24, 3, 6, kCounts8},
  };
  return rows;
}

// The choices of a list up to NoChoice, checking the slots after it stay empty.
Choices ListedChoices(const ChoiceList& list) {
  Choices out;
  int i = 0;
  for (; i < kChoiceSlots && list[i] != &NoChoice; ++i) {
    EXPECT_NE(list[i], nullptr) << "slot " << i;
    if (list[i] == nullptr) return out;
    out.emplace_back(list[i]->code, list[i]->text);
  }
  EXPECT_LT(i, kChoiceSlots) << "no NoChoice";
  for (++i; i < kChoiceSlots; ++i) EXPECT_EQ(list[i], nullptr) << "slot " << i;
  return out;
}

TEST(TablesTest, RegistersInTableOrder) {
  for (int i = 0; i < kRegisterCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(Registers[i].name, kRegisters[i].name);
    EXPECT_EQ(Registers[i].bus, 0);
    EXPECT_EQ(Registers[i].device, 0x18);
    EXPECT_EQ(Registers[i].function, kRegisters[i].function);
    EXPECT_EQ(Registers[i].offset, kRegisters[i].offset);
  }
}

TEST(TablesTest, EveryFieldRowAndChoice) {
  const auto& rows = Catalogue();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFieldCount));
  for (int i = 0; i < kFieldCount; ++i) {
    const ExpectedField& want = rows[i];
    const RegisterField& field = Fields[i];
    SCOPED_TRACE(want.key);
    EXPECT_STREQ(field.label, want.label);
    EXPECT_STREQ(field.key, want.key);
    EXPECT_EQ(field.shift, want.shift);
    EXPECT_EQ(field.width, want.width);
    EXPECT_EQ(field.reg, &Registers[want.reg]);
    ASSERT_NE(field.choices, nullptr);
    EXPECT_EQ(ListedChoices(*field.choices), want.choices);
  }
}

TEST(TablesTest, GroupsAndTheirOrder) {
  EXPECT_EQ(DramFields().size(), 25u);
  EXPECT_EQ(LinkFields().size(), 13u);
  EXPECT_EQ(DramFields().data(), &Fields[0]);
  EXPECT_STREQ(LinkFields().front().key, "LinkFreq");
  EXPECT_EQ(AllFields().size(), 38u);
  for (int i = 0; i < kDramRegisterCount; ++i) EXPECT_EQ(DramGroup[i], &Registers[i]);
  // LINK: 0x88, then 0x84, then 0x90.
  EXPECT_EQ(LinkGroup[0], &Registers[5]);
  EXPECT_EQ(LinkGroup[1], &Registers[4]);
  EXPECT_EQ(LinkGroup[2], &Registers[6]);
}

TEST(TablesTest, SharedListsAndRecords) {
  auto list = [](const char* key) { return FindField(key)->choices; };
  for (const char* key : {"MEMCLK1", "MEMCLK2", "MEMCLK3"}) EXPECT_EQ(list(key), list("MEMCLK0"));
  EXPECT_EQ(list("StopTristate"), list("CRCFlood"));
  EXPECT_EQ(list("ExtControlTime"), list("CRCFlood"));
  EXPECT_EQ(list("WidthIN"), list("WidthOut"));
  for (const char* key : {"PostedReqBufCnt", "RespBufCnt", "ProbeBufCnt"}) {
    EXPECT_EQ(list(key), list("ReqBufCnt"));
  }
  EXPECT_EQ(list("PostedReqDataBufCnt"), list("ReqDataBufCnt"));
  EXPECT_EQ(list("ResponseDataBufCnt"), list("ReqDataBufCnt"));
  // The 3-bit counts list the very records of the 16-entry list's first eight.
  for (int i = 0; i < 8; ++i) EXPECT_EQ((*list("ReqDataBufCnt"))[i], (*list("ReqBufCnt"))[i]);
  // Three Disable/Enable fields have lists (and records) of their own.
  std::set<const ChoiceList*> own = {list("ECCMode"), list("TwoTTiming"),
                                     list("DynamicIdleCycleCounter"), list("MEMCLK0"),
                                     list("CRCFlood")};
  EXPECT_EQ(own.size(), 5u);
  EXPECT_NE((*list("ECCMode"))[0], (*list("TwoTTiming"))[0]);
}

TEST(TablesTest, NoChoiceIsEmptyAndDistinct) {
  EXPECT_STREQ(NoChoice.text, "");
  EXPECT_EQ(NoChoice.code, 0);
  for (const RegisterField& field : AllFields()) {
    for (const FieldChoice* c : *field.choices) {
      if (c == &NoChoice) break;
      EXPECT_STRNE(c->text, "");
    }
  }
}

TEST(TablesTest, FindFieldUsesExactKeys) {
  EXPECT_EQ(FindField("Tcl"), &Fields[0]);
  EXPECT_EQ(FindField("WidthIN"), &Fields[30]);
  EXPECT_EQ(FindField("ResponseDataBufCnt"), &Fields[37]);
  EXPECT_EQ(FindField("tcl"), nullptr);
  EXPECT_EQ(FindField("WidthIn"), nullptr);
  EXPECT_EQ(FindField(""), nullptr);
  EXPECT_EQ(FindField(nullptr), nullptr);
}

}  // namespace
