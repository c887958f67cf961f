// The marker of a register-file apply: written through to the disk before the registers are
// written, rewritten as a whole record after the read-back, and judged at the next start on
// the evidence the apply and its watch recorded.
#include "files/ApplyMarker.h"

#include <cstddef>

#include "files/IniFile.h"

namespace {

constexpr std::size_t kMaxPath = 260;  // characters, terminator included

// The record's lines; a record is whole only when it ends with the last one.
constexpr char kTokenKey[] = "Token=";
constexpr char kThisRunKey[] = "ThisRun=";
constexpr char kShutdownKey[] = "Shutdown=";
constexpr char kRestartedLine[] = "Restarted=1\r\n";
constexpr char kEndLine[] = "[End]\r\n";

constexpr char kLockName[] = "Global\\Morvane.apply";
constexpr char kWatchPrefixNt[] = "Global\\Morvane.watch.";
constexpr char kWatchPrefix9x[] = "Morvane.watch.";

bool IsFile(os::Dword attributes) {
  return attributes != os::kInvalidFileAttributes &&
         (attributes & os::kFileAttributeDirectory) == 0;
}

// The register file's full name and its marker's; false when there is no such marker name.
bool MarkerOf(const std::string& registerFile, std::string* full, std::string* marker) {
  os::Dword error = 0;
  if (!ini::FullPath(registerFile, full, &error)) return false;
  *marker = *full + kApplyMarkerSuffix;
  return marker->size() < kMaxPath;
}

// Written out by hand: the C library's formatted printing would add a fifth to the size of a
// program that starts at every log-on.
std::string Digits(std::uint64_t value, int width = 1) {
  std::string text;
  do {
    text.insert(text.begin(), static_cast<char>('0' + value % 10));
    value /= 10;
  } while (value != 0 || static_cast<int>(text.size()) < width);
  return text;
}

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

std::string TimeText(const os::SystemTime& time) {
  return Digits(time.wYear, 4) + "-" + Digits(time.wMonth, 2) + "-" + Digits(time.wDay, 2) + " " +
         Digits(time.wHour, 2) + ":" + Digits(time.wMinute, 2) + ":" + Digits(time.wSecond, 2);
}

// The text that follows `key` at the start of a line of `text`, up to the line's end; false
// when there is no such line.
bool ValueAfter(const std::string& text, const char* key, std::string* value) {
  std::string line = std::string("\n") + key;
  std::size_t at = text.find(line);
  if (at == std::string::npos) return false;
  std::size_t from = at + line.size();
  std::size_t end = text.find("\r\n", from);
  if (end == std::string::npos) return false;
  *value = text.substr(from, end - from);
  return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Creates (or empties) the marker and writes `text` through to the disk. A marker whose text
// did not reach the disk whole stays: it reads as an unfinished apply.
bool WriteThrough(const std::string& marker, const std::string& text) {
  os::Api& win = os::Windows();
  os::Handle file = win.CreateFileA(marker.c_str(), os::kGenericWrite, 0, os::kCreateAlways,
                                    os::kFileAttributeNormal | os::kFileFlagWriteThrough);
  if (file == os::kInvalidHandle) return false;
  os::Dword written = 0;
  bool ok = win.WriteFile(file, text.data(), static_cast<os::Dword>(text.size()), &written) &&
            written == text.size() && win.FlushFileBuffers(file);
  return win.CloseHandle(file) && ok;
}

// A token no other apply has: this process's id, the tick count and the clock.
std::string NewToken() {
  os::Api& win = os::Windows();
  os::FileTime now;
  win.GetSystemTimeAsFileTime(&now);
  std::uint8_t bytes[12];
  const os::Dword parts[3] = {win.GetCurrentProcessId(), win.GetTickCount(),
                              now.dwLowDateTime ^ now.dwHighDateTime};
  for (int p = 0; p < 3; ++p) {
    for (int b = 0; b < 4; ++b) bytes[p * 4 + b] = static_cast<std::uint8_t>(parts[p] >> (8 * b));
  }
  return Hex(bytes, sizeof bytes);
}

// The clean-shutdown record as Windows keeps it, in hexadecimal; "-" when there is none.
std::string ShutdownRecord() {
  os::Api& win = os::Windows();
  os::HKey key = nullptr;
  if (win.RegOpenKeyExA(os::kHKeyLocalMachine, kShutdownKeyPath, 0, os::kKeyRead, &key) !=
      os::kRegSuccess) {
    return "-";
  }
  std::uint8_t data[16] = {};
  os::Dword size = sizeof data, type = 0;
  os::Long result = win.RegQueryValueExA(key, kShutdownValue, &type, data, &size);
  win.RegCloseKey(key);
  if (result != os::kRegSuccess || type != os::kRegBinary || size == 0) return "-";
  return Hex(data, size);
}

// Whether `key` is volatile: below such a key an ordinary key cannot be made.
bool IsVolatile(os::HKey key) {
  os::Api& win = os::Windows();
  os::HKey probe = nullptr;
  os::Dword disposition = 0;
  os::Long made = win.RegCreateKeyExA(key, "probe", 0, nullptr, os::kRegOptionNonVolatile,
                                      os::kKeyAllAccess, nullptr, &probe, &disposition);
  if (made != os::kRegSuccess) return made == static_cast<os::Long>(os::kErrorChildMustBeVolatile);
  win.RegCloseKey(probe);
  win.RegDeleteKeyA(key, "probe");
  return false;
}

// Makes this run's volatile key anew, named for the apply; false where no volatile key can
// be had (the 9x family, or a key that turns out to be an ordinary one).
bool MakeThisRunKey(const std::string& token) {
  if (!os::IsNtFamily()) return false;
  os::Api& win = os::Windows();
  // Only a key this apply creates is known to be volatile: the option means nothing for a key
  // that is already there.
  win.RegDeleteKeyA(os::kHKeyLocalMachine, kThisRunKeyPath);
  os::HKey key = nullptr;
  os::Dword disposition = 0;
  if (win.RegCreateKeyExA(os::kHKeyLocalMachine, kThisRunKeyPath, 0, nullptr,
                          os::kRegOptionVolatile, os::kKeyAllAccess, nullptr, &key,
                          &disposition) != os::kRegSuccess) {
    return false;
  }
  bool ok = disposition == os::kRegCreatedNewKey && IsVolatile(key);
  const auto* data = reinterpret_cast<const std::uint8_t*>(token.c_str());
  ok = ok && win.RegSetValueExA(key, kThisRunValue, 0, os::kRegSz, data,
                                static_cast<os::Dword>(token.size() + 1)) == os::kRegSuccess;
  win.RegCloseKey(key);
  return ok;
}

// Whether this run's volatile key is there, still volatile (an ordinary key of that name
// would outlive a restart), and names the apply of this token.
bool ThisRunNames(const std::string& token) {
  os::Api& win = os::Windows();
  os::HKey key = nullptr;
  if (win.RegOpenKeyExA(os::kHKeyLocalMachine, kThisRunKeyPath, 0, os::kKeyAllAccess, &key) !=
      os::kRegSuccess) {
    return false;
  }
  char data[64] = {};
  os::Dword size = sizeof data - 1, type = 0;
  os::Long result =
      win.RegQueryValueExA(key, kThisRunValue, &type, reinterpret_cast<std::uint8_t*>(data), &size);
  bool named = result == os::kRegSuccess && type == os::kRegSz && std::string(data) == token &&
               IsVolatile(key);
  win.RegCloseKey(key);
  return named;
}

std::string RecordLines(const ApplyRecord& record) {
  return kTokenKey + record.token + "\r\n" + kThisRunKey + (record.thisRunKey ? "1" : "0") +
         "\r\n" + kShutdownKey + record.shutdown + "\r\n";
}

}  // namespace

ApplyLock::ApplyLock() {
  if (!os::IsNtFamily()) {
    held_ = true;
    return;
  }
  os::Api& win = os::Windows();
  mutex_ = win.CreateMutexA(0, kLockName);
  if (mutex_ == nullptr) return;
  // An owner that ended without letting go leaves it abandoned: its apply's marker tells what
  // it left undone.
  os::Dword waited = win.WaitForSingleObject(mutex_, kApplyLockMilliseconds);
  held_ = waited == os::kWaitObject0 || waited == os::kWaitAbandoned;
}

ApplyLock::~ApplyLock() {
  if (mutex_ == nullptr) return;
  os::Api& win = os::Windows();
  if (held_) win.ReleaseMutex(mutex_);
  win.CloseHandle(mutex_);
}

std::string WatchMutexName(const std::string& token) {
  return (os::IsNtFamily() ? kWatchPrefixNt : kWatchPrefix9x) + token;
}

bool WatchIsRunning(const std::string& token) {
  os::Api& win = os::Windows();
  os::Handle mutex = win.CreateMutexA(0, WatchMutexName(token).c_str());
  if (mutex == nullptr) return false;
  bool running = false;
  if (win.GetLastError() == os::kErrorAlreadyExists) {
    os::Dword waited = win.WaitForSingleObject(mutex, 0);
    running = waited == os::kWaitTimeout;
    if (waited == os::kWaitObject0 || waited == os::kWaitAbandoned) win.ReleaseMutex(mutex);
  }
  win.CloseHandle(mutex);
  return running;
}

std::string ApplyMarkerPath(const std::string& registerFile) {
  std::string full, marker;
  return MarkerOf(registerFile, &full, &marker) ? marker : std::string();
}

bool ApplyMarkerExists(const std::string& registerFile) {
  std::string marker = ApplyMarkerPath(registerFile);
  return !marker.empty() && IsFile(os::Windows().GetFileAttributesA(marker.c_str()));
}

std::string ApplyMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time,
                            const ApplyRecord& record) {
  return "; Morvane began to apply the register file below and has not finished. Its next\r\n"
         "; start-up apply is not made; a message asks to check the settings instead.\r\n"
         "[Apply]\r\n"
         "File=" +
         fullRegisterFile + "\r\nStarted=" + TimeText(time) + "\r\n" + RecordLines(record);
}

std::string ReadBackMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time,
                               const ApplyRecord& record, bool restarted) {
  std::string text =
      restarted
          ? "; Morvane applied the register file below and the computer restarted with no sign\r\n"
            "; that it survived 5 minutes. No start-up apply is made until the settings are\r\n"
            "; applied again.\r\n"
          : "; Morvane applied the register file below. Until the computer has run 5 minutes\r\n"
            "; after that, a restart holds back the start-up apply.\r\n";
  text += "[Apply]\r\nFile=" + fullRegisterFile + "\r\nApplied=" + TimeText(time) + "\r\n";
  text += RecordLines(record);
  if (restarted) text += kRestartedLine;
  return text + kEndLine;
}

namespace {

// The marker's whole read-back record; false when it is not whole (or unreadable). *missing
// tells a marker that is not there (or a folder of that name) from one that cannot be read.
bool ReadRecord(const std::string& marker, std::string* text, bool* missing) {
  *missing = false;
  if (!IsFile(os::Windows().GetFileAttributesA(marker.c_str()))) {
    *missing = true;
    return false;
  }
  os::Dword error = 0;
  if (!ini::ReadWholeFile(marker, text, &error)) {
    *missing = error == os::kErrorFileNotFound;
    return false;
  }
  return EndsWith(*text, std::string("\n") + kEndLine);
}

}  // namespace

LastApply CheckLastApply(const std::string& registerFile) {
  std::string full, marker;
  if (!MarkerOf(registerFile, &full, &marker)) return LastApply::Clear;
  std::string text;
  bool missing = false;
  // A folder of that name is no marker: the apply goes ahead, unwatched, as where none can be
  // written.
  if (!ReadRecord(marker, &text, &missing)) return missing ? LastApply::Clear : LastApply::Unfinished;
  if (text.find(std::string("\n") + kRestartedLine) != std::string::npos) {
    return LastApply::RestartedSoon;
  }
  ApplyRecord record;
  std::string thisRun;
  if (ValueAfter(text, kTokenKey, &record.token) && !record.token.empty() &&
      ValueAfter(text, kThisRunKey, &thisRun) && ValueAfter(text, kShutdownKey, &record.shutdown)) {
    record.thisRunKey = thisRun == "1";
    // Its watch is still counting the minutes in this run of Windows.
    if (WatchIsRunning(record.token)) return LastApply::Watched;
    // Windows has not restarted since the apply (a log-off and log-on, or a watch that was
    // ended): the apply has not cost the machine, and may be made again.
    if (record.thisRunKey && ThisRunNames(record.token)) return LastApply::Clear;
    // Windows recorded a clean shutdown after the read-back. Compared as recorded, not by
    // its time: a clock that runs behind after a reset would date an old record after it.
    std::string now = ShutdownRecord();
    if (now != "-" && now != record.shutdown) {
      RemoveApplyMarker(registerFile);
      return LastApply::Clear;
    }
  }
  // A restart with no sign of a survived apply. Later starts must hold back too, whatever
  // shutdowns come after this one: only the record keeps the verdict.
  os::SystemTime now;
  os::Windows().GetLocalTime(&now);
  if (record.token.empty()) record = ApplyRecord{"-", false, "-"};
  WriteThrough(marker, ReadBackMarkerText(full, now, record, true));
  return LastApply::RestartedSoon;
}

bool WriteApplyMarker(const std::string& registerFile, ApplyRecord* record) {
  std::string full, marker;
  if (!MarkerOf(registerFile, &full, &marker)) return false;
  record->token = NewToken();
  record->shutdown = ShutdownRecord();
  record->thisRunKey = MakeThisRunKey(record->token);
  os::SystemTime now;
  os::Windows().GetLocalTime(&now);
  return WriteThrough(marker, ApplyMarkerText(full, now, *record));
}

bool RecordApplyReadBack(const std::string& registerFile, const ApplyRecord& record) {
  std::string full, marker;
  if (!MarkerOf(registerFile, &full, &marker)) return false;
  os::SystemTime now;
  os::Windows().GetLocalTime(&now);
  if (WriteThrough(marker, ReadBackMarkerText(full, now, record, false))) return true;
  RemoveApplyMarker(registerFile);
  return false;
}

bool MarkerRecordsReadBack(const std::string& registerFile, const std::string& token) {
  std::string text, marker = ApplyMarkerPath(registerFile), found;
  bool missing = false;
  return !marker.empty() && ReadRecord(marker, &text, &missing) &&
         text.find(std::string("\n") + kRestartedLine) == std::string::npos &&
         ValueAfter(text, kTokenKey, &found) && found == token;
}

bool RemoveApplyMarker(const std::string& registerFile) {
  std::string marker = ApplyMarkerPath(registerFile);
  if (marker.empty()) return true;
  os::Api& win = os::Windows();
  if (win.DeleteFileA(marker.c_str())) return true;
  return !IsFile(win.GetFileAttributesA(marker.c_str()));
}
