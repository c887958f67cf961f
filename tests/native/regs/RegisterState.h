// Test fixture base that starts and ends every test with all cached register values at 0.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>

#include "regs/Tables.h"

class RegisterStateTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    for (PciRegister& reg : Registers) reg.value = 0;
  }
  static const RegisterField& F(const char* key) {
    const RegisterField* field = FindField(key);
    if (field == nullptr) throw std::logic_error(key);
    return *field;
  }
};
