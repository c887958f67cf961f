// The program's folder and the two files named after it.
#include "files/ProgramPaths.h"

std::string ProgramDirectory;
std::string ProgramFilePath;
std::string StartupFilePath;
