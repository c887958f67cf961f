// Start-up settings: the register file applied at every log-on, and its registration with
// Windows: the Run value "Morvane" before Vista; from Vista on, where Windows does not start
// Run entries of programs that need administrator rights, a log-on task "Morvane".
#pragma once

#include <string>

#include "os/Api.h"

enum class StartupRegistration { RunValue, LogonTask };

// The registration this Windows gets: the log-on task on the NT family from version 6 on.
StartupRegistration StartupRegistrationOfThisWindows();

struct StartupResult {
  // UnsafePlace: another user of the computer could change the program, the start-up file or
  // a folder above them (`exposed` names it); nothing is registered.
  enum class Outcome { Done, SaveFailed, RegisterFailed, UnsafePlace };
  Outcome outcome = Outcome::Done;
  std::string exposed;
  StartupRegistration registration = StartupRegistration::RunValue;
  // RegisterFailed: the registry's error code (Run value) or the scheduler's HRESULT (task).
  os::HResult error = 0;
};

// Saves the cached register values into `startupFile` (both sections in one replacement; a
// failure leaves an earlier file whole); refuses when another user could change `programFile`,
// `startupFile` or a folder above them (files/SafePlace.h); and registers the command line that applies it at
// every log-on: the Run value, or the log-on task, which replaces an earlier task and
// deletes a Run value an earlier version left. A failed registration keeps the file.
StartupResult ApplyStartupSettings(const std::string& programFile, const std::string& startupFile);

// The "Registry Error" text of an UnsafePlace result, and the silent start's text for a
// registration made earlier from such a place.
std::string UnsafePlaceText(const std::string& exposed);
std::string UnsafeStartText(const std::string& exposed);

// Deletes the log-on task and the Run value, whichever exist; the start-up file stays. Once
// both are gone, the marker of the start-up file's last apply (StartupFilePath) goes too.
// False when one that exists could not be deleted (callers show nothing either way).
bool RemoveStartupSettings();

// The command line that applies the start-up file: `programFile` (in double quotes when it
// holds a blank), one blank, `startupFile` (never quoted: the silent mode takes the whole
// tail).
std::string StartupCommandLine(const std::string& programFile, const std::string& startupFile);

// The log-on task's definition: a log-on trigger for any user, run with the highest rights
// the user has, its action the command line above split into command and arguments.
std::string LogonTaskXml(const std::string& programFile, const std::string& startupFile);

inline constexpr char kRunKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "Morvane";
inline constexpr char kLogonTaskName[] = "Morvane";
// The log-on task runs for members of the local Users group, that is every user who logs
// on, with the full rights of those who are administrators.
inline constexpr char kLogonTaskGroup[] = "S-1-5-32-545";
