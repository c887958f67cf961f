// The program's folder and the two files named after it, fixed once by the entry at start-up
// and read by the window's start-up commands.
#pragma once

#include <string>

// The executable's folder with its trailing separator, and the two paths derived from it
// (each with a doubled separator, as they have always been written to the Run key).
extern std::string ProgramDirectory;
extern std::string ProgramFilePath;  // ProgramDirectory + "\morvane.exe"
extern std::string StartupFilePath;  // ProgramDirectory + "\startup.mvn"
