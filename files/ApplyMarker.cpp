// The marker of a register-file apply under way, written through to the disk and removed
// when the apply has finished.
#include "files/ApplyMarker.h"

#include <cstddef>

#include "files/IniFile.h"

namespace {

constexpr std::size_t kMaxPath = 260;  // characters, terminator included

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
  // Written out by hand: the C library's formatted printing would add a fifth to the size of
  // a program that starts at every log-on.
  auto digits = [](unsigned value, int width) {
    std::string text(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i, value /= 10) {
      text[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    }
    return text;
  };
  std::string started = digits(time.wYear, 4) + "-" + digits(time.wMonth, 2) + "-" +
                        digits(time.wDay, 2) + " " + digits(time.wHour, 2) + ":" +
                        digits(time.wMinute, 2) + ":" + digits(time.wSecond, 2);
  return "; Morvane began to apply the register file below and has not finished. Its next\r\n"
         "; start-up apply is not made; a message asks to check the settings instead.\r\n"
         "[Apply]\r\n"
         "File=" +
         fullRegisterFile +
         "\r\n"
         "Started=" +
         started + "\r\n";
}

bool WriteApplyMarker(const std::string& registerFile) {
  std::string full, marker;
  if (!MarkerOf(registerFile, &full, &marker)) return false;
  os::Api& win = os::Windows();
  os::SystemTime now;
  win.GetLocalTime(&now);
  std::string text = ApplyMarkerText(full, now);

  os::Handle file = win.CreateFileA(marker.c_str(), os::kGenericWrite, 0, os::kCreateAlways,
                                    os::kFileAttributeNormal | os::kFileFlagWriteThrough);
  if (file == os::kInvalidHandle) return false;
  os::Dword written = 0;
  bool ok = win.WriteFile(file, text.data(), static_cast<os::Dword>(text.size()), &written) &&
            written == text.size() && win.FlushFileBuffers(file);
  // A marker whose text did not reach the disk whole still marks the apply by its name, so it
  // stays; RemoveApplyMarker takes it away with a whole one.
  return win.CloseHandle(file) && ok;
}

bool RemoveApplyMarker(const std::string& registerFile) {
  std::string marker = ApplyMarkerPath(registerFile);
  if (marker.empty()) return true;
  os::Api& win = os::Windows();
  if (win.DeleteFileA(marker.c_str())) return true;
  return !IsFile(win.GetFileAttributesA(marker.c_str()));
}
