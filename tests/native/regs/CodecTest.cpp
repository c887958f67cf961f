// Tests of the field codec and the list rules: codes from cached values, first-match lookup,
// bit-exact stores, binary display of reserved values, and list filling, showing and picking.
#include <gtest/gtest.h>

#include "regs/ChoiceBox.h"
#include "regs/Codec.h"
#include "tests/native/regs/RegisterState.h"
#include "tests/support/MemoryChoiceBox.h"

namespace {

using CodecTest = RegisterStateTest;

TEST_F(CodecTest, CodesComeFromTheFieldsOwnBits) {
  Registers[0].value = 5;
  EXPECT_EQ(FieldCode(F("Tcl")), 5u);
  EXPECT_STREQ(CurrentChoice(F("Tcl"))->text, "2.5");
  Registers[0].value = 0xFFFFFFFF;
  SetFieldCode(F("Tcl"), 2);
  EXPECT_EQ(Registers[0].value, 0xFFFFFFFAu);
  // Every field of every register reads all ones from a failed read, and zero at start.
  for (const RegisterField& field : AllFields()) field.reg->value = 0xFFFFFFFF;
  for (const RegisterField& field : AllFields()) {
    EXPECT_EQ(FieldCode(field), (1u << field.width) - 1) << field.key;
  }
  Clear();
  for (const RegisterField& field : AllFields()) EXPECT_EQ(FieldCode(field), 0u) << field.key;
}

TEST_F(CodecTest, StoringACodeTouchesOnlyTheFieldsBits) {
  for (const RegisterField& field : AllFields()) {
    SCOPED_TRACE(field.key);
    std::uint32_t mask = ((1u << field.width) - 1) << field.shift;
    for (std::uint32_t background : {0x00000000u, 0xFFFFFFFFu, 0xA5A55A5Au}) {
      for (std::uint32_t code = 0; code < (1u << field.width); ++code) {
        field.reg->value = background;
        SetFieldCode(field, code);
        EXPECT_EQ(field.reg->value & ~mask, background & ~mask);
        EXPECT_EQ(FieldCode(field), code);
      }
    }
  }
  // Same bit number, different registers: independent.
  Clear();
  SetFieldCode(F("TwoTTiming"), 1);
  EXPECT_EQ(FieldCode(F("MEMCLK2")), 0u);
  EXPECT_EQ(Registers[2].value, 1u << 28);
  EXPECT_EQ(Registers[3].value, 0u);
}

TEST_F(CodecTest, CodeWiderThanTheFieldCannotReachItsNeighbours) {
  Registers[0].value = 0;
  SetFieldCode(F("Twr"), 3);
  EXPECT_EQ(Registers[0].value, 1u << 28);
}

TEST_F(CodecTest, LookupFollowsListOrderAndEndsAtNoChoice) {
  const RegisterField& link = F("LinkFreq");
  SetFieldCode(link, 15);
  EXPECT_EQ(CurrentChoice(link), (*link.choices)[0]);
  for (std::uint32_t code = 7; code <= 14; ++code) {
    SetFieldCode(link, code);
    EXPECT_EQ(CurrentChoice(link), &NoChoice) << code;
  }
  for (const char* key : {"WidthOut", "WidthIN"}) {
    for (std::uint32_t code : {2u, 6u, 7u}) {
      SetFieldCode(F(key), code);
      EXPECT_EQ(CurrentChoice(F(key)), &NoChoice);
    }
  }
  SetFieldCode(F("WidthOut"), 0);
  EXPECT_STREQ(CurrentChoice(F("WidthOut"))->text, "8 bits");
  // The 3-bit counts stop at "7" although their records come from the 16-entry list.
  SetFieldCode(F("ReqDataBufCnt"), 7);
  EXPECT_STREQ(CurrentChoice(F("ReqDataBufCnt"))->text, "7");
}

TEST_F(CodecTest, AllZeroShowsTheCodeZeroChoices) {
  EXPECT_STREQ(CurrentChoice(F("Tcl"))->text, "1.0 *");
  EXPECT_STREQ(CurrentChoice(F("Trc"))->text, "7");
  EXPECT_STREQ(CurrentChoice(F("Trfc"))->text, "9");
  EXPECT_STREQ(CurrentChoice(F("LinkFreq"))->text, "1.0x");
  EXPECT_STREQ(CurrentChoice(F("WidthOut"))->text, "8 bits");
  EXPECT_STREQ(CurrentChoice(F("ProbeBufCnt"))->text, "0");
}

TEST_F(CodecTest, BinaryDigitsAndReservedTexts) {
  EXPECT_EQ(BinaryDigits(5, 3), "101");
  EXPECT_EQ(BinaryDigits(1, 3), "001");
  EXPECT_EQ(BinaryDigits(0xF, 0), "");
  EXPECT_EQ(BinaryDigits(0x80000001u, 32), "10000000000000000000000000000001");
  EXPECT_EQ(BinaryDigits(6, 2), "10");  // only the low `count` bits

  const RegisterField& tcl = F("Tcl");
  FieldChoice reserved = {"Reserved", 5};
  EXPECT_EQ(ChoiceDisplayText(tcl, reserved), "Reserved [101b]");
  FieldChoice lower = {"reserved", 5};
  FieldChoice longer = {"Reserved *", 5};
  EXPECT_EQ(ChoiceDisplayText(tcl, lower), "reserved");
  EXPECT_EQ(ChoiceDisplayText(tcl, longer), "Reserved *");
  EXPECT_EQ(ChoiceDisplayText(F("Twr"), FieldChoice{"Reserved", 1}), "Reserved [1b]");
}

TEST_F(CodecTest, FillListsEveryChoiceWithItsRecord) {
  MemoryChoiceBox box;
  box.items.push_back({"stale", nullptr});
  for (const RegisterField& field : AllFields()) {
    FillChoiceList(box, field);
    EXPECT_EQ(box.Text(), "UNKNOWN");
    EXPECT_EQ(box.ItemIndex(), -1);
    int i = 0;
    for (; (*field.choices)[i] != &NoChoice; ++i) {
      ASSERT_LT(i, box.ItemCount());
      EXPECT_EQ(box.ItemChoice(i), (*field.choices)[i]);
      EXPECT_EQ(box.ItemText(i), (*field.choices)[i]->text);
    }
    EXPECT_EQ(box.ItemCount(), i) << field.key;
  }
}

TEST_F(CodecTest, ShowSelectsTheCurrentChoiceByIdentity) {
  MemoryChoiceBox box;
  const RegisterField& width = F("WidthOut");
  FillChoiceList(box, width);
  SetFieldCode(width, 1);
  ShowCurrentChoice(box, width);
  EXPECT_EQ(box.ItemIndex(), 3);
  EXPECT_EQ(box.Text(), "16 bits");
  SetFieldCode(width, 6);
  ShowCurrentChoice(box, width);
  EXPECT_EQ(box.ItemIndex(), -1);
  EXPECT_EQ(box.Text(), "UNKNOWN");

  // Items whose text matches but whose record differs are not the current choice.
  MemoryChoiceBox lookalike;
  const RegisterField& ecc = F("ECCMode");
  FillChoiceList(lookalike, F("TwoTTiming"));
  ShowCurrentChoice(lookalike, ecc);
  EXPECT_EQ(lookalike.ItemIndex(), -1);
  EXPECT_EQ(lookalike.Text(), "UNKNOWN");
}

TEST_F(CodecTest, PickAppliesOnlyAValidSelection) {
  MemoryChoiceBox box;
  const RegisterField& width = F("WidthOut");
  box.Field = &width;
  FillChoiceList(box, width);
  Registers[4].value = 0xFFFFFFFF;
  int applied = 0;
  box.OnChange = [&applied](ChoiceBox& list) { applied += PickChoice(list) ? 1 : 0; };
  box.UserPick(0);  // "2 bits"
  EXPECT_EQ(applied, 1);
  EXPECT_EQ(FieldCode(width), 4u);
  EXPECT_EQ(Registers[4].value, (0xFFFFFFFFu & ~(7u << 20)) | (4u << 20));

  std::uint32_t before = Registers[4].value;
  box.UserType("9 bits");
  EXPECT_EQ(applied, 1);
  EXPECT_EQ(box.Text(), "UNKNOWN");
  EXPECT_EQ(Registers[4].value, before);
  // The redisplay that follows selects the current choice again.
  ShowCurrentChoice(box, width);
  EXPECT_EQ(box.ItemIndex(), 0);

  box.index = 99;  // out of range
  EXPECT_FALSE(PickChoice(box));
  EXPECT_EQ(Registers[4].value, before);
  MemoryChoiceBox unbound;
  FillChoiceList(unbound, width);
  unbound.SetItemIndex(1);
  EXPECT_FALSE(PickChoice(unbound));
}

}  // namespace
