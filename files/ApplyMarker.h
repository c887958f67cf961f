// The marker of a register-file apply: a small file beside the register file, written through
// to the disk before the first register write and rewritten once every register was written
// and read back, with the time of that read-back and how long the system had then been
// running. A later start reads it: an apply that never finished (the machine hung or the
// process was killed), or one after which the computer restarted within 5 minutes (timings a
// chip cannot take usually crash it seconds to minutes later, under load), is not applied
// again at any log-on until the user applies or removes the start-up settings in the window.
#pragma once

#include <cstdint>
#include <string>

#include "os/Api.h"

// The marker's name is the register file's full name followed by this.
inline constexpr char kApplyMarkerSuffix[] = ".applying";

// How long the computer must keep running after the read-back for an apply to count as
// confirmed.
inline constexpr std::uint32_t kConfirmMilliseconds = 5 * 60 * 1000;

// The marker's full path for a register file named as the command line names it (resolved
// against the current directory), or empty when the name cannot be resolved or the marker's
// name would not fit in MAX_PATH.
std::string ApplyMarkerPath(const std::string& registerFile);

// True when a marker file (not a folder of that name) is there.
bool ApplyMarkerExists(const std::string& registerFile);

// What the last apply of a register file means for this start.
enum class LastApply {
  Clear,         // no marker, or its apply was confirmed (the marker is then removed) or is
                 // still being watched in the same run of the system: this start may apply
  Unfinished,    // the apply did not finish
  RestartedSoon  // the computer restarted within kConfirmMilliseconds of its read-back
};

// Reads the marker and judges its apply against the clock and the tick count now. A restart
// found soon after the read-back is written into the marker, so that it holds at every later
// start too. A marker that cannot be read, or whose record is not whole, is an unfinished
// apply.
LastApply CheckLastApply(const std::string& registerFile);

// Writes the marker of an apply under way through to the disk (FILE_FLAG_WRITE_THROUGH, then
// FlushFileBuffers), holding the register file's full name and the local time. False when it
// cannot be written whole (a read-only folder, a full disk); a marker created but not filled
// stays, since its name alone marks the apply, until RemoveApplyMarker.
bool WriteApplyMarker(const std::string& registerFile);

// After the read-back: rewrites the marker, through to the disk, with the time of the
// read-back (the system clock, UTC) and the tick count then. Where that cannot be written the
// marker is removed: the apply then goes unwatched rather than reported as unfinished.
bool RecordApplyReadBack(const std::string& registerFile);

// Removes the marker. True when none is left.
bool RemoveApplyMarker(const std::string& registerFile);

// How the last apply stands, judged from its record: the read-back at `readBack` (milliseconds
// since 1601, UTC) when the system had been running `uptime` milliseconds (GetTickCount), and
// the clock and tick count now.
enum class ReadBackVerdict { Confirmed, Watched, RestartedSoon };
ReadBackVerdict JudgeReadBack(std::uint64_t readBack, std::uint32_t uptime, std::uint64_t now,
                              std::uint32_t ticks);

// The marker's texts. An apply under way: what it is, the register file's full name and when
// the apply began. Read back: also the read-back's clock time and tick count, and, after a
// restart soon after it, that verdict.
std::string ApplyMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time);
std::string ReadBackMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time,
                               std::uint64_t readBack, std::uint32_t uptime, bool restartedSoon);
