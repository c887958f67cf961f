// The simulated Windows' shared parts: last error, handle table, fault injection, and the
// one CloseHandle that every kind of kernel object goes through.
#include "sim/SimWindows.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace sim {

SimWindows::SimWindows() = default;
SimWindows::~SimWindows() = default;

void SimWindows::FailCall(std::string call, os::Dword error, int skip, int times) {
  failures_.push_back({std::move(call), error, skip, times});
}

void SimWindows::ClearFailures() { failures_.clear(); }

bool SimWindows::ShouldFail(const char* call) {
  calls.emplace_back(call);
  if (beforeCall) beforeCall(call);
  for (auto& f : failures_) {
    if (f.call != call || f.times == 0) continue;
    if (f.skip > 0) {
      --f.skip;
      continue;
    }
    if (f.times > 0) --f.times;
    lastError_ = f.error;
    return true;
  }
  return false;
}

int SimWindows::CallCount(std::string_view call) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

void* SimWindows::NewHandle(HandleKind kind, int id) {
  handles_.push_back({kind, id});
  // Small even numbers, like real handles: never null, never INVALID_HANDLE_VALUE.
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(handles_.size() * 4));
}

const SimWindows::HandleEntry* SimWindows::FindHandle(const void* handle, HandleKind kind) const {
  auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value == 0 || value % 4 != 0 || value / 4 > handles_.size()) return nullptr;
  const HandleEntry& entry = handles_[value / 4 - 1];
  if (entry.id < 0 || entry.kind != kind) return nullptr;
  return &entry;
}

void SimWindows::ForgetHandle(const void* handle) {
  auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value == 0 || value % 4 != 0 || value / 4 > handles_.size()) return;
  handles_[value / 4 - 1].id = -1;
}

int SimWindows::OpenHandleCount(HandleKind kind) const {
  return static_cast<int>(std::count_if(handles_.begin(), handles_.end(), [kind](const auto& h) {
    return h.kind == kind && h.id >= 0;
  }));
}

os::Dword SimWindows::GetLastError() { return lastError_; }
void SimWindows::SetLastError(os::Dword code) { lastError_ = code; }

os::Bool SimWindows::CloseHandle(os::Handle object) {
  if (ShouldFail("CloseHandle")) return 0;
  for (HandleKind kind : {HandleKind::File, HandleKind::Device, HandleKind::Mutex,
                          HandleKind::Process, HandleKind::Token}) {
    const HandleEntry* entry = FindHandle(object, kind);
    if (entry == nullptr) continue;
    int id = entry->id;
    ForgetHandle(object);
    if (kind == HandleKind::File) fs.CloseFile(id);
    if (kind == HandleKind::Device) machine.CloseDevice(id);
    if (kind == HandleKind::Mutex) session.CloseMutex(id);
    return 1;
  }
  lastError_ = os::kErrorInvalidHandle;
  return 0;
}

ScopedSimWindows::ScopedSimWindows() : win_(new SimWindows) { os::Install(win_); }
ScopedSimWindows::~ScopedSimWindows() {
  os::Install(nullptr);
  delete win_;
}

}  // namespace sim
