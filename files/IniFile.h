// INI files on disk through the seam: whole-file reads, their text encodings, and saves that
// write a new file beside the old one and then replace it, so that a failure or a crash leaves
// the old file or the new one, never a mix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/Api.h"

namespace ini {

// A register file is small; anything larger than this is refused rather than read.
inline constexpr std::uint32_t kMaxFileSize = 16u << 20;

// The suffixes of the new file beside the one being replaced: while it is written, and once it
// is complete and about to take the old one's place.
inline constexpr char kSavingSuffix[] = ".saving";
inline constexpr char kSavedSuffix[] = ".saved";
// The name the old file's data takes while the replace puts the new one in its place; it is
// deleted as soon as the new file has the name.
inline constexpr char kReplacedSuffix[] = ".replaced";

// `path` made absolute against the current directory. False (with the error code) when the
// path is empty, holds a NUL, or its full form does not fit MAX_PATH with its terminator.
bool FullPath(const std::string& path, std::string* full, os::Dword* error);

// Reads the whole file at `full`. False when it does not exist or cannot be read. A file
// missing because a save was interrupted inside its replace is first put back in place.
bool ReadWholeFile(const std::string& full, std::string* text, os::Dword* error);

// The name of the new file a save of `full` writes first: beside it, in the same folder.
// Empty when no such name fits MAX_PATH.
std::string SavingName(const std::string& full);

// The complete new file's name beside `full` (empty when it does not fit MAX_PATH), and the
// recovery of a replace interrupted between its two steps: `full` missing, that file present.
// True when it was put in place.
std::string SavedName(const std::string& full);
// The backup name the replace gives the old file beside `full` (empty when it does not fit).
std::string ReplacedName(const std::string& full);
bool FinishInterruptedReplace(const std::string& full);

// Makes `text` the contents of the file at `full`, creating it when absent. An existing file
// is replaced (ReplaceFileA: the result keeps its attributes, access list and owner); where
// that call cannot be used, the new file is moved over it. Another program holding the file
// open for a moment is waited for, about a second in all, also when the replace stopped
// halfway and only the move into place is left. A read-only file, a folder, a missing folder
// or an invalid name fail and leave everything as it was.
bool ReplaceWholeFile(const std::string& full, const std::string& text, os::Dword* error);

// Attempts and pause of that wait.
inline constexpr int kReplaceAttempts = 6;
inline constexpr os::Dword kReplaceRetryMilliseconds = 200;

// How a file's text is stored. The profile functions read a file with a UTF-16 byte-order
// mark as UTF-16 (little or big endian) and every other file byte for byte.
enum class Encoding { Bytes, Utf16Le, Utf16Be };

// A file's bytes as the INI engine's text: UTF-16 (byte-order mark dropped) as UTF-8, each
// unpaired surrogate as its own three bytes so nothing is lost; any other file as it stands.
std::string DecodeText(std::string_view bytes, Encoding* encoding);

// Text back into the file's encoding, byte-order mark included; undoes DecodeText exactly.
std::string EncodeText(std::string_view text, Encoding encoding);

}  // namespace ini
