// The application framework's exception base class: raised by register-file writes and by
// anything else the start-up's one handler should report in its standard box.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};
