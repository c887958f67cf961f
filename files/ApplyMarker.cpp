// The marker of a register-file apply: written through to the disk before the registers are
// written, rewritten with the read-back's times, and judged at the next start.
#include "files/ApplyMarker.h"

#include <cstddef>

#include "files/IniFile.h"

namespace {

constexpr std::size_t kMaxPath = 260;  // characters, terminator included

// The tick count and the clock of one run of the system move on together; a clock set by
// hand or by a time server, or resumed from the real-time clock after sleep, differs by a
// few seconds at most. A restart shows as far more: the system's whole start and log-on.
constexpr std::int64_t kSameRunTolerance = 10'000;

// The record's lines; a record is whole only when it ends with the last one.
constexpr char kReadBackKey[] = "ReadBack=";
constexpr char kUptimeKey[] = "Uptime=";
constexpr char kRestartedLine[] = "Restarted=1\r\n";
constexpr char kEndLine[] = "[End]\r\n";

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

std::string TimeText(const os::SystemTime& time) {
  return Digits(time.wYear, 4) + "-" + Digits(time.wMonth, 2) + "-" + Digits(time.wDay, 2) + " " +
         Digits(time.wHour, 2) + ":" + Digits(time.wMinute, 2) + ":" + Digits(time.wSecond, 2);
}

// The system clock in milliseconds since 1601, UTC.
std::uint64_t ClockMilliseconds() {
  os::FileTime now;
  os::Windows().GetSystemTimeAsFileTime(&now);
  return ((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) / 10'000;
}

// The decimal number that follows `key` at the start of a line of `text`, no larger than
// `limit`; false when there is none.
bool NumberAfter(const std::string& text, const char* key, std::uint64_t limit,
                 std::uint64_t* value) {
  std::string line = std::string("\n") + key;
  std::size_t at = text.find(line);
  if (at == std::string::npos) return false;
  std::size_t i = at + line.size();
  std::uint64_t number = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (number > (limit - digit) / 10) return false;
    number = number * 10 + digit;
  }
  if (digits == 0 || text.compare(i, 2, "\r\n") != 0) return false;
  *value = number;
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

}  // namespace

std::string ApplyMarkerPath(const std::string& registerFile) {
  std::string full, marker;
  return MarkerOf(registerFile, &full, &marker) ? marker : std::string();
}

bool ApplyMarkerExists(const std::string& registerFile) {
  std::string marker = ApplyMarkerPath(registerFile);
  return !marker.empty() && IsFile(os::Windows().GetFileAttributesA(marker.c_str()));
}

std::string ApplyMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time) {
  return "; Morvane began to apply the register file below and has not finished. Its next\r\n"
         "; start-up apply is not made; a message asks to check the settings instead.\r\n"
         "[Apply]\r\n"
         "File=" +
         fullRegisterFile + "\r\nStarted=" + TimeText(time) + "\r\n";
}

std::string ReadBackMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time,
                               std::uint64_t readBack, std::uint32_t uptime, bool restartedSoon) {
  std::string text =
      restartedSoon
          ? "; Morvane applied the register file below and the computer restarted within 5\r\n"
            "; minutes. No start-up apply is made until the settings are applied again.\r\n"
          : "; Morvane applied the register file below. Should the computer restart within 5\r\n"
            "; minutes of that, no start-up apply is made until they are applied again.\r\n";
  text += "[Apply]\r\nFile=" + fullRegisterFile + "\r\nApplied=" + TimeText(time) + "\r\n";
  // The read-back's clock time (milliseconds since 1601, UTC) and how long the system had been
  // running then (milliseconds, as the tick count counts them).
  text += kReadBackKey + Digits(readBack) + "\r\n" + kUptimeKey + Digits(uptime) + "\r\n";
  if (restartedSoon) text += kRestartedLine;
  return text + kEndLine;
}

ReadBackVerdict JudgeReadBack(std::uint64_t readBack, std::uint32_t uptime, std::uint64_t now,
                              std::uint32_t ticks) {
  auto elapsed = static_cast<std::int64_t>(now - readBack);
  // Still the same run of the system: the tick count moved on as the clock did. Both are
  // compared modulo 2^32, so a tick count that wrapped meanwhile (after 49.7 days) still
  // matches.
  const std::uint32_t ticksElapsed = ticks - uptime;
  const std::int64_t drift =
      static_cast<std::int32_t>(ticksElapsed - static_cast<std::uint32_t>(elapsed));
  if (drift >= -kSameRunTolerance && drift <= kSameRunTolerance) {
    return ticksElapsed >= kConfirmMilliseconds ? ReadBackVerdict::Confirmed
                                                : ReadBackVerdict::Watched;
  }
  // Another run: it started `ticks` ago (a run that has not yet lasted 49.7 days, as the first
  // log-on's is). A start less than 5 minutes after the read-back, or one the clock places
  // before it (the clock was set back: nothing can be told), leaves the apply unconfirmed.
  const std::int64_t restartedAfter = elapsed - static_cast<std::int64_t>(ticks);
  return restartedAfter >= static_cast<std::int64_t>(kConfirmMilliseconds)
             ? ReadBackVerdict::Confirmed
             : ReadBackVerdict::RestartedSoon;
}

LastApply CheckLastApply(const std::string& registerFile) {
  std::string full, marker;
  if (!MarkerOf(registerFile, &full, &marker)) return LastApply::Clear;
  os::Api& win = os::Windows();
  // A folder of that name is no marker: the apply goes ahead, unwatched, as where none can be
  // written.
  if (!IsFile(win.GetFileAttributesA(marker.c_str()))) return LastApply::Clear;
  std::string text;
  os::Dword error = 0;
  if (!ini::ReadWholeFile(marker, &text, &error)) {
    return error == os::kErrorFileNotFound ? LastApply::Clear : LastApply::Unfinished;
  }
  std::uint64_t readBack = 0, uptime = 0;
  if (!EndsWith(text, std::string("\n") + kEndLine) ||
      !NumberAfter(text, kReadBackKey, ~std::uint64_t{0}, &readBack) ||
      !NumberAfter(text, kUptimeKey, 0xFFFFFFFFu, &uptime)) {
    return LastApply::Unfinished;
  }
  if (text.find(std::string("\n") + kRestartedLine) != std::string::npos) {
    return LastApply::RestartedSoon;
  }
  switch (JudgeReadBack(readBack, static_cast<std::uint32_t>(uptime), ClockMilliseconds(),
                        win.GetTickCount())) {
    case ReadBackVerdict::Confirmed:
      RemoveApplyMarker(registerFile);
      return LastApply::Clear;
    case ReadBackVerdict::Watched:
      return LastApply::Clear;
    case ReadBackVerdict::RestartedSoon:
      break;
  }
  // Later starts come later still after the read-back: only the record keeps the verdict.
  os::SystemTime now;
  win.GetLocalTime(&now);
  WriteThrough(marker,
               ReadBackMarkerText(full, now, readBack, static_cast<std::uint32_t>(uptime), true));
  return LastApply::RestartedSoon;
}

bool WriteApplyMarker(const std::string& registerFile) {
  std::string full, marker;
  if (!MarkerOf(registerFile, &full, &marker)) return false;
  os::SystemTime now;
  os::Windows().GetLocalTime(&now);
  return WriteThrough(marker, ApplyMarkerText(full, now));
}

bool RecordApplyReadBack(const std::string& registerFile) {
  std::string full, marker;
  if (!MarkerOf(registerFile, &full, &marker)) return false;
  os::Api& win = os::Windows();
  os::SystemTime now;
  win.GetLocalTime(&now);
  const std::uint64_t readBack = ClockMilliseconds();
  const os::Dword uptime = win.GetTickCount();
  if (WriteThrough(marker, ReadBackMarkerText(full, now, readBack, uptime, false))) return true;
  RemoveApplyMarker(registerFile);
  return false;
}

bool RemoveApplyMarker(const std::string& registerFile) {
  std::string marker = ApplyMarkerPath(registerFile);
  if (marker.empty()) return true;
  os::Api& win = os::Windows();
  if (win.DeleteFileA(marker.c_str())) return true;
  return !IsFile(win.GetFileAttributesA(marker.c_str()));
}
