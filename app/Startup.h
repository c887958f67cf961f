// Process entry: single-instance guard, program paths, processor check, driver start and
// the choice between windowed and silent apply mode.
#pragma once

#include <string>

// The executable's folder with its trailing separator, and the two paths derived from it
// (each with a doubled separator, as they have always been written to the Run key).
extern std::string ProgramDirectory;
extern std::string ProgramFilePath;  // ProgramDirectory + "\morvane.exe"
extern std::string StartupFilePath;  // ProgramDirectory + "\startup.mvn"

int InitDeviceDriver();
void FreeDeviceDriver();
bool IsAmd64Processor();
