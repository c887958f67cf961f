// INI files on disk: reads, crash-safe replacement through the seam (in place where the system
// can, by a move where it cannot, with the 9x family's fallback where MoveFileExA does not
// exist), and the UTF-16 text encodings the profile functions read.
#include "files/IniFile.h"

#include <algorithm>
#include <cstdint>

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
  auto open = [&] {
    return win.CreateFileA(full.c_str(), os::kGenericRead, os::kFileShareRead | os::kFileShareWrite,
                           os::kOpenExisting, os::kFileAttributeNormal);
  };
  os::Handle file = open();
  if (file == os::kInvalidHandle) {
    *error = LastErrorOr(os::kErrorFileNotFound);
    // A save interrupted inside its replace leaves the complete new file beside.
    if (*error != os::kErrorFileNotFound || !FinishInterruptedReplace(full)) return false;
    file = open();
    if (file == os::kInvalidHandle) {
      *error = LastErrorOr(os::kErrorFileNotFound);
      return false;
    }
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

namespace {

// Another program holding the file open for a moment (a virus scanner, the search indexer,
// an editor). ReplaceFileA reports it as ERROR_UNABLE_TO_REMOVE_REPLACED on some systems;
// both files then keep their names.
bool IsMomentary(os::Dword error) {
  return error == os::kErrorSharingViolation || error == os::kErrorLockViolation ||
         error == os::kErrorUnableToRemoveReplaced;
}

// ReplaceFileA cannot be used here (the system or the file system lacks it, or the old file
// has gone meanwhile); nothing was changed.
bool ReplaceUnavailable(os::Dword error) {
  return error == os::kErrorCallNotImplemented || error == os::kErrorInvalidFunction ||
         error == os::kErrorNotSupported || error == os::kErrorInvalidParameter ||
         error == os::kErrorFileNotFound;
}

// Gives `from` the name `to`, which must be free; the 9x family has only MoveFileA.
bool Rename(const std::string& from, const std::string& to) {
  os::Api& win = os::Windows();
  if (win.MoveFileExA(from.c_str(), to.c_str(), os::kMovefileWriteThrough)) return true;
  if (win.GetLastError() != os::kErrorCallNotImplemented) return false;
  return win.MoveFileA(from.c_str(), to.c_str());
}

// Moves the new file `current` over `full` (or into its place when there is none).
// NewFileBeside: the old file is gone and the new one, the only copy left, keeps its name.
// Halfway: the replace took the old file away from its name (to `backup`, when there is one)
// or left both names, but the new file did not take it: only the move into place is left.
enum class Placed { Done, Failed, NewFileBeside, Halfway };
Placed MoveOver(const std::string& current, const std::string& full, bool exists,
                os::Dword* error) {
  os::Api& win = os::Windows();
  if (win.MoveFileExA(current.c_str(), full.c_str(),
                      os::kMovefileReplaceExisting | os::kMovefileWriteThrough)) {
    return Placed::Done;
  }
  os::Dword why = LastErrorOr(os::kErrorAccessDenied);
  if (why != os::kErrorCallNotImplemented) {
    *error = why;
    return Placed::Failed;
  }
  // The 9x family has no replacing move: the old file goes first, then the new one is renamed.
  if (exists && !win.DeleteFileA(full.c_str())) {
    why = LastErrorOr(os::kErrorAccessDenied);
    if (why != os::kErrorFileNotFound) {
      *error = why;
      return Placed::Failed;
    }
  }
  if (!win.MoveFileA(current.c_str(), full.c_str())) {
    *error = LastErrorOr(os::kErrorAccessDenied);
    return exists ? Placed::NewFileBeside : Placed::Failed;
  }
  return Placed::Done;
}

// Puts the written new file in the place of `full`. `current` is the new file's name, which
// this may change to `saved` on the way.
Placed PutInPlace(std::string& current, const std::string& saved, const std::string& backup,
                  const std::string& full, bool exists, os::Dword* error) {
  os::Api& win = os::Windows();
  // Without the old file, or without a name for the second stage, the move does it all.
  if (!exists || saved.empty()) return MoveOver(current, full, exists, error);

  // The replace opens the old file for deletion, sharing everything. Asked first, so that a
  // file another program holds open is waited for before anything is moved: some systems'
  // replace finds out only halfway and leaves a temporary file of its own behind.
  os::Handle probe = win.CreateFileA(
      full.c_str(), os::kDelete, os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete,
      os::kOpenExisting, 0);
  if (probe == os::kInvalidHandle) {
    os::Dword why = LastErrorOr(os::kErrorAccessDenied);
    if (IsMomentary(why)) {
      *error = why;
      return Placed::Failed;
    }
  } else {
    win.CloseHandle(probe);
  }
  // A replace is two steps (the old file leaves its name, the new one takes it): the new file
  // first takes a name that only a complete one ever has, so that after a crash between the
  // two steps the next read of the file finds it there and puts it in place.
  if (current != saved) {
    if (!Rename(current, saved)) {
      *error = LastErrorOr(os::kErrorAccessDenied);
      return Placed::Failed;
    }
    current = saved;
  }
  // With a backup name of ours, a replace that stops halfway leaves the old file under it
  // rather than under a name of the system's choosing that nothing would ever remove.
  if (win.ReplaceFileA(full.c_str(), saved.c_str(), backup.empty() ? nullptr : backup.c_str(),
                       os::kReplacefileIgnoreMergeErrors)) {
    return Placed::Done;
  }
  os::Dword why = LastErrorOr(os::kErrorAccessDenied);
  if (why == os::kErrorUnableToMoveReplacement || why == os::kErrorUnableToMoveReplacement2) {
    *error = why;
    return Placed::Halfway;
  }
  if (!ReplaceUnavailable(why)) {
    *error = why;
    return Placed::Failed;
  }
  return MoveOver(saved, full, exists, error);
}

}  // namespace

std::string SavedName(const std::string& full) {
  std::string beside = full + kSavedSuffix;
  return beside.size() < kMaxPath ? beside : std::string();
}

std::string ReplacedName(const std::string& full) {
  std::string beside = full + kReplacedSuffix;
  return beside.size() < kMaxPath ? beside : std::string();
}

bool FinishInterruptedReplace(const std::string& full) {
  std::string saved = SavedName(full);
  if (saved.empty()) return false;
  os::Api& win = os::Windows();
  if (win.GetFileAttributesA(saved.c_str()) == os::kInvalidFileAttributes) return false;
  return Rename(saved, full);
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
  const std::string saved = SavedName(full);
  const std::string backup = exists ? ReplacedName(full) : std::string();
  // The new file takes over the old one's hidden and system marks (the move keeps no
  // attributes of the old file).
  constexpr os::Dword kHiddenOrSystem = os::kFileAttributeHidden | 0x4;
  os::Dword keep = exists ? (attributes & kHiddenOrSystem) : 0;

  // Leftovers of an interrupted save of this same file are ours to discard: with the old file
  // in place, an earlier save did not finish.
  win.DeleteFileA(saving.c_str());
  if (!saved.empty()) win.DeleteFileA(saved.c_str());
  if (!backup.empty()) win.DeleteFileA(backup.c_str());
  os::Handle file = win.CreateFileA(saving.c_str(), os::kGenericWrite, os::kFileShareDelete,
                                    os::kCreateNew, keep != 0 ? keep : os::kFileAttributeNormal);
  if (file == os::kInvalidHandle) {
    *error = LastErrorOr(os::kErrorAccessDenied);
    return false;
  }
  std::string current = saving;  // the new file's name, until it takes the old one's
  auto discard = [&](os::Dword why, bool open) {
    if (open) win.CloseHandle(file);
    win.DeleteFileA(current.c_str());
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

  bool halfway = false;  // the replace stopped halfway: only the move into place is left
  for (int attempt = 1;; ++attempt) {
    os::Dword why = 0;
    Placed placed = halfway ? MoveOver(current, full, false, &why)
                            : PutInPlace(current, saved, backup, full, exists, &why);
    if (placed == Placed::Halfway) {
      // The move gets the same patience as the replace had.
      halfway = true;
      attempt = 0;
      continue;
    }
    if (placed == Placed::Done) {
      if (!backup.empty()) win.DeleteFileA(backup.c_str());
      return true;
    }
    if (placed == Placed::NewFileBeside) {
      *error = why;
      return false;
    }
    if (IsMomentary(why) && attempt < kReplaceAttempts) {
      win.Sleep(kReplaceRetryMilliseconds);
      continue;
    }
    if (!halfway) return discard(why, false);
    // The old file in its place, as it was or put back from the backup: the new one goes.
    // Otherwise the new file, complete, stays beside and the next read puts it in place.
    if (win.GetFileAttributesA(full.c_str()) != os::kInvalidFileAttributes ||
        (!backup.empty() && Rename(backup, full))) {
      return discard(why, false);
    }
    *error = why;
    return false;
  }
}

// ---------------------------------------------------------------- Encodings

namespace {

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendUnit(std::string& out, std::uint32_t unit, Encoding encoding) {
  auto high = static_cast<char>(unit >> 8);
  auto low = static_cast<char>(unit & 0xFF);
  if (encoding == Encoding::Utf16Le) {
    out += low;
    out += high;
  } else {
    out += high;
    out += low;
  }
}

}  // namespace

std::string DecodeText(std::string_view bytes, Encoding* encoding) {
  *encoding = Encoding::Bytes;
  if (bytes.substr(0, 2) == kUtf16LeMark) {
    *encoding = Encoding::Utf16Le;
  } else if (bytes.substr(0, 2) == kUtf16BeMark) {
    *encoding = Encoding::Utf16Be;
  } else {
    return std::string(bytes);
  }
  bool little = *encoding == Encoding::Utf16Le;
  auto unitAt = [&](std::size_t i) -> std::uint32_t {
    auto a = static_cast<unsigned char>(bytes[i]);
    auto b = static_cast<unsigned char>(bytes[i + 1]);
    return little ? (a | (b << 8)) : ((a << 8) | b);
  };
  std::string text;
  text.reserve(bytes.size());
  // A last odd byte is no character and is dropped, as the system's reader drops it.
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    std::uint32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      std::uint32_t next = unitAt(i + 2);
      if (next >= 0xDC00 && next < 0xE000) {
        AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(text, unit);
  }
  return text;
}

std::string EncodeText(std::string_view text, Encoding encoding) {
  if (encoding == Encoding::Bytes) return std::string(text);
  std::string out;
  out.reserve(2 + text.size() * 2);
  AppendUnit(out, 0xFEFF, encoding);
  for (std::size_t i = 0; i < text.size();) {
    auto lead = static_cast<unsigned char>(text[i]);
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    std::uint32_t code = extra == 0 ? lead : (lead & (0x3F >> extra));
    bool whole = lead < 0x80 || (lead >= 0xC0 && lead < 0xF8 && i + extra < text.size());
    for (int k = 1; whole && k <= extra; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) whole = false;
      code = (code << 6) | (next & 0x3F);
    }
    if (!whole) {
      // Not a sequence DecodeText writes (the engine only adds ASCII): the byte as a character.
      AppendUnit(out, lead, encoding);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      AppendUnit(out, 0xD800 + (code >> 10), encoding);
      AppendUnit(out, 0xDC00 + (code & 0x3FF), encoding);
    } else {
      AppendUnit(out, code, encoding);
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

}  // namespace ini
