// The simulated Windows: machine calls (placeholder until simulated).
#include <cstdlib>

#include "sim/SimWindows.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace sim {

os::Bool SimWindows::DeviceIoControl(os::Handle device, os::Dword code, const void* in, os::Dword inSize, void* out, os::Dword outSize, os::Dword* returned) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::GetVersionExA(os::OsVersionInfo* info) {
  std::abort();  // not simulated yet
}

os::HModule SimWindows::LoadLibraryA(const char* name) {
  std::abort();  // not simulated yet
}

os::Proc SimWindows::GetProcAddress(os::HModule module, const char* name) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::FreeLibrary(os::HModule module) {
  std::abort();  // not simulated yet
}

void SimWindows::GetNativeSystemInfo(os::SystemInfo* info) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::IsWow64Process(os::Handle process, os::Bool* wow64) {
  std::abort();  // not simulated yet
}

os::Handle SimWindows::GetCurrentProcess() {
  std::abort();  // not simulated yet
}

os::ScHandle SimWindows::OpenSCManagerA(const char* machineName, const char* database, os::Dword access) {
  std::abort();  // not simulated yet
}

os::ScHandle SimWindows::CreateServiceA(os::ScHandle manager, const char* name, const char* displayName, os::Dword access, os::Dword type, os::Dword start, os::Dword errorControl, const char* binaryPath, const char* loadOrderGroup, os::Dword* tagId, const char* dependencies, const char* account, const char* password) {
  std::abort();  // not simulated yet
}

os::ScHandle SimWindows::OpenServiceA(os::ScHandle manager, const char* name, os::Dword access) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::StartServiceA(os::ScHandle service, os::Dword argc, const char** argv) {
  std::abort();  // not simulated yet
}

os::Bool SimWindows::CloseServiceHandle(os::ScHandle handle) {
  std::abort();  // not simulated yet
}

os::Dword SimWindows::InPortDword(std::uint16_t port) {
  std::abort();  // not simulated yet
}

void SimWindows::OutPortDword(std::uint16_t port, os::Dword value) {
  std::abort();  // not simulated yet
}

void SimWindows::Cpuid(os::Dword leaf, os::Dword regs[4]) {
  std::abort();  // not simulated yet
}

}  // namespace sim
