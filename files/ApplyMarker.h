// The marker of a register-file apply: a small file beside the register file, written through
// to the disk before the first register write and rewritten once every register was written
// and read back. An apply counts as survived only on evidence recorded for it, never on the
// clock: a watch of the same run of Windows that saw 5 minutes of running go by (it then
// removes the marker), a clean shutdown that Windows recorded after the read-back, or a
// volatile registry key the apply created, which tells a later start that Windows has not
// restarted since. Without such evidence an apply that never finished, or one after which the
// computer restarted, is not applied again at any log-on until the user applies or removes
// the start-up settings in the window.
#pragma once

#include <cstdint>
#include <string>

#include "os/Api.h"

// The marker's name is the register file's full name followed by this.
inline constexpr char kApplyMarkerSuffix[] = ".applying";

// How long the computer must keep running after the read-back for an apply to count as
// survived.
inline constexpr std::uint32_t kConfirmMilliseconds = 5 * 60 * 1000;

// The volatile key of this run of Windows (below HKEY_LOCAL_MACHINE), which the last apply
// created and named itself in, and the record of the last clean shutdown.
inline constexpr char kThisRunKeyPath[] = "SOFTWARE\\Morvane this run of Windows";
inline constexpr char kThisRunValue[] = "Apply";
inline constexpr char kShutdownKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\Windows";
inline constexpr char kShutdownValue[] = "ShutdownTime";

// The system-wide lock that one apply holds from its check of the marker to its read-back
// (and a watch while it removes a marker): several users may be logged on at once, each with
// a log-on apply of their own. The 9x family has one session and no such names: there the
// lock is always held. It waits at most kApplyLockMilliseconds for another holder.
inline constexpr os::Dword kApplyLockMilliseconds = 10'000;
class ApplyLock {
 public:
  ApplyLock();
  ~ApplyLock();
  ApplyLock(const ApplyLock&) = delete;
  ApplyLock& operator=(const ApplyLock&) = delete;
  bool Held() const { return held_; }

 private:
  os::Handle mutex_ = nullptr;
  bool held_ = false;
};

// The mutex a watch owns for as long as it waits for its apply's 5 minutes.
std::string WatchMutexName(const std::string& token);
// Whether a live watch owns the mutex of this token.
bool WatchIsRunning(const std::string& token);

// The marker's full path for a register file named as the command line names it (resolved
// against the current directory), or empty when the name cannot be resolved or the marker's
// name would not fit in MAX_PATH.
std::string ApplyMarkerPath(const std::string& registerFile);

// True when a marker file (not a folder of that name) is there.
bool ApplyMarkerExists(const std::string& registerFile);

// What the last apply of a register file means for this start.
enum class LastApply {
  Clear,         // no marker, or evidence that the computer survived its apply (the marker is
                 // then removed), or Windows has not restarted since: this start may apply
  Watched,       // its watch is still waiting for the 5 minutes: the registers hold the set
                 // already, and this start writes nothing
  Unfinished,    // the apply did not finish (or another is writing its marker right now)
  RestartedSoon  // the computer restarted and nothing shows that it survived the apply
};

// Reads the marker and the evidence. A restart without evidence is written into the marker,
// so that it holds at every later start too (a clean shutdown after it proves nothing of the
// apply). A marker that cannot be read, or whose record is not whole, is an unfinished apply.
LastApply CheckLastApply(const std::string& registerFile);

// What an apply records of itself: its token (unique to it, named by its watch and its
// volatile key), whether its volatile key was made, and the clean-shutdown record as it stood.
struct ApplyRecord {
  std::string token;
  bool thisRunKey = false;
  std::string shutdown;  // the raw record in hexadecimal, or "-" when there was none
};

// Writes the marker of an apply under way through to the disk (FILE_FLAG_WRITE_THROUGH, then
// FlushFileBuffers), holding the register file's full name, the local time and the record,
// whose volatile key it creates first. False when the marker cannot be written whole (a
// read-only folder, a full disk); a marker created but not filled stays, since its name alone
// marks the apply, until RemoveApplyMarker.
bool WriteApplyMarker(const std::string& registerFile, ApplyRecord* record);

// After the read-back: rewrites the marker, through to the disk, as a whole record. Where that
// cannot be written the marker is removed: the apply then goes unwatched rather than reported
// as unfinished.
bool RecordApplyReadBack(const std::string& registerFile, const ApplyRecord& record);

// Whether the marker holds the whole read-back record of the apply with this token.
bool MarkerRecordsReadBack(const std::string& registerFile, const std::string& token);

// Removes the marker. True when none is left.
bool RemoveApplyMarker(const std::string& registerFile);

// The marker's texts. An apply under way: what it is, the register file's full name, when the
// apply began and its record. Read back: the same, whole; after a restart without evidence,
// that verdict too.
std::string ApplyMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time,
                            const ApplyRecord& record);
std::string ReadBackMarkerText(const std::string& fullRegisterFile, const os::SystemTime& time,
                               const ApplyRecord& record, bool restarted);
