// The message box as the window logic and the start-up commands see it.
#pragma once

#include <string>

// The application's title: the caption of the start-up's boxes and the framework's name.
inline constexpr char kApplicationTitle[] = "Morvane";

// MessageBoxA styles used by the program.
inline constexpr unsigned kMessageOk = 0x0;
inline constexpr unsigned kMessageIconStop = 0x10;
inline constexpr unsigned kMessageIconExclamation = 0x30;
inline constexpr unsigned kMessageYesNo = 0x4;

// Buttons a box reports (IDOK, IDYES, IDNO).
inline constexpr int kMessageIdOk = 1;
inline constexpr int kMessageIdYes = 6;
inline constexpr int kMessageIdNo = 7;

class MessageBoxControl {
 public:
  virtual ~MessageBoxControl() = default;
  // Shows a modal box with the buttons of `style` (an OK button unless kMessageYesNo);
  // returns the button pressed.
  virtual int Show(const std::string& text, const std::string& caption, unsigned style) = 0;
};
