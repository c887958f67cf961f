// The command tail of the process's command line, split off the program name.
#include "app/CommandTail.h"

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
}  // namespace

std::string CommandTail(const char* commandLine) {
  if (commandLine == nullptr) return {};
  const char* p = commandLine;
  while (IsBlank(*p)) ++p;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"' && *p != '\t') ++p;
    if (*p != '\0') ++p;  // the closing quote (or the tab that ended the name)
  } else {
    while (*p != '\0' && !IsBlank(*p)) ++p;
  }
  while (IsBlank(*p)) ++p;
  return p;
}
