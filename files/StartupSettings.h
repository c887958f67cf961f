// Start-up settings: the register file applied at every log-on and its Run-key registration.
#pragma once

#include <string>

#include "ui/MessageBox.h"

// Saves the cached values into StartupFilePath and stores the silent-mode command line as
// the value "Morvane" under HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run.
void ApplyStartupSettings(MessageBoxControl& messages);

// Deletes that value; the start-up file stays.
void RemoveStartupSettings(MessageBoxControl& messages);

// The command line stored in the Run value: ProgramFilePath (in double quotes when it holds
// a blank), one blank, StartupFilePath (never quoted: the silent mode takes the whole tail).
std::string StartupCommandLine();

inline constexpr char kRunKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "Morvane";
