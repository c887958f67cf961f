// The watch of one log-on apply: a copy of the program, started apart from the silent apply
// (which ends at once), that writes no register, holds no single-instance mutex and waits
// for the computer to run 5 minutes after the read-back. Then it removes the apply's marker:
// the evidence that the machine took the settings. Time asleep or hibernating is no such
// evidence (the tick count runs on through it), so after a resume the 5 minutes start again.
#pragma once

#include <string>

#include "os/Api.h"

// The command tail that makes a start of the program a watch: "?watch TOKEN FILE". No
// register file's path begins with "?", which no Windows file name may hold.
inline constexpr char kWatchTail[] = "?watch ";

// How often the watch looks, and how much later than asked a wake-up must come to count as a
// pause of the whole computer (sleep or hibernation) rather than a busy moment.
inline constexpr os::Dword kWatchStepMilliseconds = 10'000;
inline constexpr os::Dword kWatchPauseMilliseconds = 30'000;

// How long the apply waits for its watch to be up, so that a second apply cannot come in
// between and take the set for unwatched.
inline constexpr os::Dword kWatchStartMilliseconds = 5'000;

// Starts the watch of the apply `token` of `registerFile` (a full path) from `program` and
// waits until it owns its mutex. False when it could not be started (the apply then stays
// unconfirmed: its next start in another run of Windows holds the set back).
bool StartApplyWatch(const std::string& program, const std::string& registerFile,
                     const std::string& token);

// Whether `tail` is a watch's, and what it names.
bool ParseWatchTail(const std::string& tail, std::string* token, std::string* registerFile);

// The watch itself. It ends early when the marker no longer records its apply (a new apply,
// or the window's Apply or Remove).
void RunApplyWatch(const std::string& registerFile, const std::string& token);
