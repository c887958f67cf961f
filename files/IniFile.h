// INI files on disk through the seam: whole-file reads, and saves that write a new file beside
// the old one and then replace it, so that a failure or a crash leaves the old file or the new
// one, never a mix.
#pragma once

#include <cstdint>
#include <string>

#include "os/Api.h"

namespace ini {

// A register file is small; anything larger than this is refused rather than read.
inline constexpr std::uint32_t kMaxFileSize = 16u << 20;

// The suffix of the new file written beside the one being replaced.
inline constexpr char kSavingSuffix[] = ".saving";

// `path` made absolute against the current directory. False (with the error code) when the
// path is empty, holds a NUL, or its full form does not fit MAX_PATH with its terminator.
bool FullPath(const std::string& path, std::string* full, os::Dword* error);

// Reads the whole file at `full`. False when it does not exist or cannot be read.
bool ReadWholeFile(const std::string& full, std::string* text, os::Dword* error);

// The name of the new file a save of `full` writes first: beside it, in the same folder.
// Empty when no such name fits MAX_PATH.
std::string SavingName(const std::string& full);

// Makes `text` the contents of the file at `full`, creating it when absent. A read-only
// file, a folder, a missing folder or an invalid name fail and leave everything as it was.
bool ReplaceWholeFile(const std::string& full, const std::string& text, os::Dword* error);

}  // namespace ini
