// The marker of a register-file apply under way: a small file beside the register file that
// is on the disk before the first register write and is removed once every register was
// written and read back. Found at a later start, it tells that the apply never finished (the
// machine hung or the process was killed), so timings the machine cannot take are not
// applied again at every log-on.
#pragma once

#include <string>

#include "os/Api.h"

// The marker's name is the register file's full name followed by this.
inline constexpr char kApplyMarkerSuffix[] = ".applying";

// The marker's full path for a register file named as the command line names it (resolved
// against the current directory), or empty when the name cannot be resolved or the marker's
// name would not fit in MAX_PATH.
std::string ApplyMarkerPath(const std::string& registerFile);

// True when the marker of an earlier apply of this register file is there.
bool ApplyMarkerExists(const std::string& registerFile);

// Writes the marker through to the disk (FILE_FLAG_WRITE_THROUGH, then FlushFileBuffers),
// holding the register file's full name and the local time. False when it cannot be written
// whole (a read-only folder, a full disk); a marker created but not filled stays, since its
// name alone marks the apply, until RemoveApplyMarker.
bool WriteApplyMarker(const std::string& registerFile);

// Removes the marker. True when none is left.
bool RemoveApplyMarker(const std::string& registerFile);

// The marker's text: what it is, the register file's full name and when the apply began.
std::string ApplyMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time);
