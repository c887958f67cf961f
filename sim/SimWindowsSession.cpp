// The simulated Windows: session calls (placeholder until simulated).
#include <cstdlib>

#include "sim/SimWindows.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace sim {

os::Handle SimWindows::CreateMutexA(os::Bool initialOwner, const char* name) {
  std::abort();  // not simulated yet
}

const char* SimWindows::GetCommandLineA() {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::FormatMessageA(os::Dword flags, const void* source, os::Dword messageId, os::Dword languageId, char* buffer, os::Dword size, void* arguments) {
  std::abort();  // not simulated yet
}

void* SimWindows::LocalFree(void* memory) {
  std::abort();  // not simulated yet
}

int SimWindows::MessageBoxA(void* owner, const char* text, const char* caption, os::Dword type) {
  std::abort();  // not simulated yet
}

os::Long SimWindows::RegOpenKeyExA(os::HKey key, const char* subKey, os::Dword options, os::Dword access, os::HKey* result) {
  std::abort();  // not simulated yet
}

os::Long SimWindows::RegCreateKeyExA(os::HKey key, const char* subKey, os::Dword reserved, char* className, os::Dword options, os::Dword access, void* security, os::HKey* result, os::Dword* disposition) {
  std::abort();  // not simulated yet
}

os::Long SimWindows::RegSetValueExA(os::HKey key, const char* valueName, os::Dword reserved, os::Dword type, const std::uint8_t* data, os::Dword size) {
  std::abort();  // not simulated yet
}

os::Long SimWindows::RegDeleteValueA(os::HKey key, const char* valueName) {
  std::abort();  // not simulated yet
}

os::Long SimWindows::RegCloseKey(os::HKey key) {
  std::abort();  // not simulated yet
}

}  // namespace sim
