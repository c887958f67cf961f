// The watch of one log-on apply: started detached, it counts 5 minutes of the computer's
// running on the tick count and then removes the apply's marker under the apply lock.
#include "files/ApplyWatch.h"

#include <vector>

#include "files/ApplyMarker.h"

bool StartApplyWatch(const std::string& program, const std::string& registerFile,
                     const std::string& token) {
  os::Api& win = os::Windows();
  // Held while the watch starts, so that the name exists until the watch owns it.
  os::Handle mutex = win.CreateMutexA(0, WatchMutexName(token).c_str());
  if (mutex == nullptr) return false;
  std::string line = "\"" + program + "\" " + kWatchTail + token + " " + registerFile;
  std::vector<char> commandLine(line.begin(), line.end());
  commandLine.push_back('\0');
  std::vector<char> copy = commandLine;
  os::ProcessInformation process;
  // Out of the log-on task's job where the job lets it go, so that the task's end does not
  // end the watch; elsewhere (9x, or a job that keeps its processes) as a plain process.
  bool started =
      win.CreateProcessA(commandLine.data(), os::kDetachedProcess | os::kCreateBreakawayFromJob,
                         nullptr, &process) ||
      win.CreateProcessA(copy.data(), os::kDetachedProcess, nullptr, &process);
  bool up = false;
  if (started) {
    win.CloseHandle(process.hThread);
    win.CloseHandle(process.hProcess);
    for (os::Dword waited = 0; waited < kWatchStartMilliseconds; waited += 20) {
      os::Dword state = win.WaitForSingleObject(mutex, 0);
      if (state == os::kWaitTimeout) {
        up = true;  // the watch owns it
        break;
      }
      if (state != os::kWaitObject0 && state != os::kWaitAbandoned) break;
      win.ReleaseMutex(mutex);
      win.Sleep(20);
    }
  }
  win.CloseHandle(mutex);
  return up;
}

bool ParseWatchTail(const std::string& tail, std::string* token, std::string* registerFile) {
  const std::string prefix = kWatchTail;
  if (tail.compare(0, prefix.size(), prefix) != 0) return false;
  std::size_t end = tail.find(' ', prefix.size());
  if (end == std::string::npos || end == prefix.size() || end + 1 >= tail.size()) return false;
  *token = tail.substr(prefix.size(), end - prefix.size());
  *registerFile = tail.substr(end + 1);
  return true;
}

void RunApplyWatch(const std::string& registerFile, const std::string& token) {
  os::Api& win = os::Windows();
  os::Handle mutex = win.CreateMutexA(0, WatchMutexName(token).c_str());
  if (mutex == nullptr) return;
  // The apply holds the name open while this starts and may take it for a moment.
  os::Dword owned = win.WaitForSingleObject(mutex, kWatchStartMilliseconds);
  if (owned != os::kWaitObject0 && owned != os::kWaitAbandoned) {
    win.CloseHandle(mutex);
    return;
  }
  os::Dword since = win.GetTickCount(), last = since;
  bool confirmed = false;
  while (MarkerRecordsReadBack(registerFile, token)) {
    if (win.GetTickCount() - since >= kConfirmMilliseconds) {
      confirmed = true;
      break;
    }
    win.Sleep(kWatchStepMilliseconds);
    os::Dword now = win.GetTickCount();
    // Far later than asked: the computer slept or hibernated, and the minutes start anew.
    if (now - last > kWatchStepMilliseconds + kWatchPauseMilliseconds) since = now;
    last = now;
  }
  if (confirmed) {
    ApplyLock lock;
    if (lock.Held() && MarkerRecordsReadBack(registerFile, token)) RemoveApplyMarker(registerFile);
  }
  win.ReleaseMutex(mutex);
  win.CloseHandle(mutex);
}
