// Test fixture for register files: a fresh simulated Windows, all cached register values 0,
// and helpers to set and read field codes by key.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "regs/Codec.h"
#include "sim/SimWindows.h"
#include "tests/native/regs/RegisterState.h"

class RegisterFileTest : public RegisterStateTest {
 protected:
  sim::ScopedSimWindows win;
  sim::FileSystem& fs = win->fs;
  const std::string folder = "C:\\Program Files\\Morvane";
  const std::string file = folder + "\\regs.mvn";

  static std::uint32_t Code(const char* key) { return FieldCode(F(key)); }
  static void SetCode(const char* key, std::uint32_t code) { SetFieldCode(F(key), code); }

  // A register set with a distinct, valid code in every field.
  static void FillDistinct(std::uint32_t seed) {
    for (const RegisterField& field : AllFields()) {
      std::uint32_t mask = (1u << field.width) - 1;
      SetFieldCode(field, (seed + static_cast<std::uint32_t>(&field - Fields) * 7) & mask);
    }
  }
  static std::string CodesOf() {
    std::string out;
    for (const RegisterField& field : AllFields()) {
      out += field.key;
      out += '=';
      out += std::to_string(FieldCode(field));
      out += ' ';
    }
    return out;
  }
  // The text a fresh save of the current codes writes.
  static std::string FreshText() {
    std::string text = "[DRAM]\r\n";
    for (const RegisterField& field : DramFields()) {
      text += std::string(field.key) + "=" + std::to_string(FieldCode(field)) + "\r\n";
    }
    text += "[LINK]\r\n";  // right after the last line, as the system writes it
    for (const RegisterField& field : LinkFields()) {
      text += std::string(field.key) + "=" + std::to_string(FieldCode(field)) + "\r\n";
    }
    return text;
  }
};
