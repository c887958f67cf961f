// Register files: the field codes of the DRAM and LINK groups as an INI text file (.mvn).
#pragma once

#include <string>

#include "regs/Tables.h"

// Writes the field's code under its key; raises Exception when the file cannot be written.
void WriteFieldKey(const RegisterField& field, const char* section, const std::string& path);

// Reads the field's key; a usable code (0 .. 2^width - 1) replaces the field's bits.
// Raises Exception when the file does not exist or cannot be read.
void ReadFieldKey(const RegisterField& field, const char* section, const std::string& path);

bool SaveDramSection(const std::string& path);
bool SaveLinkSection(const std::string& path);
bool LoadDramSection(const std::string& path);
bool LoadLinkSection(const std::string& path);
