// The application framework's error: what the start-up's one handler reports in its standard
// box. The programs are built without C++ exceptions (the unwinder and its tables would be a
// third of them), so the framework hands this back as a value from the step that failed.
#pragma once

#include <string>
#include <utility>

class Exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept { return message_.c_str(); }

 private:
  std::string message_;
};

// The text of the standard error box for a failure's message: the message with a full stop
// added where it has none.
inline std::string ExceptionBoxText(const std::string& message) {
  if (message.empty() || message.back() == '.') return message;
  return message + ".";
}
