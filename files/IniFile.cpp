// INI files on disk: reads and crash-safe replacement through the seam, with the 9x family's
// fallback where MoveFileExA does not exist.
#include "files/IniFile.h"

#include <algorithm>

namespace ini {
namespace {

constexpr std::size_t kMaxPath = 260;  // characters, terminator included
constexpr os::Dword kErrorFileTooLarge = 223;
constexpr os::Dword kChunk = 1u << 20;

os::Dword LastErrorOr(os::Dword fallback) {
  os::Dword error = os::Windows().GetLastError();
  return error != os::kErrorSuccess ? error : fallback;
}

}  // namespace

bool FullPath(const std::string& path, std::string* full, os::Dword* error) {
  if (path.empty() || path.find('\0') != std::string::npos) {
    *error = os::kErrorInvalidName;
    return false;
  }
  char buffer[kMaxPath];
  os::Dword length = os::Windows().GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0) {
    *error = LastErrorOr(os::kErrorInvalidName);
    return false;
  }
  if (length >= sizeof buffer) {
    *error = os::kErrorFilenameExcedRange;
    return false;
  }
  full->assign(buffer, length);
  return true;
}

bool ReadWholeFile(const std::string& full, std::string* text, os::Dword* error) {
  os::Api& win = os::Windows();
  os::Handle file =
      win.CreateFileA(full.c_str(), os::kGenericRead, os::kFileShareRead | os::kFileShareWrite,
                      os::kOpenExisting, os::kFileAttributeNormal);
  if (file == os::kInvalidHandle) {
    *error = LastErrorOr(os::kErrorFileNotFound);
    return false;
  }
  std::string data;
  std::string chunk(64 * 1024, '\0');
  bool ok = true;
  for (;;) {
    os::Dword read = 0;
    if (!win.ReadFile(file, chunk.data(), static_cast<os::Dword>(chunk.size()), &read)) {
      *error = LastErrorOr(os::kErrorGenFailure);
      ok = false;
      break;
    }
    if (read == 0) break;
    if (data.size() + read > kMaxFileSize) {
      *error = kErrorFileTooLarge;
      ok = false;
      break;
    }
    data.append(chunk, 0, read);
  }
  // The data is in hand; a failing close changes nothing about it.
  win.CloseHandle(file);
  if (ok) *text = std::move(data);
  return ok;
}

std::string SavingName(const std::string& full) {
  std::string beside = full + kSavingSuffix;
  if (beside.size() < kMaxPath) return beside;
  // A name near the limit: a short one in the same folder instead.
  std::size_t sep = full.find_last_of('\\');
  if (sep == std::string::npos) return {};
  std::string shortName = full.substr(0, sep + 1) + "~mvn" + kSavingSuffix;
  return shortName.size() < kMaxPath ? shortName : std::string();
}

bool ReplaceWholeFile(const std::string& full, const std::string& text, os::Dword* error) {
  os::Api& win = os::Windows();
  os::Dword attributes = win.GetFileAttributesA(full.c_str());
  bool exists = attributes != os::kInvalidFileAttributes;
  if (!exists) {
    os::Dword why = LastErrorOr(os::kErrorFileNotFound);
    if (why != os::kErrorFileNotFound) {
      *error = why;
      return false;
    }
  } else if ((attributes & (os::kFileAttributeDirectory | os::kFileAttributeReadonly)) != 0) {
    // A read-only file is the user's way of saying "keep this": refused, never replaced.
    *error = os::kErrorAccessDenied;
    return false;
  }
  std::string saving = SavingName(full);
  if (saving.empty()) {
    *error = os::kErrorFilenameExcedRange;
    return false;
  }
  // The new file takes over the old one's hidden and system marks.
  constexpr os::Dword kHiddenOrSystem = os::kFileAttributeHidden | 0x4;
  os::Dword keep = exists ? (attributes & kHiddenOrSystem) : 0;

  // A leftover of an interrupted save of this same file is ours to discard.
  win.DeleteFileA(saving.c_str());
  os::Handle file = win.CreateFileA(saving.c_str(), os::kGenericWrite, os::kFileShareDelete,
                                    os::kCreateNew, keep != 0 ? keep : os::kFileAttributeNormal);
  if (file == os::kInvalidHandle) {
    *error = LastErrorOr(os::kErrorAccessDenied);
    return false;
  }
  auto discard = [&](os::Dword why, bool open) {
    if (open) win.CloseHandle(file);
    win.DeleteFileA(saving.c_str());
    *error = why;
    return false;
  };
  for (std::size_t done = 0; done < text.size();) {
    auto part = static_cast<os::Dword>(std::min<std::size_t>(text.size() - done, kChunk));
    os::Dword written = 0;
    if (!win.WriteFile(file, text.data() + done, part, &written)) {
      return discard(LastErrorOr(os::kErrorDiskFull), true);
    }
    if (written == 0) return discard(os::kErrorDiskFull, true);
    done += written;
  }
  if (!win.FlushFileBuffers(file)) return discard(LastErrorOr(os::kErrorGenFailure), true);
  if (!win.CloseHandle(file)) return discard(LastErrorOr(os::kErrorGenFailure), false);

  if (win.MoveFileExA(saving.c_str(), full.c_str(),
                      os::kMovefileReplaceExisting | os::kMovefileWriteThrough)) {
    return true;
  }
  os::Dword why = LastErrorOr(os::kErrorAccessDenied);
  if (why != os::kErrorCallNotImplemented) return discard(why, false);

  // The 9x family has no replacing move: the old file goes first, then the new one is renamed.
  if (exists && !win.DeleteFileA(full.c_str())) {
    return discard(LastErrorOr(os::kErrorAccessDenied), false);
  }
  if (!win.MoveFileA(saving.c_str(), full.c_str())) {
    why = LastErrorOr(os::kErrorAccessDenied);
    // With the old file gone the new one is the only copy left: it stays beside.
    if (!exists) win.DeleteFileA(saving.c_str());
    *error = why;
    return false;
  }
  return true;
}

}  // namespace ini
