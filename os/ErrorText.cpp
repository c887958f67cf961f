// The system's texts for error codes.
#include "os/ErrorText.h"

namespace os {

std::string SystemErrorText(Dword code) {
  Api& win = Windows();
  char* text = nullptr;
  Dword length = win.FormatMessageA(
      kFormatMessageAllocateBuffer | kFormatMessageFromSystem | kFormatMessageIgnoreInserts,
      nullptr, code, kLangNeutralSubLangDefault, reinterpret_cast<char*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return {};
  std::string result(text, length);
  win.LocalFree(text);
  return result;
}

std::string HResultText(HResult result) {
  auto code = static_cast<Dword>(result);
  std::string text = SystemErrorText(IsWin32HResult(result) ? (code & 0xFFFFu) : code);
  if (!text.empty()) return text;
  std::string number = "Error 0x";
  for (int shift = 28; shift >= 0; shift -= 4) number += "0123456789ABCDEF"[(code >> shift) & 0xF];
  return number + ".";
}

}  // namespace os
