// The command tail: what follows the program's own name on the process's command line.
#pragma once

#include <string>

// Skips leading blanks and tabs, then the program name (a name opening with a double quote
// runs to the next double quote or tab, which is skipped too; any other name runs to the
// next blank or tab), then the blanks and tabs after it; the rest is returned whole,
// quotes and trailing blanks included. A null command line has an empty tail.
std::string CommandTail(const char* commandLine);
