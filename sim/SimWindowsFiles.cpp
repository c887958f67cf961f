// The simulated Windows: files calls (placeholder until simulated).
#include <cstdlib>

#include "sim/SimWindows.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace sim {

os::Handle SimWindows::CreateFileA(const char* name, os::Dword access, os::Dword share, os::Dword creation, os::Dword flagsAndAttributes) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::ReadFile(os::Handle file, void* buffer, os::Dword toRead, os::Dword* read) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::WriteFile(os::Handle file, const void* buffer, os::Dword toWrite, os::Dword* written) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::SetFilePointer(os::Handle file, os::Long distance, os::Long* distanceHigh, os::Dword method) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::GetFileSize(os::Handle file, os::Dword* sizeHigh) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::FlushFileBuffers(os::Handle file) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::DeleteFileA(const char* name) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::MoveFileExA(const char* existing, const char* replacement, os::Dword flags) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::MoveFileA(const char* existing, const char* newName) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::GetFileAttributesA(const char* name) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::GetCurrentDirectoryA(os::Dword size, char* buffer) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::SetCurrentDirectoryA(const char* path) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::GetModuleFileNameA(os::HModule module, char* buffer, os::Dword size) {
  std::abort();  // not simulated yet
}

unsigned SimWindows::GetWindowsDirectoryA(char* buffer, unsigned size) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::GetTempPathA(os::Dword size, char* buffer) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::GetFullPathNameA(const char* name, os::Dword size, char* buffer, char** filePart) {
  std::abort();  // not simulated yet
}

}  // namespace sim
