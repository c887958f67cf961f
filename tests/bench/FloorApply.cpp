// The floor of a silent apply: only the calls that applying a register file cannot avoid,
// in the program's order. The instance mutex, the platform queries, the driver service, the 7
// registers read, the file read once and its 38 keys looked up, then each register written and
// read back: 21 device opens of 4 requests each. No window library is loaded.
// Exits with 1 when any step fails, so that a broken setup is not timed as a fast one.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/bench/Floor.h"

namespace {

// The value text of `key` in `section` of an INI text, or null.
const char* FindKey(const std::string& text, const char* section, const char* key) {
  bool inSection = false;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const char* line = text.c_str() + at;
    if (*line == '[') {
      inSection = std::strncmp(line + 1, section, std::strlen(section)) == 0;
    } else if (inSection && std::strncmp(line, key, std::strlen(key)) == 0 &&
               line[std::strlen(key)] == '=') {
      return line + std::strlen(key) + 1;
    }
    at = end + 1;
  }
  return nullptr;
}

bool ReadFileText(const char* path, std::string* text) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char chunk[4096];
  DWORD read = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof chunk, &read, nullptr) != 0) && read > 0) {
    text->append(chunk, read);
  }
  CloseHandle(file);
  return ok;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
  using namespace floor_calls;
  if (!TakeInstance()) return 1;
  if (!PlatformQueries() || !StartDriverService()) return 1;
  if (!ReadGroup(DramGroup) || !ReadGroup(LinkGroup)) return 1;
  std::string text;
  if (!ReadFileText(commandTail, &text)) return 1;
  int found = 0;
  int index = 0;
  for (const RegisterField& field : AllFields()) {
    const char* section = index++ < kDramFieldCount ? "DRAM" : "LINK";
    if (FindKey(text, section, field.key) != nullptr) ++found;
  }
  if (found == 0) return 1;
  if (!WriteGroup(DramGroup) || !ReadGroup(DramGroup) || !WriteGroup(LinkGroup) ||
      !ReadGroup(LinkGroup)) {
    return 1;
  }
  return 0;
}
