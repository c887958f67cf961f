// The message box as the window logic and the start-up commands see it.
#pragma once

#include <string>

// MessageBoxA styles used by the program.
inline constexpr unsigned kMessageOk = 0x0;
inline constexpr unsigned kMessageIconStop = 0x10;
inline constexpr unsigned kMessageIconExclamation = 0x30;

class MessageBoxControl {
 public:
  virtual ~MessageBoxControl() = default;
  // Shows a modal box with an OK button; returns the button pressed (1 for OK).
  virtual int Show(const std::string& text, const std::string& caption, unsigned style) = 0;
};
