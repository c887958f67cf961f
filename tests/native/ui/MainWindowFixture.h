// Set-up shared by the main window tests: the simulated Windows with a started driver over
// the simulated chip at its power-on values, the window built over memory controls, and
// helpers that act as the user or look at the chip.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "regs/Codec.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"
#include "tests/support/MemoryControls.h"
#include "ui/Aboutform.h"
#include "ui/Forms.h"
#include "ui/Setregform.h"

class MainWindowTest : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    SimNbReset();
    for (PciRegister& reg : Registers) {
      reg.value = 0;
      reg.readable = false;
    }
    ForceCurrentDirectory = false;
    int ok = 0;
    DeviceDriver = Initialized(&ok).release();
    ASSERT_EQ(ok, 1);
    win.machine.requests.clear();
    win.machine.deviceOpens = 0;
    win.fs.AddFolder("C:\\Data");
  }

  void TearDown() override {
    DestroyForms();
    form.reset();
    delete DeviceDriver;
    DeviceDriver = nullptr;
    for (PciRegister& reg : Registers) {
      reg.value = 0;
      reg.readable = false;
    }
    ForceCurrentDirectory = false;
    SimNbReset();
    DriverFixture::TearDown();
  }

  TSetDRAMRegisterForm& Create() {
    form = std::make_unique<TSetDRAMRegisterForm>(factory);
    return *form;
  }

  static const RegisterField& F(const char* key) {
    const RegisterField* field = FindField(key);
    EXPECT_NE(field, nullptr) << key;
    return *field;
  }

  // The item of `list` whose text is `text` (-1 when none).
  static int IndexOf(ChoiceBox& list, const std::string& text) {
    for (int i = 0; i < list.ItemCount(); ++i) {
      if (list.ItemText(i) == text) return i;
    }
    return -1;
  }

  // The user opens the list and picks the item shown as `text`.
  static void Pick(ChoiceBox& list, const std::string& text) {
    int index = IndexOf(list, text);
    ASSERT_GE(index, 0) << text;
    Mem(list).UserPick(index);
  }

  // What the chip holds, bypassing the driver.
  static std::uint32_t Chip(unsigned function, unsigned offset) {
    return SimNbConfigRead(function, offset);
  }

  // The configuration registers (as mechanism #1 addresses) written through the data port
  // since the requests were last cleared, in order.
  std::vector<std::uint32_t> ConfigWrites() const {
    std::vector<std::uint32_t> written;
    std::uint32_t address = 0;
    for (const auto& r : win.machine.requests) {
      if (r.code != MVN_IOCTL_WRITE_PORT) continue;
      if (r.port == 0xCF8) address = r.value;
      if (r.port == 0xCFC && (address & 0x80000000u) != 0) written.push_back(address);
    }
    return written;
  }

  // Every list shows its field's current choice, or "UNKNOWN" with nothing selected.
  void ExpectListsShowTheCaches() {
    for (ChoiceBox* list : form->BoundLists()) {
      const FieldChoice* current = CurrentChoice(*list->Field);
      SCOPED_TRACE(list->Field->key);
      if (current == &NoChoice) {
        EXPECT_EQ(list->ItemIndex(), -1);
        EXPECT_EQ(list->Text(), "UNKNOWN");
      } else {
        ASSERT_GE(list->ItemIndex(), 0);
        EXPECT_EQ(list->ItemChoice(list->ItemIndex()), current);
        EXPECT_EQ(list->Text(), current->text);
      }
    }
  }

  MemoryControlFactory factory;
  std::unique_ptr<TSetDRAMRegisterForm> form;
};
