// Numbers in the host tools' error messages, in hexadecimal ("0x1F4").
#pragma once

#include <cstdint>
#include <string>

namespace hostfiles {

inline std::string Hex(std::uint64_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

}  // namespace hostfiles
