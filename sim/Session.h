// The simulated Windows' process and user session: mutexes, command line, message texts,
// message boxes and the registry.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/Api.h"

namespace sim {

// Registry value types the simulation distinguishes (winnt.h values).
inline constexpr os::Dword kRegDword = 4;

// Access bits that change a key or its values; a user without rights to a key is refused
// any of them (as a standard user is on HKEY_LOCAL_MACHINE).
inline constexpr os::Dword kKeyWriteAccessBits = 0x0002 | 0x0004 | 0x0020 |  // set, create, link
                                                 0x00010000 | 0x00040000 | 0x00080000;

class Session {
 public:
  Session();

  // --- Named mutexes. Names are case-sensitive, as object names are.
  // A mutex held open by another process, so that this process's CreateMutexA finds it;
  // `owned`: that process owns it too, so waits on it time out until it lets go.
  void AddForeignMutex(const std::string& name, bool owned = false);
  // The other process releases its mutex (or ends without: `abandon`) and closes it.
  void DropForeignMutex(const std::string& name, bool abandon = false);
  // Another process (`owner`, which holds it open) takes the named mutex, as a process this
  // one started would; it is made when there is none of that name.
  void TakeMutexAs(const std::string& name, os::Dword owner);
  // Whether another process owns the named mutex, and whether this process does.
  bool MutexOwnedByOther(const std::string& name) const;
  bool MutexOwnedHere(const std::string& name) const;
  bool MutexExists(const std::string& name) const;
  // Handles this process holds open on the named mutex.
  int MutexHandleCount(const std::string& name) const;
  // The process has ended: the mutex handles it never closed are closed by the system, so
  // a test can run the program again in the same simulated Windows.
  void EndProcess();

  // --- The process: its id, and the processes it started (CreateProcessA), which run only
  // when a test runs them; onCreateProcess, when set, sees each as it starts.
  os::Dword processId = 0x4D0;
  struct StartedProcess {
    std::string commandLine;
    os::Dword flags;
    std::string directory;
    os::Dword processId;
  };
  std::vector<StartedProcess> startedProcesses;
  std::function<void(const StartedProcess&)> onCreateProcess;
  // The account the process runs as (its token's user).
  std::string userSid = "S-1-5-21-1004336348-1177238915-682003330-500";

  // --- The process's command line as GetCommandLineA hands it out.
  std::string commandLine = "\"C:\\Program Files\\Morvane\\morvane.exe\"";

  // --- System message texts by error code, as FormatMessageA finds them (each ends in CR LF).
  std::map<os::Dword, std::string> systemMessages;
  // Buffers FormatMessageA allocated and LocalFree has not yet released.
  int LiveAllocations() const { return static_cast<int>(allocations_.size()); }

  // --- Message boxes: each shown box is recorded; `answer`, when set, is asked for the
  // button (it may also act as the user would while the box is up), otherwise OK is pressed.
  struct MessageBoxRecord {
    void* owner;
    std::string text;
    std::string caption;
    os::Dword type;
  };
  std::vector<MessageBoxRecord> messageBoxes;
  std::function<int(const MessageBoxRecord&)> answer;

  // --- The clock.
  os::SystemTime localTime{2026, 3, 2, 17, 7, 45, 9, 250};  // Tuesday 17 March 2026, 07:45:09
  // The system clock (UTC, 100-ns units since 1601) and the moment the system last started;
  // GetTickCount answers the milliseconds between, wrapping at 2^32. Sleep advances the clock.
  static constexpr std::uint64_t kMillisecond = 10'000;
  std::uint64_t systemTime = 134182071092500000;                 // 17 March 2026, 07:45:09.250 UTC
  std::uint64_t startedAt = systemTime - 95'000 * kMillisecond;  // running for 95 seconds
  void Advance(std::uint64_t milliseconds) { systemTime += milliseconds * kMillisecond; }
  // The clock is set by hand or by a time server: it jumps, the tick count does not.
  void SetClockBy(std::int64_t milliseconds) {
    systemTime += static_cast<std::uint64_t>(milliseconds) * kMillisecond;
    startedAt += static_cast<std::uint64_t>(milliseconds) * kMillisecond;
  }
  // The computer restarts now (a reset, or switched off and on): the system has just started,
  // every process is gone and the volatile keys with them; files and the rest of the registry
  // stay.
  void Restart();
  // Windows shuts down cleanly now and records it (ShutdownTime, the clock as a FILETIME);
  // the restart follows with Restart().
  void CleanShutdown();
  static constexpr char kShutdownKey[] =
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Windows";

  // --- The registry. Paths are full ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), names are matched
  // without regard to case.
  struct RegValue {
    os::Dword type;
    std::vector<std::uint8_t> data;
  };
  void AddKey(const std::string& path);  // with any missing parents
  bool KeyIsVolatile(const std::string& path) const;
  bool HasSubKeys(const std::string& path) const;
  bool KeyExists(const std::string& path) const;
  void RemoveKey(const std::string& path);  // with everything below it
  void SetValue(const std::string& path, const std::string& name, os::Dword type,
                std::vector<std::uint8_t> data);
  void SetStringValue(const std::string& path, const std::string& name, const std::string& text);
  std::optional<RegValue> Value(const std::string& path, const std::string& name) const;
  // The data of a REG_SZ value without its terminating NUL, or nullopt when absent or not a
  // properly terminated string.
  std::optional<std::string> StringValue(const std::string& path, const std::string& name) const;
  int ValueCount(const std::string& path) const;
  // The user may not change this key or anything below it (write access is refused with
  // ERROR_ACCESS_DENIED); reading stays allowed.
  void DenyWrites(const std::string& path);

  // --- The task scheduler's root folder: each task with the exact XML and logon type it was
  // registered with. Names are matched without regard to case.
  struct Task {
    std::string name;
    std::string xml;
    os::Long logonType;
  };
  std::vector<Task> tasks;
  const Task* FindTask(const std::string& name) const;

  // --- Used by SimWindows' operations.
  struct Mutex {
    std::string name;  // empty: unnamed
    bool foreign;      // held open by another process
    int handles;       // open handles of this process
    os::Dword owner = 0;   // the owning process, 0 for none
    int recursion = 0;     // how often the owner took it
    bool abandoned = false;
  };
  // WaitForSingleObject on a mutex: kWaitObject0 or kWaitAbandoned when taken (by this
  // process), kWaitTimeout when another owns it.
  os::Dword TakeMutex(int id);
  bool ReleaseMutexOf(int id);
  // Returns the mutex id; *existed tells whether a named mutex of that name was already there.
  int OpenOrCreateMutex(const char* name, bool* existed);
  void CloseMutex(int id);

  char* Allocate(const std::string& text);
  bool Release(void* memory);

  struct Key {
    std::string path;  // as first created
    std::vector<std::pair<std::string, RegValue>> values;
    bool isVolatile = false;
  };
  // Predefined root keys by handle value, or empty.
  static std::string RootName(os::HKey key);
  Key* FindKey(const std::string& path);
  const Key* FindKey(const std::string& path) const;
  Key& CreateKey(const std::string& path, bool* created, bool isVolatile = false);
  bool WriteDenied(const std::string& path) const;

  // Keys opened through the registry calls, by id.
  struct OpenKey {
    std::string path;
    os::Dword access;
  };
  int AddOpenKey(std::string path, os::Dword access);
  OpenKey* FindOpenKey(int id);
  void CloseKey(int id);
  int OpenKeyCount() const;

 private:
  std::vector<Mutex> mutexes_;
  std::vector<std::unique_ptr<char[]>> allocations_;
  std::map<std::string, Key> keys_;  // by upper-case path
  std::vector<std::string> denied_;  // upper-case paths
  std::map<int, OpenKey> openKeys_;
  int nextKeyId_ = 1;
};

}  // namespace sim
